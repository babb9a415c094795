#include "deploy/FileCopy.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "DeployHelpers.h"
#include "TestSupport.h"

namespace {

std::string pattern(size_t size) {
    std::string text(size, '\0');
    for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
    return text;
}

WIN32_FIND_DATAA enumerated(const std::string& path) {
    WIN32_FIND_DATAA found;
    memset(&found, 0xbd, sizeof found);
    HANDLE find = FindFirstFileA(path.c_str(), &found);
    EXPECT_NE(INVALID_HANDLE_VALUE, find) << path;
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
    return found;
}

// Sets distinct, old times on a file, so that carried times cannot be
// mistaken for the time of the copy.
bool setOldTimes(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    FILETIME access = {0x12345600, 0x01c00000};
    FILETIME write = {0x65432100, 0x01b00000};
    bool set = SetFileTime(file, nullptr, &access, &write) != 0;
    CloseHandle(file);
    return set;
}

BY_HANDLE_FILE_INFORMATION identity(const std::string& path) {
    BY_HANDLE_FILE_INFORMATION info;
    memset(&info, 0, sizeof info);
    HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, file) << path;
    if (file == INVALID_HANDLE_VALUE) return info;
    EXPECT_TRUE(GetFileInformationByHandle(file, &info));
    CloseHandle(file);
    return info;
}

class FileCopyTest : public ::testing::Test {
protected:
    bool copy() {
        return copyInstalledFile(source.c_str(), destination.c_str(), enumerated(source));
    }

    TempDir temp;
    std::string source = temp / "staged.bin";
    std::string destination = temp / "installed.bin";
    std::vector<unsigned char> buffer = std::vector<unsigned char>(4096);
};

struct CarryCase {
    const char* what;
    size_t size;
    DWORD sourceAttributes;
    const char* existing;  // the destination's contents before, or null for none
    DWORD existingAttributes;
};

