// RegistryKey against Wine's real registry. Every case works below a
// throwaway key that is removed afterwards.
#include "registration/RegistryKey.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

namespace {

constexpr DWORD kPoison = 0xdeadbeef;
constexpr unsigned char kPoisonByte = 0xbd;

std::string uniqueName(const char* prefix) {
    static unsigned counter;
    return std::string(prefix) + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(++counter);
}

// Success, or the code a registry call returned and the call's description.
::testing::AssertionResult succeeded(LONG code, const std::string& what) {
    if (code == ERROR_SUCCESS) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << what << " returned " << code << ", expected 0";
}

bool keyExists(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

::testing::AssertionResult createKey(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    LONG code = RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                nullptr);
    if (code == ERROR_SUCCESS) RegCloseKey(key);
    return succeeded(code, "RegCreateKeyExA(" + path + ")");
}

// A closed handle is refused by the platform with ERROR_INVALID_HANDLE.
::testing::AssertionResult isClosed(HKEY key) {
    DWORD subKeys = kPoison;
    LONG code = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                                 nullptr, nullptr, nullptr, nullptr, nullptr);
    if (code == ERROR_INVALID_HANDLE) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "RegQueryInfoKeyA on the old handle returned " << code << ", expected "
           << ERROR_INVALID_HANDLE << " (closed)";
}

// A fresh key HKCU\Software\SetupTests\<unique>, removed with everything
// below it when the test ends.
class RegistryKeyTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = "Software\\SetupTests\\" + uniqueName("key-");
        ASSERT_TRUE(createKey(HKEY_CURRENT_USER, path_));
    }
    void TearDown() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, path_.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\SetupTests");  // only once empty
    }

    // The throwaway key, or a path below it.
    std::string path(const std::string& below = "") const {
        return below.empty() ? path_ : path_ + "\\" + below;
    }
    bool exists(const std::string& below) const { return keyExists(HKEY_CURRENT_USER, path(below)); }

    // Opens the throwaway key (or a key below it) in `key`.
    ::testing::AssertionResult openIn(RegistryKey& key, const std::string& below = "") const {
        return succeeded(key.open(HKEY_CURRENT_USER, path(below).c_str(), kKeyAllAccess),
                         "open(" + path(below) + ")");
    }

    std::string path_;
};

TEST_F(RegistryKeyTest, CloseWithoutKeyReturnsZero) {
    RegistryKey key;
    EXPECT_EQ(0, key.close());
    EXPECT_EQ(0, key.close());
    EXPECT_EQ(nullptr, key.get());
}

TEST_F(RegistryKeyTest, FailedOpenOrCreateKeepsTheHeldKey) {
    RegistryKey empty;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, empty.open(HKEY_CURRENT_USER, path("missing").c_str(), kKeyAllAccess));
    EXPECT_EQ(nullptr, empty.get());

    RegistryKey key;
    ASSERT_TRUE(openIn(key));
    HKEY held = key.get();
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.open(HKEY_CURRENT_USER, path("missing").c_str(), kKeyAllAccess));
    EXPECT_EQ(held, key.get());

    // A volatile key takes no lasting subkey: the create is refused.
    HKEY volatileKey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, path("volatile").c_str(), 0, nullptr,
                                             REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                             &volatileKey, nullptr));
    DWORD disposition = kPoison;
    LONG code = key.create(volatileKey, "new", nullptr, 0, kKeyAllAccess, nullptr, &disposition);
    RegCloseKey(volatileKey);
    EXPECT_EQ(ERROR_CHILD_MUST_BE_VOLATILE, code);
    EXPECT_EQ(held, key.get());
    EXPECT_EQ(kPoison, disposition);
    EXPECT_FALSE(exists("volatile\\new"));

    // The held key is still open and usable.
    EXPECT_EQ(ERROR_SUCCESS, key.setDwordValue(7, "still"));
}

