// Stands for a version.dll planted beside a program: it knows no version.
#include <windows.h>

extern "C" __declspec(dllexport) DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR, LPDWORD handle) {
    if (handle) *handle = 0;
    return 0;
}
extern "C" __declspec(dllexport) int plantedMarker() { return 1; }