// Contents, times and attributes arrive whatever was there before.
TEST_F(FileCopyTest, CarriesContentsTimesAndAttributes) {
    const CarryCase cases[] = {
        {"empty file", 0, FILE_ATTRIBUTE_ARCHIVE, nullptr, 0},
        {"exactly one buffer", kFileCopyBufferSize, FILE_ATTRIBUTE_ARCHIVE, nullptr, 0},
        {"one byte past a buffer", kFileCopyBufferSize + 1, FILE_ATTRIBUTE_ARCHIVE, nullptr, 0},
        {"several buffers", 3 * kFileCopyBufferSize + 100, FILE_ATTRIBUTE_ARCHIVE, nullptr, 0},
        {"read-only source", 10, FILE_ATTRIBUTE_READONLY, nullptr, 0},
        // a longer file is cut to the new length, not overwritten in part
        {"longer file replaced", 100, FILE_ATTRIBUTE_ARCHIVE, "an older and much longer file", 0},
    };
    for (const CarryCase& c : cases) {
        SCOPED_TRACE(c.what);
        SetFileAttributesA(source.c_str(), FILE_ATTRIBUTE_NORMAL);
        SetFileAttributesA(destination.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(destination.c_str());
        const std::string contents = pattern(c.size);
        ASSERT_TRUE(writeFile(source, contents));
        ASSERT_TRUE(setOldTimes(source));
        ASSERT_TRUE(SetFileAttributesA(source.c_str(), c.sourceAttributes));
        if (c.existing) {
            ASSERT_TRUE(writeFileWithAttributes(destination, c.existing, c.existingAttributes | FILE_ATTRIBUTE_ARCHIVE));
        }
        const WIN32_FIND_DATAA before = enumerated(source);

        EXPECT_TRUE(copy()) << GetLastError();

        // Read before the contents are: reading may move the access time.
        const WIN32_FIND_DATAA after = enumerated(destination);
        EXPECT_EQ(contents, readFile(destination));
        EXPECT_EQ(before.ftLastWriteTime.dwLowDateTime, after.ftLastWriteTime.dwLowDateTime);
        EXPECT_EQ(before.ftLastWriteTime.dwHighDateTime, after.ftLastWriteTime.dwHighDateTime);
        EXPECT_EQ(before.ftLastAccessTime.dwHighDateTime, after.ftLastAccessTime.dwHighDateTime);
        const DWORD bits = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
        EXPECT_EQ(before.dwFileAttributes & bits, after.dwFileAttributes & bits);
    }
    SetFileAttributesA(source.c_str(), FILE_ATTRIBUTE_NORMAL);
    SetFileAttributesA(destination.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// The caller clears a read-only destination first; one that is still
// read-only is refused, as the platform's copy refuses it, and kept whole.
TEST_F(FileCopyTest, ReadOnlyDestinationIsRefusedAndKept) {
    ASSERT_TRUE(writeFile(source, "new"));
    ASSERT_TRUE(writeFileWithAttributes(destination, "old", FILE_ATTRIBUTE_READONLY));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(copy());
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ("old", readFile(destination));
    SetFileAttributesA(destination.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(FileCopyTest, MissingSourceLeavesNoDestination) {
    WIN32_FIND_DATAA found;
    memset(&found, 0, sizeof found);
    EXPECT_FALSE(copyInstalledFile(source.c_str(), destination.c_str(), found));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(destination.c_str()));
}

// The installed file is a file of its own, made in its folder: not the
// staged one moved there, nor a second name of it.
TEST_F(FileCopyTest, InstalledFileIsNotTheStagedFile) {
    ASSERT_TRUE(writeFile(source, pattern(5000)));
    ASSERT_TRUE(copy());
    const BY_HANDLE_FILE_INFORMATION staged = identity(source);
    const BY_HANDLE_FILE_INFORMATION installed = identity(destination);
    EXPECT_TRUE(staged.dwVolumeSerialNumber != installed.dwVolumeSerialNumber ||
                staged.nFileIndexHigh != installed.nFileIndexHigh || staged.nFileIndexLow != installed.nFileIndexLow);
    EXPECT_EQ(1u, installed.nNumberOfLinks);
    EXPECT_EQ(1u, staged.nNumberOfLinks);
    ASSERT_TRUE(writeFile(source, "changed after the copy"));
    EXPECT_EQ(pattern(5000), readFile(destination));
}

// A write that fails in the middle of a file ends the copy with false, the
// bytes before it delivered, and nothing written after it.
TEST_F(FileCopyTest, WriteFailingMidFileEndsTheCopy) {
    ASSERT_TRUE(writeFile(source, pattern(4 * 4096)));
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 4096));
    std::string received;
    // The reader takes one buffer, then goes: the next write finds no reader.
    std::thread reader([&] {
        std::vector<char> chunk(4096);
        while (received.size() < 4096) {
            DWORD got = 0;
            if (!ReadFile(readEnd, chunk.data(), static_cast<DWORD>(4096 - received.size()), &got, nullptr) || !got) break;
            received.append(chunk.data(), got);
        }
        CloseHandle(readEnd);
    });
    HANDLE from = CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, from);
    bool copied = true;
    for (int i = 0; i < 4 && copied; ++i) copied = copyFileData(from, writeEnd, buffer.data(), 4096);
    reader.join();
    CloseHandle(writeEnd);
    CloseHandle(from);
    EXPECT_FALSE(copied);
    EXPECT_EQ(pattern(4 * 4096).substr(0, 4096), received);
}

// A posted message is dispatched while a file of several buffers is copied,
// without waiting for the end of the file.
LRESULT CALLBACK countingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) ++*reinterpret_cast<int*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST_F(FileCopyTest, OwnerWindowAnswersDuringALongFile) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = countingProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "FileCopyTestWindow";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowA("FileCopyTestWindow", "", 0, 0, 0, 0, 0, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, window);
    int handled = 0;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&handled));
    ASSERT_TRUE(writeFile(source, pattern(3 * 4096)));
    HANDLE from = CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE to = CreateFileA(destination.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, from);
    ASSERT_NE(INVALID_HANDLE_VALUE, to);
    Sleep(40);  // longer than the pump's interval since any earlier pump
    PostMessageA(window, WM_APP, 0, 0);
    EXPECT_TRUE(copyFileData(from, to, buffer.data(), 4096));
    EXPECT_EQ(1, handled);
    CloseHandle(to);
    CloseHandle(from);
    DestroyWindow(window);
}

}  // namespace
