#include "ui/OwnerWindow.h"

#include <gtest/gtest.h>

#include <string.h>

#include "common/InstallState.h"

namespace {

struct CenterCase {
    int screen;
    int size;
    int expected;
};

TEST(CenteredCoordinate, HalfTheRoomRoundedDownNeverNegative) {
    const CenterCase cases[] = {
        {1023, 600, 211}, {1024, 600, 212}, {800, 800, 0}, {800, 801, 0}, {100, 5000, 0}, {0, 0, 0},
        {2147483647, -2147483647 - 1, 2147483647},  // no overflow in the difference
    };
    for (const CenterCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.screen << " / " << c.size);
        EXPECT_EQ(c.expected, centeredCoordinate(c.screen, c.size));
    }
}

::testing::AssertionResult hasSize(HICON icon, int width, int height) {
    ICONINFO info;
    if (!icon || !GetIconInfo(icon, &info)) return ::testing::AssertionFailure() << "no icon";
    BITMAP bitmap = {};
    GetObjectA(info.hbmMask, sizeof bitmap, &bitmap);
    DeleteObject(info.hbmMask);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    // A mask without a colour bitmap holds both halves, one above the other.
    const int maskHeight = info.hbmColor ? bitmap.bmHeight : bitmap.bmHeight / 2;
    if (bitmap.bmWidth == width && maskHeight == height) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << bitmap.bmWidth << " x " << maskHeight << ", not " << width << " x " << height;
}

TEST(OwnerWindow, CreatesAnUntitledZeroSizeTopLevelWindowAndRemovesItsClass) {
    memset(&installState, 0, sizeof installState);
    installState.instance = GetModuleHandleA(nullptr);
    HWND window;
    {
        OwnerWindow owner;
        owner.create();
        window = owner.window;
        ASSERT_NE(nullptr, window);
        EXPECT_NE(0u, owner.classAtom);
        EXPECT_TRUE(IsWindowVisible(window));
        EXPECT_EQ(nullptr, GetWindow(window, GW_OWNER));
        EXPECT_EQ(0, GetWindowTextLengthA(window));
        RECT rect;
        GetWindowRect(window, &rect);
        EXPECT_EQ(0, rect.right - rect.left);
        EXPECT_EQ(0, rect.bottom - rect.top);
        WNDCLASSEXA info = {};
        info.cbSize = sizeof info;
        ASSERT_TRUE(GetClassInfoExA(installState.instance, "QRBInstalling", &info));
        EXPECT_EQ(static_cast<UINT>(CS_GLOBALCLASS), info.style);
        // The taskbar's and the caption's icons at the sizes the DPI asks for.
        EXPECT_TRUE(hasSize(info.hIcon, GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON)));
        EXPECT_TRUE(hasSize(info.hIconSm, GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON)));
        EXPECT_EQ(WS_POPUP | WS_VISIBLE, GetWindowLongA(window, GWL_STYLE) & ~WS_CLIPSIBLINGS);
    }
    EXPECT_FALSE(IsWindow(window));
    WNDCLASSEXA info = {};
    info.cbSize = sizeof info;
    EXPECT_FALSE(GetClassInfoExA(installState.instance, "QRBInstalling", &info));

    OwnerWindow neverCreated;  // destroying it touches nothing
}

struct PositionCase {
    const char* what;
    RECT area;
    RECT window;
    POINT expected;
};

TEST(CenteredPosition, MiddleOfTheAreaNeverLeftOfOrAboveIt) {
    const PositionCase cases[] = {
        {"area at the origin", {0, 0, 1023, 768}, {5, 7, 605, 407}, {211, 184}},
        {"taskbar at the top or left", {60, 40, 1920, 1080}, {0, 0, 800, 600}, {60 + 530, 40 + 220}},
        {"monitor left of the primary", {-1920, 0, 0, 1040}, {0, 0, 800, 600}, {-1920 + 560, 220}},
        {"larger than the area", {100, 50, 900, 650}, {0, 0, 1200, 700}, {100, 50}},
    };
    for (const PositionCase& c : cases) {
        SCOPED_TRACE(c.what);
        POINT position = {-1, -1};
        centeredPosition(c.area, c.window, position);
        EXPECT_EQ(c.expected.x, position.x);
        EXPECT_EQ(c.expected.y, position.y);
    }
}

TEST(CenterWindow, PlacesTheWindowInTheMiddleOfItsMonitorsWorkArea) {
    HWND window = CreateWindowA("STATIC", "", WS_POPUP, 5, 7, 300, 200, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, window);
    centerWindow(window);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    ASSERT_TRUE(GetMonitorInfoA(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor));
    const RECT& work = monitor.rcWork;
    RECT rect;
    GetWindowRect(window, &rect);
    EXPECT_EQ(work.left + (work.right - work.left - 300) / 2, rect.left);
    EXPECT_EQ(work.top + (work.bottom - work.top - 200) / 2, rect.top);
    EXPECT_EQ(300, rect.right - rect.left) << "the size does not change";
    DestroyWindow(window);
}

}  // namespace
