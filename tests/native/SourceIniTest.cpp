// The UTF-8 setup INI and the installer's form of it: code pages per
// section, the problems a vendor must hear of, and the shipped texts.
#include "SourceIni.h"
#include "Translations.h"
#include "UninstallManifest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "SetupCheck.h"
#include "ToolRun.h"
#include "config/ProfileText.h"

namespace {

namespace fs = std::filesystem;

std::string valueOf(const std::string& ini, const char* section, const char* key) {
    char out[1024];
    size_t n = readProfileText(ini.data(), ini.size(), section, key, out, sizeof out);
    return std::string(out, n);
}

std::string inCodePage(unsigned codePage, const std::string& utf8) {
    std::string out, bad;
    EXPECT_TRUE(encodeInCodePage(codePage, utf8, out, bad)) << describeCharacter(bad);
    return out;
}

std::string describe(const EmbeddedIni& e) {
    std::string all;
    for (const SourceIniProblem& p : e.problems) {
        all += std::string(p.error ? "error " : "warning ") + std::to_string(p.line) + ": " + p.message + "\n";
    }
    return all;
}

const char kSettings[] = "[Settings]\nProgName=Notes\nProgVersion=1.2\nProgFile=Notes\nProgDir=Notes\n";

// Each language section comes out in its users' code page with that code
// page recorded; the rest, and a section of ASCII only, as written.
TEST(SourceIniTest, EachLanguageSectionIsWrittenInItsCodePage) {
    const struct {
        const char* section;
        const char* text;  // UTF-8
        unsigned codePage;
    } cases[] = {
        {"RU", "Установить программу?", 1251}, {"EL", "Εγκατάσταση;", 1253},
        {"PL", "Zażółć gęślą jaźń", 1250},     {"TR", "Yükleme klasörü: ığş", 1254},
        {"JP", "インストールしますか", 932},     {"KO", "설치하시겠습니까", 949},
        {"FR", "Réessayer", 1252},     {"DE", "Schließen", 1252},
    };
    std::string source = std::string("\xEF\xBB\xBF") + kSettings + "[EN]\r\nInstallYes=&Yes\r\n";
    for (const auto& c : cases) source += std::string("[") + c.section + "]\nInstallDesc=" + c.text + "\n";
    EmbeddedIni e = makeEmbeddedIni(source, SourceIniOptions());
    ASSERT_TRUE(e.fromUtf8);
    EXPECT_TRUE(e.problems.empty()) << describe(e);
    EXPECT_NE(0, e.bytes.compare(0, 3, "\xEF\xBB\xBF")) << "no byte-order mark";
    EXPECT_EQ(std::count(e.bytes.begin(), e.bytes.end(), '\n'), std::count(e.bytes.begin(), e.bytes.end(), '\r'));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.section);
        EXPECT_EQ(inCodePage(c.codePage, c.text), valueOf(e.bytes, c.section, "InstallDesc"));
        EXPECT_EQ(std::to_string(c.codePage), valueOf(e.bytes, c.section, "CodePage"));
    }
    EXPECT_EQ("&Yes", valueOf(e.bytes, "EN", "InstallYes"));
    EXPECT_EQ("", valueOf(e.bytes, "EN", "CodePage")) << "every user reads [EN]";

    EmbeddedIni ascii = makeEmbeddedIni(std::string(kSettings) + "[FR]\nInstallOk=OK\n", SourceIniOptions());
    EXPECT_EQ("", valueOf(ascii.bytes, "FR", "CodePage")) << "ASCII reads alike in every code page";
}

TEST(SourceIniTest, ALegacyFileIsEmbeddedAsWritten) {
    // Windows-1252 bytes (not UTF-8), LF lines and a hand-written CodePage.
    const std::string legacy = "[Settings]\nProgName=Caf\xE9\n[RU]\nCodePage=1251\nInstallYes=\xC4\xE0\n";
    EmbeddedIni e = makeEmbeddedIni(legacy, SourceIniOptions());
    EXPECT_FALSE(e.fromUtf8);
    EXPECT_EQ(legacy, e.bytes);
    EXPECT_TRUE(e.problems.empty());
}

