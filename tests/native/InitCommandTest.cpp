// setup-pack init: a first setup INI that check passes but for the texts
// only the vendor can write.
#include "SetupInit.h"
#include "TestProgram.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "InstallerResources.h"
#include "ToolRun.h"
#include "VersionRecord.h"

namespace {

namespace fs = std::filesystem;

// ProductName, which init takes for ProgName, read from a block as build
// writes it: text beyond Latin comes back as UTF-8; a block cut anywhere
// gives the name or nothing, never bytes past the cut.
TEST(InitCommandTest, ProductNameIsReadFromTheBlock) {
    VersionTexts texts;
    texts.productName = u"Caf\u00E9 \u65E5\u672C Notes";
    texts.companyName = u"Example Ltd";
    ByteVector block;
    std::string reason;
    ASSERT_TRUE(buildVersionBlock(texts, 0x0003000400000000u, block, reason)) << reason;
    auto productName = [](const ByteVector& bytes) {
        std::vector<std::pair<std::string, std::string>> read;
        readVersionTexts(bytes.data(), bytes.size(), read);
        for (const auto& text : read) {
            if (text.first == "ProductName") return text.second;
        }
        return std::string();
    };
    EXPECT_EQ("Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC Notes", productName(block));
    for (size_t size = 0; size < block.size(); ++size) {
        ByteVector cut(block.begin(), block.begin() + static_cast<long>(size));
        std::string name = productName(cut);
        EXPECT_TRUE(name.empty() || name == "Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC Notes") << size;
    }
}

TEST(InitCommandTest, CheckNamesOnlyThePlaceholders) {
    ScratchFolder scratch("init-command-test");
    fs::path root = scratch.path();
    ASSERT_FALSE(root.empty());
    ProgramShape shape;
    shape.version = 0x00020005;
    writeText(root / "payload/Program/Quick Notes.exe", craftProgram(shape));
    ToolRun made = runSetupPack({"init", "--program", (root / "payload/Program/Quick Notes.exe").string(), "--output",
                                 (root / "setup.ini").string()}, root);
    ASSERT_EQ(0, made.exitCode) << made.err;
    std::string ini = readText(root / "setup.ini");
    for (const char* line : {"ProgName=Quick Notes\n", "ProgVersion=2.5\n", "ProgFile=Quick Notes\n",
                             "InstallYes=&Yes\n", "; [FileType]\n"}) {
        EXPECT_NE(std::string::npos, ini.find(line)) << line;
    }

    ToolRun checked = runSetupPack({"check", "--ini", (root / "setup.ini").string(), "--payload",
                                    (root / "payload").string()}, root);
    EXPECT_EQ(1, checked.exitCode);
    size_t findings = 0;
    for (size_t p = checked.err.find(": error: "); p != std::string::npos; p = checked.err.find(": error: ", p + 1)) {
        ++findings;
    }
    EXPECT_EQ(3u, findings) << checked.err;
    for (const char* key : {"ProgDesc is still the placeholder", "DirDesc is still the placeholder",
                            "ExtDesc is still the placeholder"}) {
        EXPECT_NE(std::string::npos, checked.err.find(key)) << checked.err;
    }
    EXPECT_EQ(std::string::npos, checked.err.find(": warning: ")) << checked.err;

    ToolRun again = runSetupPack({"init", "--program", (root / "payload/Program/Quick Notes.exe").string(),
                                  "--output", (root / "setup.ini").string()}, root);
    EXPECT_EQ(1, again.exitCode) << "an existing setup INI is never overwritten";
    EXPECT_EQ(ini, readText(root / "setup.ini"));
}

}  // namespace
