#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    MessageBoxA(nullptr, "Sample Notes", "Sample Notes", MB_OK);
    return 0;
}
