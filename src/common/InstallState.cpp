#include "common/InstallState.h"

InstallState installState;
