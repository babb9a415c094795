// A full disk under the real installer: drive S: is a small volume of its
// own (a tmpfs that the test environment mounts), filled up to a few
// kilobytes, as the temp folder or as the install base.
#include <gtest/gtest.h>

#include <shlobj.h>

#include "InstallerRun.h"
#include "PrefixState.h"

namespace {

const std::string kVolume = "S:\\";

// Bytes that do not compress, so that the payload keeps their size.
std::string incompressible(size_t size, uint32_t seed) {
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        seed = seed * 1664525u + 1013904223u;
        c = static_cast<char>(seed >> 24);
    }
    return bytes;
}

// Fills the small volume until about `leave` bytes are free; the filler
// goes when the object does (or by free()).
class Filler {
public:
    explicit Filler(ULONGLONG leave) : path_(kVolume + "filler.bin") {
        ULARGE_INTEGER free = {};
        if (!GetDiskFreeSpaceExA(kVolume.c_str(), &free, nullptr, nullptr) || free.QuadPart <= leave) return;
        HANDLE file = CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return;
        std::string block(64 * 1024, 'f');
        for (ULONGLONG left = free.QuadPart - leave; left > 0;) {
            DWORD chunk = static_cast<DWORD>(left < block.size() ? left : block.size());
            DWORD written = 0;
            if (!WriteFile(file, block.data(), chunk, &written, nullptr) || written == 0) break;
            left -= written;
        }
        CloseHandle(file);
    }
    ~Filler() { release(); }
    void release() { DeleteFileA(path_.c_str()); }
    static ULONGLONG freeBytes() {
        ULARGE_INTEGER free = {};
        GetDiskFreeSpaceExA(kVolume.c_str(), &free, nullptr, nullptr);
        return free.QuadPart;
    }

private:
    std::string path_;
};

class FullDiskTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!isDirectoryPath(kVolume)) {
            GTEST_SKIP() << "no small volume S: (the Wine environment mounts one only when made as root)";
        }
    }
};

TEST_F(FullDiskTest, FullTempFolderEndsTheExtractionAndLeavesNothing) {
    ProgramNames names("FullTemp");
    ArchiveWriter writer;
    writer.addFile("Program\\" + names.progFile + ".exe", "not a real program");
    writer.addFile("Program\\large.bin", incompressible(1024 * 1024, 7));
    InstallerRun installer(setupIni(names), writer.build());
    ASSERT_TRUE(installer.ready());
    const std::string temp = kVolume + "temp-" + names.progDir;
    ASSERT_TRUE(CreateDirectoryA(temp.c_str(), nullptr));
    ScopedEnvironment tmp("TMP", temp.c_str());
    ScopedEnvironment tempVariable("TEMP", temp.c_str());
    Filler filler(128 * 1024);
    ASSERT_LT(Filler::freeBytes(), 256u * 1024);

    InstallerOutcome outcome = installer.run("-s", [](const WindowInfo&) { return Response::press(IDOK); });
    const std::string staged = temp + "\\" + names.progName + "\\Program\\large.bin";
    ASSERT_EQ(2u, outcome.messages.size()) << outcome.run.describe();
    EXPECT_EQ(staged, outcome.messages[0].caption);
    EXPECT_TRUE(outcome.messages[0].text == "Unable to expand into file." ||
                outcome.messages[0].text == "Unable to create file.")
        << outcome.messages[0].text;
    EXPECT_EQ((Shown{names.progName, names.progName + " failed EN"}), outcome.messages[1]);
    EXPECT_EQ(0u, outcome.run.exitCode);
    EXPECT_FALSE(pathExists("C:\\Program Files\\" + names.progDir)) << "nothing is installed";
    EXPECT_TRUE(listTree(temp).empty()) << "no staging file and no temporary INI stays";
    filler.release();
    removeFileTree(temp);
    removeInstalled(names, "C:\\Program Files\\" + names.progDir);
}

struct CopyCase {
    const char* what;
    bool retry;  // free the space and press Retry; else Cancel
};

// The install base is the full volume; an earlier installation there keeps
// every byte when the copy is cancelled, and a Retry once space is free
// completes the install.
TEST_F(FullDiskTest, FullInstallVolumeAsksThenRollsBackOrCompletes) {
    const CopyCase cases[] = {{"cancel", false}, {"retry after freeing space", true}};
    for (const CopyCase& c : cases) {
        SCOPED_TRACE(c.what);
        ProgramNames names("FullBase");
        const std::string large = incompressible(1024 * 1024, 11);
        ArchiveWriter writer;
        // The platform lists names in order: a new folder first, then the
        // file that does not fit, then the program over its older copy.
        writer.addFile("Program\\a-new\\first.txt", "first");
        writer.addFile("Program\\b-large.bin", large);
        writer.addFile("Program\\" + names.progFile + ".exe", "new program");
        InstallerRun installer(setupIni(names), writer.build());
        ASSERT_TRUE(installer.ready());

        const std::string base = kVolume + "base";
        const std::string installDir = base + "\\" + names.progDir;
        const std::string kept = incompressible(20000, 3);
        ASSERT_TRUE(writeFile(installDir + "\\keep.dat", kept));
        ASSERT_TRUE(writeFile(installDir + "\\" + names.progFile + ".exe", "old program"));
        ExistingInstallation existing(names);
        existing.set("InstallLocation", installDir);
        Filler filler(256 * 1024);
        ASSERT_LT(Filler::freeBytes(), 512u * 1024);

        InstallerOutcome outcome = installer.run("-s", [&](const WindowInfo& window) {
            if (window.messageText.find("Copy failed EN") == std::string::npos) return Response::press(IDOK);
            if (!c.retry) return Response::press(IDCANCEL);
            filler.release();
            return Response::press(IDRETRY);
        });
        ASSERT_LE(1u, outcome.messages.size()) << outcome.run.describe();
        EXPECT_EQ((Shown{names.progName, "Copy failed EN\n\n" + installDir + "\\b-large.bin"}), outcome.messages[0]);
        EXPECT_EQ(kept, readFileContents(installDir + "\\keep.dat").value_or("(missing)"));
        if (c.retry) {
            EXPECT_EQ(1u, outcome.run.exitCode);
            EXPECT_EQ(large, readFileContents(installDir + "\\b-large.bin").value_or("(missing)"));
            EXPECT_EQ("new program", readFileContents(installDir + "\\" + names.progFile + ".exe").value_or(""));
            EXPECT_EQ("first", readFileContents(installDir + "\\a-new\\first.txt").value_or(""));
        } else {
            EXPECT_EQ(0u, outcome.run.exitCode);
            std::vector<std::string> left;
            for (const TreeEntry& entry : listTree(installDir)) left.push_back(entry.path);
            EXPECT_EQ(std::vector<std::string>({names.progFile + ".exe", "keep.dat"}), left)
                << "exactly what this run created is gone";
            EXPECT_EQ("old program", readFileContents(installDir + "\\" + names.progFile + ".exe").value_or(""));
        }
        filler.release();
        removeInstalled(names, base);
    }
}

}  // namespace
