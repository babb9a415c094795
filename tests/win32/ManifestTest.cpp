// The manifest of the built setup.exe as the platform's loader reads it: the
// settings that make the dialogs drawn at the display's own DPI. (Wine draws
// a program that declares nothing at the display's DPI as well, so only the
// manifest shows what Windows will do.)
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "DialogTest.h"

namespace {

// An activation context made from setup.exe's own manifest (resource 1).
class SetupActivationContext {
public:
    SetupActivationContext() {
        const std::string path = testProgramDir() + "\\setup.exe";
        ACTCTXA context = {};
        context.cbSize = sizeof context;
        context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
        context.lpSource = path.c_str();
        context.lpResourceName = MAKEINTRESOURCEA(1);
        handle_ = CreateActCtxA(&context);
    }
    ~SetupActivationContext() {
        if (handle_ != INVALID_HANDLE_VALUE) ReleaseActCtx(handle_);
    }
    SetupActivationContext(const SetupActivationContext&) = delete;
    SetupActivationContext& operator=(const SetupActivationContext&) = delete;

    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }

    // The value of a setting of the manifest's windowsSettings; "" when absent.
    std::wstring setting(const wchar_t* nameSpace, const wchar_t* name) const {
        wchar_t value[128];
        wmemset(value, 0xBDBD, 128);
        SIZE_T written = 0;
        if (!QueryActCtxSettingsW(0, handle_, nameSpace, name, value, 128, &written) || written == 0) return L"";
        return std::wstring(value, wcsnlen(value, 128));
    }

private:
    HANDLE handle_;
};

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

struct SettingCase {
    const wchar_t* nameSpace;
    const wchar_t* name;
    const char* expected;
};

TEST(SetupManifest, DeclaresTheDialogsDpiAwarePerMonitor) {
    SetupActivationContext context;
    ASSERT_TRUE(context.valid()) << "the loader refuses setup.exe's manifest, error " << GetLastError();
    const SettingCase cases[] = {
        // Read by the systems before per-monitor awareness version 2.
        {L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware", "true/pm"},
        // Read by current systems, which then ignore dpiAware.
        {L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"dpiAwareness", "PermonitorV2,PerMonitor"},
    };
    for (const SettingCase& c : cases) {
        SCOPED_TRACE(narrow(c.name));
        EXPECT_EQ(c.expected, narrow(context.setting(c.nameSpace, c.name)));
    }
}

}  // namespace
