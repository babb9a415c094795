#include "driver/VersionGate.h"

#include "common/Format.h"
#include "common/InstallState.h"
#include "registration/RegistryText.h"

bool checkInstalledVersion() {
    char keyPath[kTextSize];
    if (!formatText(keyPath, sizeof keyPath, kUninstallKeyFormat, setupString(Slot::ProgDir))) {
        return true;
    }
    // An installed version that cannot be read (no key, no value, no rights,
    // not a text that fits) never blocks an install.
    char installed[kPathSize];
    installed[0] = '\0';
    RegistryKey key;
    if (key.open(HKEY_LOCAL_MACHINE, keyPath, kKeyAllAccess) == ERROR_SUCCESS &&
        !queryTextValue(key, "DisplayVersion", installed, sizeof installed)) {
        installed[0] = '\0';
    }
    key.close();
    return installed[0] == '\0' || !isNewerVersion(installed, setupString(Slot::ProgVersion));
}
