// File attributes and tree removal against Wine's real file system, run as an
// ordinary user so that read-only files behave as on Windows.
#include "deploy/FileOps.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

namespace {

constexpr DWORD kR = FILE_ATTRIBUTE_READONLY;
constexpr DWORD kH = FILE_ATTRIBUTE_HIDDEN;
constexpr DWORD kS = FILE_ATTRIBUTE_SYSTEM;
constexpr DWORD kD = FILE_ATTRIBUTE_DIRECTORY;
constexpr DWORD kA = FILE_ATTRIBUTE_ARCHIVE;

DWORD attributesOf(const std::string& path) { return GetFileAttributesA(path.c_str()); }
bool exists(const std::string& path) { return attributesOf(path) != INVALID_FILE_ATTRIBUTES; }

// Sets attributes and checks that they read back as set, so that a test
// starts from the state it names.
::testing::AssertionResult setAttributes(const std::string& path, DWORD attributes) {
    SetFileAttributesA(path.c_str(), attributes);
    DWORD got = attributesOf(path);
    if (got == attributes) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << path << ": attributes read back as 0x" << std::hex << got
                                         << ", expected 0x" << attributes;
}

::testing::AssertionResult make(const std::string& path) {
    if (writeFile(path, "x")) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "cannot create " << path;
}

::testing::AssertionResult writeFileWithReadOnly(const std::string& path) {
    if (!writeFile(path, "read-only") || !SetFileAttributesA(path.c_str(), kA | kR))
        return ::testing::AssertionFailure() << "cannot create " << path;
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult makeDir(const std::string& path) {
    if (CreateDirectoryA(path.c_str(), nullptr)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "cannot create folder " << path << ", error " << GetLastError();
}

// Checks that each of `present` exists and each of `gone` does not, all
// relative to `root`, and names every path that is not as expected.
::testing::AssertionResult onlyThese(const std::string& root, const std::vector<std::string>& present,
                                     const std::vector<std::string>& gone) {
    std::string wrong;
    for (const std::string& p : present)
        if (!exists(root + "\\" + p)) wrong += " missing: " + p + ";";
    for (const std::string& p : gone)
        if (exists(root + "\\" + p)) wrong += " still there: " + p + ";";
    if (wrong.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << wrong;
}

struct PathKindCase {
    const char* what;
    std::string path;
    int file;
    int directory;
};

TEST(FileTests, TellFilesFromDirectories) {
    TempDir dir;
    ASSERT_TRUE(make(dir / "file.txt"));
    ASSERT_TRUE(makeDir(dir / "sub"));
    const PathKindCase cases[] = {
        {"file", dir / "file.txt", 1, 0},
        {"directory", dir / "sub", 0, 1},
        {"directory with trailing backslash", dir / "sub\\", 0, 1},
        {"missing", dir / "missing", 0, 0},
    };
    for (const PathKindCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.file, isExistingFile(c.path.c_str()));
        EXPECT_EQ(c.directory, isDirectory(c.path.c_str()));
    }
}

struct AttributeCase {
    const char* what;
    int (*change)(const char*);
    bool directory;
    DWORD before;
    DWORD after;
};

// Each changer touches its one bit and writes every other bit back as read.
TEST(AttributeChangers, ChangeOneBitAndKeepTheRest) {
    const AttributeCase cases[] = {
        {"hidden added to a file", addHiddenAttribute, false, kA, kA | kH},
        {"system added, hidden kept", addSystemAttribute, false, kA | kH, kA | kH | kS},
        {"read-only added to a file", addReadOnlyAttribute, false, kA, kA | kR},
        {"read-only cleared", clearReadOnlyAttribute, false, kA | kR, kA},
        {"read-only cleared where there is none", clearReadOnlyAttribute, false, kA, kA},
        {"hidden added twice", addHiddenAttribute, false, kA | kH, kA | kH},
        {"hidden added to a folder", addHiddenAttribute, true, kD, kD | kH},
        {"system added to a folder", addSystemAttribute, true, kD, kD | kS},
    };
    for (const AttributeCase& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        std::string path = dir / "target";
        ASSERT_TRUE(c.directory ? makeDir(path) : make(path));
        ASSERT_TRUE(setAttributes(path, c.before));
        EXPECT_NE(0, c.change(path.c_str()));
        EXPECT_EQ(c.after, attributesOf(path)) << std::hex << "got 0x" << attributesOf(path);
    }
}

TEST(AttributeChangers, MissingPathGivesZero) {
    TempDir dir;
    std::string missing = dir / "missing";
    int (*const changers[])(const char*) = {addHiddenAttribute, addReadOnlyAttribute,
                                            addSystemAttribute, clearReadOnlyAttribute};
    for (auto change : changers) EXPECT_EQ(0, change(missing.c_str()));
    EXPECT_FALSE(exists(missing));
}

// The folder customisation file carries hidden, system and read-only; hidden
// and system go first, since a read-only file no longer takes them.
::testing::AssertionResult makeDesktopIni(const std::string& path) {
    ::testing::AssertionResult made = make(path);
    if (!made) return made;
    const char* p = path.c_str();
    if (!addHiddenAttribute(p) || !addSystemAttribute(p) || !addReadOnlyAttribute(p))
        return ::testing::AssertionFailure() << "cannot set the attributes of " << path;
    return setAttributes(path, kA | kH | kS | kR);
}

// Files with every attribute the deployment uses, on several levels.
const char* const kTreeFiles[] = {"Desktop.INI", "hidden.txt", "plain.txt", "readonly.txt",
                                  "sub\\deeper\\file.txt", "sub\\Desktop.INI", "system.txt"};

void buildTree(const std::string& root) {
    for (const char* f : kTreeFiles) ASSERT_TRUE(make(root + "\\" + f));
    ASSERT_TRUE(makeDir(root + "\\emptydir"));
    ASSERT_TRUE(setAttributes(root + "\\readonly.txt", kA | kR));
    ASSERT_TRUE(setAttributes(root + "\\hidden.txt", kA | kH));
    ASSERT_TRUE(setAttributes(root + "\\system.txt", kA | kS));
    ASSERT_TRUE(setAttributes(root + "\\sub\\deeper\\file.txt", kA | kR));
    ASSERT_TRUE(makeDesktopIni(root + "\\Desktop.INI"));
    ASSERT_TRUE(makeDesktopIni(root + "\\sub\\Desktop.INI"));
}

TEST(RemoveTree, RemovesAnEmptyFolder) {
    TempDir parent;
    ASSERT_TRUE(makeDir(parent / "empty"));
    EXPECT_NE(0, removeTree((parent / "empty").c_str()));
    EXPECT_FALSE(exists(parent / "empty"));
}

TEST(RemoveTree, RemovesTheWholeTreeWhateverTheAttributes) {
    const char* const suffixes[] = {"", "\\"};  // the staging path ends with a backslash
    for (const char* suffix : suffixes) {
        SCOPED_TRACE(*suffix ? "trailing backslash" : "plain path");
        TempDir parent;
        ASSERT_TRUE(make(parent / "neighbour.txt"));
        std::string tree = parent / "tree";
        ASSERT_NO_FATAL_FAILURE(buildTree(tree));
        EXPECT_NE(0, removeTree((tree + suffix).c_str()));
        EXPECT_TRUE(onlyThese(parent.path(), {"neighbour.txt"}, {"tree"}));
    }
}

TEST(RemoveTree, PathThatIsNoFolderGivesZeroAndChangesNothing) {
    TempDir parent;
    ASSERT_TRUE(make(parent / "file.txt"));
    const char* const paths[] = {"missing", "missing\\", "file.txt"};
    for (const char* p : paths) {
        SCOPED_TRACE(p);
        EXPECT_EQ(0, removeTree((parent / p).c_str()));
        EXPECT_TRUE(onlyThese(parent.path(), {"file.txt"}, {"missing"}));
    }
}

// Files are visited in the order the platform lists them (Wine: sorted, with
// "." and ".." first); the names here sort the same with or without regard
// to case.
TEST(RemoveTree, GoesOnPastAFileThatIsOpen) {
    TempDir parent;
    std::string tree = parent / "tree";
    const char* const files[] = {"a.txt", "b\\1.txt", "b\\2.txt", "b\\3.txt", "b\\4\\x.txt",
                                 "c.txt", "d\\x.txt"};
    for (const char* f : files) ASSERT_TRUE(make(tree + "\\" + f));
    // Open without FILE_SHARE_DELETE: the file cannot be deleted while open.
    HANDLE open = CreateFileA((tree + "\\b\\2.txt").c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, open);

    // Only the held file and the folders above it stay.
    EXPECT_EQ(0, removeTree(tree.c_str()));
    EXPECT_TRUE(onlyThese(tree, {"b\\2.txt"},
                          {"a.txt", "b\\1.txt", "b\\3.txt", "b\\4", "c.txt", "d"}));

    // Once the file is closed, nothing holds the tree any more.
    CloseHandle(open);
    EXPECT_NE(0, removeTree(tree.c_str()));
    EXPECT_FALSE(exists(tree));
}

// Long paths are made with the wide functions and the "\\?\" prefix, which
// are not bound by the 260-byte limit.
std::wstring longPath(const std::string& path) { return L"\\\\?\\" + std::wstring(path.begin(), path.end()); }

struct LongPathCase {
    const char* what;
    size_t folderLength;  // of root\folder, in characters
    size_t fileLength;    // of the one file's name inside that folder
    bool removed;
};

// A pattern or child path must fit 260 bytes with its terminator; one that
// does not stays with its ancestors, and the removal goes on with the rest.
TEST(RemoveTree, PathsBeyondTheLimitStayAndTheRestGoes) {
    const LongPathCase cases[] = {
        {"pattern folder\\* of 259 characters", 257, 1, true},
        {"pattern of 260 characters", 258, 1, false},
        {"child path of 259 characters", 200, 58, true},
        {"child path of 260 characters", 200, 59, false},
    };
    for (const LongPathCase& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir root;
        ASSERT_LT(root.path().size() + 2, 200u) << "temporary folder too long for this test";
        std::string folder = root.path() + "\\" + std::string(c.folderLength - root.path().size() - 1, 'b');
        std::string file = folder + "\\" + std::string(c.fileLength, 'f');
        ASSERT_TRUE(make(root / "a.txt"));
        ASSERT_TRUE(make(root / "z.txt"));
        ASSERT_TRUE(CreateDirectoryW(longPath(folder).c_str(), nullptr));
        HANDLE h = CreateFileW(longPath(file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, h);
        CloseHandle(h);

        int result = removeTree(root.path().c_str());
        bool fileLeft = GetFileAttributesW(longPath(file).c_str()) != INVALID_FILE_ATTRIBUTES;
        if (c.removed) {
            EXPECT_NE(0, result);
            EXPECT_FALSE(exists(root.path()));
            continue;
        }
        EXPECT_EQ(0, result);
        EXPECT_TRUE(fileLeft);
        EXPECT_TRUE(onlyThese(root.path(), {folder.substr(root.path().size() + 1)}, {"a.txt", "z.txt"}));
        DeleteFileW(longPath(file).c_str());
    }
}

// An empty path would make the pattern "\*.*", the root of the current
// drive. To see whether that root is touched without harming it, its first
// entry is a read-only file held open: a removal that went there would clear
// the read-only bit, then fail to delete the file and stop.
TEST(RemoveTree, RefusesAnEmptyPath) {
    std::string canary = "C:\\!setup-test-" + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(make(canary));
    HANDLE open = CreateFileA(canary.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, open);
    EXPECT_TRUE(setAttributes(canary, kA | kR));

    WIN32_FIND_DATAA first;
    HANDLE find = FindFirstFileA("C:\\*.*", &first);
    ASSERT_NE(INVALID_HANDLE_VALUE, find);
    while (first.cFileName[0] == '.' && FindNextFileA(find, &first)) {}
    FindClose(find);
    char previous[MAX_PATH] = "";
    DWORD length = GetCurrentDirectoryA(sizeof previous, previous);
    bool ready = canary == std::string("C:\\") + first.cFileName && SetCurrentDirectoryA("C:\\windows");
    if (ready) {
        EXPECT_EQ(0, removeTree(""));
        EXPECT_EQ(0, removeTree(nullptr));
        EXPECT_EQ(kA | kR, attributesOf(canary)) << "the root of the current drive was entered";
    }
    if (length > 0 && length < sizeof previous) SetCurrentDirectoryA(previous);
    CloseHandle(open);
    SetFileAttributesA(canary.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(canary.c_str());
    if (!ready) GTEST_SKIP() << "the canary is not the first entry of C:\\ (" << first.cFileName << ")";
}

// What a link points to: a folder with a plain file, a read-only file and a
// subfolder, and a file beside it, checked byte for byte (names, attributes,
// contents) after each removal.
struct Outside {
    std::string folder;
    std::string emptyFolder;
    std::string file;
    std::string readOnlyFile;
};

Outside makeOutside(const TempDir& dir) {
    Outside o{dir / "outside", dir / "outside-empty", dir / "outside-file.txt", dir / "outside-ro.txt"};
    EXPECT_TRUE(writeFile(o.folder + "\\keep.txt", "keep"));
    EXPECT_TRUE(writeFile(o.folder + "\\sub\\deeper.txt", "deeper"));
    EXPECT_TRUE(writeFileWithReadOnly(o.folder + "\\ro.txt"));
    EXPECT_TRUE(makeDir(o.emptyFolder));
    EXPECT_TRUE(writeFile(o.file, "file"));
    EXPECT_TRUE(writeFileWithReadOnly(o.readOnlyFile));
    return o;
}

struct LinkCase {
    const char* what;
    const char* link;      // below the tree, made a link to `target`
    const char* target;    // "folder", "empty", "file" or "readonly"
    const char* removed;   // the path given to the removal, below the parent
    const char* stays;     // what must stay of the tree, below the parent
};

const std::string& targetOf(const Outside& o, const std::string& which) {
    if (which == "folder") return o.folder;
    if (which == "empty") return o.emptyFolder;
    if (which == "file") return o.file;
    return o.readOnlyFile;
}

// No removal reaches through a link: the link stays with the folders that
// hold it, what it points to is untouched, and the rest of the tree goes.
// The links are junctions and symbolic links on Windows, Unix symbolic
// links under Wine (where a removal through the name of a link removes what
// it points to).
TEST(RemoveTree, NeverReachesThroughALink) {
    const LinkCase cases[] = {
        {"the root a link to a folder", "tree\\root", "folder", "tree\\root", "tree\\root"},
        {"the root a link, given with a backslash", "tree\\root", "folder", "tree\\root\\", "tree\\root"},
        {"an entry a link to a folder", "tree\\link", "folder", "tree", "tree\\link"},
        {"an entry a link to an empty folder", "tree\\link", "empty", "tree", "tree\\link"},
        {"an entry a link to a file", "tree\\link.txt", "file", "tree", "tree\\link.txt"},
        {"an entry a link to a read-only file", "tree\\link.txt", "readonly", "tree", "tree\\link.txt"},
        {"a link two folders down", "tree\\a\\b\\link", "folder", "tree", "tree\\a\\b\\link"},
        {"a link to a file two folders down", "tree\\a\\b\\link.txt", "file", "tree", "tree\\a\\b\\link.txt"},
    };
    for (const LinkCase& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const Outside outside = makeOutside(dir);
        ASSERT_TRUE(make(dir / "tree\\plain.txt"));
        ASSERT_TRUE(make(dir / "tree\\a\\b\\plain.txt"));
        ASSERT_TRUE(make(dir / "tree\\a\\other.txt"));
        std::string why;
        if (!makeLink(dir / c.link, targetOf(outside, c.target), &why)) GTEST_SKIP() << why;
        const std::string before = treeSnapshot(dir.path());
        const std::string outsideBefore = treeSnapshot(outside.folder) + readFile(outside.file) +
                                          std::to_string(attributesOf(outside.readOnlyFile));

        EXPECT_EQ(0, removeTree((dir / c.removed).c_str()));
        EXPECT_EQ(outsideBefore, treeSnapshot(outside.folder) + readFile(outside.file) +
                                     std::to_string(attributesOf(outside.readOnlyFile)));
        EXPECT_TRUE(onlyThese(dir.path(), {"outside\\keep.txt", "outside-empty", "outside-ro.txt", c.stays}, {}));
        if (std::string(c.removed) != c.link && std::string(c.removed) != std::string(c.link) + "\\") {
            // Everything else of the tree is gone.
            EXPECT_TRUE(onlyThese(dir.path(), {}, {"tree\\plain.txt", "tree\\a\\other.txt"}));
        } else {
            EXPECT_EQ(before, treeSnapshot(dir.path())) << "a refused root changes nothing";
        }
    }
}

// deleteFile, used on files a run made (the rollback, its temporary INI),
// deletes a plain file, read-only or not, and never what a link points to.
TEST(FileDeletion, DeletesAFileButNotThroughALink) {
    TempDir dir;
    const Outside outside = makeOutside(dir);
    ASSERT_TRUE(make(dir / "plain.txt"));
    ASSERT_TRUE(writeFileWithReadOnly(dir / "readonly.txt"));
    EXPECT_NE(0, deleteFile((dir / "plain.txt").c_str()));
    EXPECT_NE(0, deleteFile((dir / "readonly.txt").c_str()));
    EXPECT_TRUE(onlyThese(dir.path(), {}, {"plain.txt", "readonly.txt"}));

    const char* const targets[] = {"file", "readonly"};
    for (const char* target : targets) {
        SCOPED_TRACE(target);
        std::string link = dir / (std::string("link-") + target);
        std::string why;
        if (!makeLink(link, targetOf(outside, target), &why)) GTEST_SKIP() << why;
        const std::string file = targetOf(outside, target);
        const std::string before = readFile(file) + std::to_string(attributesOf(file));
        EXPECT_EQ(0, deleteFile(link.c_str()));
        EXPECT_EQ(before, readFile(file) + std::to_string(attributesOf(file)));
    }
}

// The tree's own folders can be told from links by name alone where the
// platform marks links to folders (Windows, Wine); a trailing backslash does
// not hide one.
TEST(IsLink, TellsALinkToAFolderByItsName) {
    TempDir dir;
    ASSERT_TRUE(makeDir(dir / "target"));
    ASSERT_TRUE(make(dir / "file.txt"));
    std::string why;
    if (!makeLink(dir / "link", dir / "target", &why)) GTEST_SKIP() << why;
    EXPECT_NE(0, isLink((dir / "link").c_str()));
    EXPECT_NE(0, isLink((dir / "link\\").c_str()));
    EXPECT_EQ(0, isLink((dir / "target").c_str()));
    EXPECT_EQ(0, isLink((dir / "file.txt").c_str()));
    EXPECT_EQ(0, isLink((dir / "missing").c_str()));
}

}  // namespace
