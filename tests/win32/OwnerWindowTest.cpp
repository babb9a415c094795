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
        EXPECT_EQ(WS_POPUP | WS_VISIBLE, GetWindowLongA(window, GWL_STYLE) & ~WS_CLIPSIBLINGS);
    }
    EXPECT_FALSE(IsWindow(window));
    WNDCLASSEXA info = {};
    info.cbSize = sizeof info;
    EXPECT_FALSE(GetClassInfoExA(installState.instance, "QRBInstalling", &info));

    OwnerWindow neverCreated;  // destroying it touches nothing
}

TEST(CenterWindow, PlacesTheWindowInTheMiddleOfTheScreen) {
    HWND window = CreateWindowA("STATIC", "", WS_POPUP, 5, 7, 300, 200, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, window);
    centerWindow(window);
    HDC context = GetDC(window);
    int width = GetDeviceCaps(context, HORZRES);
    int height = GetDeviceCaps(context, VERTRES);
    ReleaseDC(window, context);
    RECT rect;
    GetWindowRect(window, &rect);
    EXPECT_EQ((width - 300) / 2, rect.left);
    EXPECT_EQ((height - 200) / 2, rect.top);
    EXPECT_EQ(300, rect.right - rect.left) << "the size does not change";
    DestroyWindow(window);
}

}  // namespace
