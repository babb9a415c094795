#pragma once
// The installer's invisible owner window, and window centring.
#include <windows.h>

// A zero-size visible popup that owns every message box and dialog of the
// run and gives the installer its taskbar button (title and icon).
class OwnerWindow {
public:
    OwnerWindow() : window(nullptr), classAtom(0) {}
    virtual ~OwnerWindow();  // destroys the window, then unregisters the class
    OwnerWindow(const OwnerWindow&) = delete;
    OwnerWindow& operator=(const OwnerWindow&) = delete;

    // Registers class "QRBInstalling" and creates the window; failures leave
    // `window` null (message boxes then have no owner).
    void create();

    HWND window;
    unsigned classAtom;
};

LRESULT CALLBACK ownerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Moves a window to the middle of the work area of the monitor it is on,
// in pixels of that monitor; never left of or above that work area.
void centerWindow(HWND window);

// The top left corner that centres `window` (its outer rectangle) in `area`:
// half the room on each axis rounded down, or the area's edge where the
// window is larger.
void centeredPosition(const RECT& area, const RECT& window, POINT& position);

// The coordinate that centres `size` pixels on `screen` pixels: half the
// difference rounded down, or 0 when the window is larger than the screen.
int centeredCoordinate(int screen, int size);