// A successful open or create closes the key held before and holds the new one.
TEST_F(RegistryKeyTest, SuccessfulOpenOrCreateClosesTheOldKey) {
    ASSERT_TRUE(createKey(HKEY_CURRENT_USER, path("a")));
    struct Case {
        const char* name;
        LONG (*reopen)(RegistryKey&, const std::string&);
    };
    const Case cases[] = {
        {"open", [](RegistryKey& k, const std::string& p) {
             return k.open(HKEY_CURRENT_USER, p.c_str(), kKeyAllAccess);
         }},
        {"create", [](RegistryKey& k, const std::string& p) {
             return k.create(HKEY_CURRENT_USER, p.c_str(), nullptr, 0, kKeyAllAccess, nullptr, nullptr);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RegistryKey key;
        ASSERT_TRUE(openIn(key));
        HKEY old = key.get();
        EXPECT_EQ(0, c.reopen(key, path("a")));
        EXPECT_NE(nullptr, key.get());
        EXPECT_NE(old, key.get());
        EXPECT_TRUE(isClosed(old));
        EXPECT_EQ(ERROR_SUCCESS, key.setDwordValue(1, c.name));  // the new key is held
    }
    EXPECT_EQ(ERROR_SUCCESS, RegGetValueA(HKEY_CURRENT_USER, path("a").c_str(), "create",
                                          RRF_RT_REG_DWORD, nullptr, nullptr, nullptr));
}

TEST_F(RegistryKeyTest, DestructionClosesTheKey) {
    HKEY held = nullptr;
    {
        RegistryKey key;
        ASSERT_TRUE(openIn(key));
        held = key.get();
    }
    EXPECT_TRUE(isClosed(held));
}

TEST_F(RegistryKeyTest, CreateReportsWhetherTheKeyIsNew) {
    const DWORD expected[] = {REG_CREATED_NEW_KEY, REG_OPENED_EXISTING_KEY};
    RegistryKey key;
    for (DWORD want : expected) {
        DWORD disposition = kPoison;
        EXPECT_EQ(0, key.create(HKEY_CURRENT_USER, path("made").c_str(), nullptr, 0, kKeyAllAccess,
                                nullptr, &disposition));
        EXPECT_EQ(want, disposition);
    }
    EXPECT_TRUE(exists("made"));
}

// A null or empty name opens the parent itself (for a root key, Wine hands
// back the root's own handle); on it, deleteSubTree removes a key directly
// below the root, and closing it leaves the root usable.
TEST_F(RegistryKeyTest, NullOrEmptyNameOpensTheParentItself) {
    const char* const names[] = {nullptr, ""};
    for (const char* name : names) {
        SCOPED_TRACE(name ? "empty name" : "null name");
        std::string top = uniqueName("SetupTests-");
        ASSERT_TRUE(createKey(HKEY_CLASSES_ROOT, top + "\\shell\\open"));
        RegistryKey root;
        ASSERT_EQ(0, root.open(HKEY_CLASSES_ROOT, name, kKeyAllAccess));
        EXPECT_NE(nullptr, root.get());
        EXPECT_EQ(0, root.deleteSubTree(top.c_str()));
        EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, top));
        EXPECT_EQ(0, root.close());
        EXPECT_TRUE(createKey(HKEY_CLASSES_ROOT, top));
        RegDeleteTreeA(HKEY_CLASSES_ROOT, top.c_str());
        RegDeleteKeyA(HKEY_CLASSES_ROOT, top.c_str());
    }
}

TEST_F(RegistryKeyTest, DeleteSubTreeOfAMissingKeyReturnsNotFound) {
    ASSERT_TRUE(createKey(HKEY_CURRENT_USER, path("kept\\child")));
    RegistryKey key;
    ASSERT_TRUE(openIn(key));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.deleteSubTree("missing"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.deleteSubTree("kept\\missing"));
    EXPECT_TRUE(exists("kept\\child"));
}

TEST_F(RegistryKeyTest, DeleteSubTreeRemovesEveryLevel) {
    // tree\k0..k2\k0..k2\k0..k2, with a value on every key, and a sibling
    // that shares the name's beginning.
    std::vector<std::string> keys;
    for (int a = 0; a < 3; ++a)
        for (int b = 0; b < 3; ++b)
            for (int c = 0; c < 3; ++c)
                keys.push_back("tree\\k" + std::to_string(a) + "\\k" + std::to_string(b) + "\\k" +
                               std::to_string(c));
    for (const std::string& k : keys) {
        ASSERT_TRUE(createKey(HKEY_CURRENT_USER, path(k)));
        ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueA(HKEY_CURRENT_USER, path(k).c_str(), "v", REG_SZ, "x", 2));
    }
    ASSERT_TRUE(createKey(HKEY_CURRENT_USER, path("tree2\\k0")));

    RegistryKey key;
    ASSERT_TRUE(openIn(key));
    EXPECT_EQ(0, key.deleteSubTree("tree"));
    EXPECT_FALSE(exists("tree"));
    EXPECT_TRUE(exists("tree2\\k0"));
}

// A key whose name has no form in the ANSI code page comes back from the
// enumeration with "?" in its place, and opening it by that name fails: the
// whole operation ends with that code, and the keys not yet deleted stay.
TEST_F(RegistryKeyTest, DeleteSubTreeStopsAtAKeyItCannotDelete) {
    for (const char* k : {"tree\\a\\first", "tree\\b"}) ASSERT_TRUE(createKey(HKEY_CURRENT_USER, path(k)));
    std::string a = path("tree\\a\\");
    std::wstring unnamable = std::wstring(a.begin(), a.end()) + L"\x4E2D";
    BOOL lossy = FALSE;
    char ansi[8];
    WideCharToMultiByte(CP_ACP, 0, L"\x4E2D", 1, ansi, sizeof ansi, nullptr, &lossy);
    if (!lossy) GTEST_SKIP() << "the ANSI code page " << GetACP() << " holds every name";
    HKEY created = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, unnamable.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &created, nullptr));
    RegCloseKey(created);

    RegistryKey key;
    ASSERT_TRUE(openIn(key));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.deleteSubTree("tree"));
    EXPECT_FALSE(exists("tree\\a\\first"));
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, unnamable.c_str(), 0, KEY_READ, &created));
    RegCloseKey(created);
    EXPECT_TRUE(exists("tree\\b"));
}

