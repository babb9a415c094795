// The staging folder is made afresh by the run, or the run stops: whatever
// was at its name before (an old tree, a file, a link) is either an old tree
// of plain files, removed, or left as it is.
#include "archive/StagingFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "WindowWatcher.h"

namespace {

struct PlantCase {
    const char* what;
    // Puts something at `path` (no trailing backslash) that points to or
    // lies beside `outside`; false with the reason where it cannot be made.
    bool (*plant)(const std::string& path, const std::string& outside, std::string* why);
    bool made;
};

bool plantNothing(const std::string&, const std::string&, std::string*) { return true; }

bool plantOldTree(const std::string& path, const std::string&, std::string*) {
    return writeFile(path + "\\Program\\old.txt", "old") && writeFile(path + "\\Documents\\a\\b.txt", "old") &&
           SetFileAttributesA((path + "\\Program\\old.txt").c_str(), FILE_ATTRIBUTE_READONLY);
}

bool plantFile(const std::string& path, const std::string&, std::string*) { return writeFile(path, "mine"); }

bool plantLink(const std::string& path, const std::string& outside, std::string* why) {
    return makeLink(path, outside, why);
}

bool plantLinkInside(const std::string& path, const std::string& outside, std::string* why) {
    return writeFile(path + "\\old.txt", "old") && makeLink(path + "\\Program", outside, why);
}

TEST(StagingFolder, OnlyAFolderTheRunMadeIsUsedAndRemoved) {
    const PlantCase cases[] = {
        {"nothing at the name", plantNothing, true},
        {"an old tree of plain files", plantOldTree, true},
        {"a file at the name", plantFile, false},
        {"a link to a folder at the name", plantLink, false},
        {"a link inside an old tree", plantLinkInside, false},
    };
    for (const PlantCase& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        ASSERT_TRUE(writeFile(dir / "outside\\keep.txt", "keep"));
        const std::string path = dir / "Staged";
        std::string why;
        if (!c.plant(path, dir / "outside", &why)) GTEST_SKIP() << why;
        const std::string before = treeSnapshot(dir.path());

        StagingFolder staging;
        BackgroundWatcher watcher([](const WindowInfo&) { return Response::press(IDOK); });
        const int made = staging.create(nullptr, (path + "\\").c_str());
        std::vector<SeenWindow> seen = watcher.stop();
        EXPECT_EQ("keep", readFile(dir / "outside\\keep.txt"));
        if (c.made) {
            EXPECT_EQ(1, made);
            EXPECT_TRUE(seen.empty());
            EXPECT_EQ("", treeSnapshot(path)) << "made afresh";
            // Held: nobody renames it away while the run uses it.
            EXPECT_FALSE(MoveFileA(path.c_str(), (dir / "moved").c_str()));
            EXPECT_EQ(1, staging.isIntact());
            ASSERT_TRUE(writeFile(path + "\\Program\\new.txt", "new"));
            staging.remove();
            EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str())) << "removed at the end";
            continue;
        }
        EXPECT_EQ(0, made);
        ASSERT_EQ(1u, seen.size());
        EXPECT_EQ(path + "\\", seen[0].window.caption);
        EXPECT_EQ("Unable to create file.", seen[0].window.messageText);
        EXPECT_EQ(0, staging.isIntact());
        const std::string after = treeSnapshot(dir.path());
        staging.remove();
        EXPECT_EQ(after, treeSnapshot(dir.path())) << "what the run did not make is not removed";
        if (c.plant != plantLinkInside) {
            EXPECT_EQ(before, after);
        }
    }
}

// An old tree that cannot be emptied (a file in it held open by another
// program) is not the run's: the run stops, and what is left stays.
TEST(StagingFolder, OldTreeThatStaysIsNotUsed) {
    TempDir dir;
    const std::string path = dir / "Staged";
    ASSERT_TRUE(writeFile(path + "\\Program\\held.txt", "held"));
    ASSERT_TRUE(writeFile(path + "\\Program\\other.txt", "other"));
    HANDLE held = CreateFileA((path + "\\Program\\held.txt").c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    StagingFolder staging;
    BackgroundWatcher watcher([](const WindowInfo&) { return Response::press(IDOK); });
    EXPECT_EQ(0, staging.create(nullptr, (path + "\\").c_str()));
    EXPECT_EQ(1u, watcher.stop().size());
    CloseHandle(held);
    staging.remove();
    EXPECT_EQ("held", readFile(path + "\\Program\\held.txt")) << "not removed at the end either";
}

}  // namespace