// What the vendor must hear of: the line, and what it does.
TEST(SourceIniTest, ProblemsNameTheLineTheCharacterAndTheCodePage) {
    const struct {
        const char* problem;
        std::string section;   // after [Settings] (lines 1-5), from line 6
        std::vector<std::pair<std::string, unsigned>> codePages;
        bool error;
        unsigned line;
        std::vector<std::string> says;
    } cases[] = {
        {"a character the code page lacks", "[RU]\nInstallYes=Да ☃\n", {}, true, 7,
         {"U+2603 (☃)", "1251 (Cyrillic)"}},
        // The code page's converter maps ¥ to the byte of '\', which reads
        // back as '\': a best fit, not the character.
        {"a character the code page holds only as another", "[JP]\nInstallYes=¥100\n", {}, true, 7,
         {"U+00A5", "932 (Japanese)"}},
        {"Greek in Windows-1252 [EN]", "[EN]\nInstallNo=Όχι\n", {}, true, 7, {"U+038C", "1252 (Western)"}},
        {"[CH] without a choice", "[CH]\nInstallYes=是\n", {}, true, 6, {"936", "950", "CodePage="}},
        {"[SR] without a choice", "[SR]\nInstallYes=Da\n", {}, true, 6, {"1250", "1251", "--code-page SR="}},
        {"a CodePage the users do not run", "[RU]\nCodePage=1252\nInstallYes=Да\n", {}, true, 7,
         {"CodePage=1252", "1251"}},
        {"Hindi has no ANSI code page", "[HI]\nInstallYes=हाँ\n", {}, true, 7, {"U+0939"}},
        {"a double-byte character ending in '\\' before n", "[JP]\nInstallYes=表n\n", {}, true, 7,
         {"\\n", "932"}},
        {"ProgName beyond ASCII", "[EN]\nProgName=Café\n", {}, false, 7,
         {"ProgName", "Windows-1252", "1251", "Programs-menu folder", "uninstall entry"}},
        {"a text of [EN] beyond ASCII", "[EN]\nInstallOk=Café\n", {}, false, 7,
         {"InstallOk", "no section of its own", "\"Cafй\""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.problem);
        SourceIniOptions options;
        options.codePages = c.codePages;
        EmbeddedIni e = makeEmbeddedIni(std::string(kSettings) + c.section, options);
        ASSERT_EQ(1u, e.problems.size()) << describe(e);
        EXPECT_EQ(c.error, e.problems[0].error);
        EXPECT_EQ(c.line, e.problems[0].line);
        for (const std::string& s : c.says) EXPECT_NE(std::string::npos, e.problems[0].message.find(s)) << s;
    }
}

TEST(SourceIniTest, TheVendorChoosesTheCodePageOfAChineseSection) {
    const std::string text = "[CH]\nInstallYes=確定\n";  // traditional
    SourceIniOptions byOption;
    byOption.codePages = {{"CH", 950}};
    EmbeddedIni a = makeEmbeddedIni(std::string(kSettings) + text, byOption);
    EmbeddedIni b = makeEmbeddedIni(std::string(kSettings) + "[CH]\nCodePage=950\nInstallYes=確定\n", SourceIniOptions());
    for (const EmbeddedIni* e : {&a, &b}) {
        EXPECT_TRUE(e->problems.empty()) << describe(*e);
        EXPECT_EQ(inCodePage(950, "確定"), valueOf(e->bytes, "CH", "InstallYes"));
        EXPECT_EQ("950", valueOf(e->bytes, "CH", "CodePage"));
    }
}

Translation german() {
    return {"DE", {{"InstallYes", "&Ja"}, {"InstallNo", "&Nein"}, {"InstallChange", "Ä&ndern..."}}};
}

TEST(SourceIniTest, TranslationsFillOnlyWhatTheVendorLeftOut) {
    SourceIniOptions options;
    options.translations = {german(), {"RU", {{"InstallYes", "&Да"}}}, {"CH", {{"InstallYes", "是(&Y)"}}}};
    const std::string source = std::string(kSettings) +
                               "[DE]\nInstallYes=&Jawohl\n\n[CH]\nCodePage=950\nInstallNo=否\n";
    EmbeddedIni e = makeEmbeddedIni(source, options);
    EXPECT_TRUE(e.problems.empty()) << describe(e);
    EXPECT_EQ("&Jawohl", valueOf(e.bytes, "DE", "InstallYes")) << "the vendor's text wins";
    EXPECT_EQ("&Nein", valueOf(e.bytes, "DE", "InstallNo"));
    EXPECT_EQ(inCodePage(1252, "Ä&ndern..."), valueOf(e.bytes, "DE", "InstallChange"));
    EXPECT_EQ("1252", valueOf(e.bytes, "DE", "CodePage")) << "the added text is beyond ASCII";
    EXPECT_EQ(inCodePage(1251, "&Да"), valueOf(e.bytes, "RU", "InstallYes")) << "a language the INI lacks";
    EXPECT_EQ("1251", valueOf(e.bytes, "RU", "CodePage"));
    EXPECT_EQ("", valueOf(e.bytes, "CH", "InstallYes")) << "simplified texts do not fill a traditional section";

    // Every added line is marked as the build's, not the vendor's.
    size_t lines = static_cast<size_t>(std::count(e.bytes.begin(), e.bytes.end(), '\n'));
    ASSERT_EQ(lines, e.sourceLines.size());
    unsigned added = static_cast<unsigned>(std::count(e.sourceLines.begin(), e.sourceLines.end(), 0u));
    EXPECT_EQ(2u + 1u + 4u, added);  // DE: 2 texts and CodePage; RU: a blank, header, CodePage, text
}

// The uninstaller reads its texts from the manifest made of the installer's
// form, with the section's code page, so that it applies the same rule.
TEST(SourceIniTest, TheUninstallManifestKeepsTheCodePage) {
    EmbeddedIni e = makeEmbeddedIni(std::string(kSettings) + "[RU]\nUninstall=Удалить %s\nInstallYes=Да\n",
                                    SourceIniOptions());
    std::string manifest, error;
    ASSERT_TRUE(buildUninstallManifest(e.bytes, {"Notes.exe"}, manifest, error)) << error;
    EXPECT_NE(std::string::npos, manifest.find("[RU]\r\nCodePage=1251\r\nUninstall=" + inCodePage(1251, "Удалить %s") +
                                               "\r\n"))
        << manifest;
}

// The shipped files: every language a full set of texts, with the English
// text's %s, access key and line breaks, that its code page can hold.
TEST(SourceIniTest, ShippedTranslationsAreCompleteAndFitTheirCodePages) {
    std::vector<Translation> all;
    std::string error;
    ASSERT_TRUE(loadTranslations(SETUP_TRANSLATIONS_DIR, "all", all, error)) << error;
    const Translation* english = nullptr;
    for (const Translation& t : all) english = t.section == "EN" ? &t : english;
    ASSERT_NE(nullptr, english);
    ASSERT_EQ(24u, english->keys.size());
    std::vector<std::string> sections;
    auto count = [](const std::string& text, const std::string& what) {
        size_t n = 0;
        for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + what.size())) ++n;
        return n;
    };
    for (const Translation& t : all) {
        SCOPED_TRACE(t.section);
        sections.push_back(t.section);
        ASSERT_EQ(english->keys.size(), t.keys.size());
        for (size_t i = 0; i < t.keys.size(); ++i) {
            const std::string& text = t.keys[i].second;
            const std::string& en = english->keys[i].second;
            EXPECT_EQ(english->keys[i].first, t.keys[i].first);
            for (const char* what : {"%s", "&", "\\n"}) EXPECT_EQ(count(en, what), count(text, what)) << t.keys[i].first;
        }
        SourceIniOptions options;
        options.translations = {t};
        EmbeddedIni e = makeEmbeddedIni(kSettings, options);
        EXPECT_TRUE(e.problems.empty()) << describe(e);
        // Every text reaches the installer, in its language's code page.
        const LanguageCodePages* language = languageCodePages(t.section);
        ASSERT_NE(nullptr, language);
        for (const auto& key : t.keys) {
            EXPECT_EQ(inCodePage(language->codePages[0], key.second), valueOf(e.bytes, t.section.c_str(), key.first.c_str()))
                << key.first;
        }
        std::string texts;
        for (const auto& k : t.keys) texts += k.second;
        if (t.section != "JP" && t.section != "KO" && t.section != "CH") {
            // Single-byte code pages: a '?' byte is only ever a '?' of the text.
            EXPECT_EQ(count(texts, "?"), count(e.bytes, "?")) << "no character became '?'";
        }
    }
    for (const char* wanted : {"FR", "DE", "ES", "IT", "NL", "PT", "PL", "CS", "HU", "RU", "UK", "EL", "TR", "SV",
                               "DA", "NO", "FI", "JP", "KO", "CH"}) {
        EXPECT_NE(sections.end(), std::find(sections.begin(), sections.end(), wanted)) << wanted;
    }
    EXPECT_FALSE(loadTranslations(SETUP_TRANSLATIONS_DIR, "DE,XX", all, error));
    EXPECT_NE(std::string::npos, error.find("[XX]"));
}