// An empty or null name would designate the held key itself: refused, and
// nothing below the held key is touched.
TEST_F(RegistryKeyTest, DeleteSubTreeRefusesAnEmptyName) {
    ASSERT_TRUE(createKey(HKEY_CURRENT_USER, path("child\\grandchild")));
    const char* const names[] = {nullptr, ""};
    for (const char* name : names) {
        SCOPED_TRACE(name ? "empty name" : "null name");
        RegistryKey key;
        ASSERT_TRUE(openIn(key));
        EXPECT_EQ(ERROR_INVALID_PARAMETER, key.deleteSubTree(name));
        EXPECT_TRUE(exists("child\\grandchild"));
    }
    EXPECT_TRUE(exists(""));
}

struct StoredValue {
    DWORD code = kPoison;
    DWORD type = kPoison;
    DWORD size = kPoison;
    unsigned char data[16];
};

// Reads a value of the throwaway key independently of RegistryKey.
StoredValue readValue(const std::string& keyPath, const char* name) {
    StoredValue v;
    memset(v.data, kPoisonByte, sizeof v.data);
    v.size = sizeof v.data;
    HKEY key = nullptr;
    v.code = RegOpenKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_READ, &key);
    if (v.code != ERROR_SUCCESS) return v;
    v.code = RegQueryValueExA(key, name, nullptr, &v.type, v.data, &v.size);
    RegCloseKey(key);
    return v;
}

TEST_F(RegistryKeyTest, SetValuesStoreTypeAndExactBytes) {
    RegistryKey key;
    ASSERT_TRUE(openIn(key));
    EXPECT_EQ(0, key.setStringValue("", nullptr));
    EXPECT_EQ(0, key.setStringValue("abc", "text"));
    EXPECT_EQ(0, key.setDwordValue(0x11223344, "number"));

    struct Case {
        const char* name;
        DWORD type;
        DWORD size;
        const char* bytes;
    };
    const Case cases[] = {
        {nullptr, REG_SZ, 1, ""},  // the default value: just the terminator
        {"text", REG_SZ, 4, "abc"},
        {"number", REG_DWORD, 4, "\x44\x33\x22\x11"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name ? c.name : "(default)");
        StoredValue v = readValue(path(), c.name);
        ASSERT_EQ(ERROR_SUCCESS, v.code);
        EXPECT_EQ(c.type, v.type);
        ASSERT_EQ(c.size, v.size);
        EXPECT_EQ(0, memcmp(c.bytes, v.data, c.size));
        EXPECT_EQ(kPoisonByte, v.data[c.size]);
    }
}

// The type is not examined: a REG_DWORD read into a text buffer gives its 4 bytes.
TEST_F(RegistryKeyTest, QueryValueStoresTheBytesWhateverTheType) {
    RegistryKey key;
    ASSERT_TRUE(openIn(key));
    const DWORD number = 0x11223344;
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key.get(), "number", 0, REG_DWORD,
                                            reinterpret_cast<const BYTE*>(&number), 4));
    char text[16];
    memset(text, kPoisonByte, sizeof text);
    DWORD size = sizeof text;
    EXPECT_EQ(0, key.queryValue(text, "number", &size));
    ASSERT_EQ(4u, size);
    EXPECT_EQ(0, memcmp(&number, text, 4));
    EXPECT_EQ(static_cast<char>(kPoisonByte), text[4]);
}

TEST_F(RegistryKeyTest, ValueOperationsWithoutKeyFailAndChangeNothing) {
    RegistryKey key;
    EXPECT_NE(0, key.open(HKEY_CURRENT_USER, path("missing").c_str(), kKeyAllAccess));
    char text[8];
    memset(text, kPoisonByte, sizeof text);
    DWORD size = sizeof text;
    EXPECT_NE(0, key.queryValue(text, nullptr, &size));
    EXPECT_EQ(sizeof text, size);
    EXPECT_EQ(static_cast<char>(kPoisonByte), text[0]);
    EXPECT_NE(0, key.setStringValue("x", "name"));
    EXPECT_NE(0, key.setDwordValue(1, "name"));
    EXPECT_NE(0, key.deleteSubKey("missing"));
    EXPECT_NE(0, key.deleteSubTree("missing"));
    EXPECT_EQ(nullptr, key.get());
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), readValue(path(), "name").code);
}

}  // namespace