// check reads a UTF-8 INI as the build writes it and names the vendor's
// lines; keys the shipped texts supply are no longer reported missing.
TEST(SourceIniTest, CheckReportsTheSourceLinesAndNotTheSuppliedKeys) {
    ScratchFolder scratch("source-ini-test");
    fs::path root = scratch.path();
    ASSERT_FALSE(root.empty());
    std::vector<Translation> all;
    std::string error;
    ASSERT_TRUE(loadTranslations(SETUP_TRANSLATIONS_DIR, "all", all, error)) << error;
    const std::string ini = std::string(kSettings) +
                            "[EN]\nProgDesc=Notes\nDirDesc=Notes of %s\nExtDesc=%s note\nInstallNo=&No\n"
                            "[RU]\nProgDesc=Заметки\nInstallYes=Да ☃\n";
    writeText(root / "setup.ini", ini);
    writeText(root / "payload/Program/readme.txt", "x");
    for (bool withTexts : {false, true}) {
        SCOPED_TRACE(withTexts ? "with the shipped texts" : "without");
        CheckOptions options;
        if (withTexts) options.source.translations = all;
        std::vector<CheckFinding> findings;
        checkSetupInputs((root / "setup.ini").string(), (root / "payload").string(), options,
                         [&](const CheckFinding& f) { findings.push_back(f); });
        bool unrepresentable = false, missingEnglish = false, missingRussian = false, missingDirDesc = false;
        for (const CheckFinding& f : findings) {
            if (f.file != (root / "setup.ini").string()) continue;
            unrepresentable = unrepresentable || (f.line == 13 && f.message.find("U+2603") != std::string::npos);
            missingEnglish = missingEnglish || f.message.find("missing from [EN]") != std::string::npos;
            missingRussian = missingRussian || f.message.find("InstallNo is missing from [RU]") != std::string::npos;
            bool dirDesc = f.message.find("DirDesc is missing from [RU]") != std::string::npos;
            if (dirDesc) {
                EXPECT_EQ(11u, f.line) << "the header of the vendor's [RU]";
            }
            missingDirDesc = missingDirDesc || dirDesc;
            EXPECT_EQ(std::string::npos, f.message.find("[DE]")) << "a section only the build adds: " << f.message;
        }
        EXPECT_TRUE(unrepresentable) << [&] { std::string s; for (auto& f : findings) s += formatFinding(f) + "\n"; return s; }();
        EXPECT_EQ(!withTexts, missingEnglish);
        EXPECT_EQ(!withTexts, missingRussian);
        EXPECT_TRUE(missingDirDesc) << "product texts are never supplied";
    }
}

}  // namespace
