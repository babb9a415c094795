#include "config/SetupConfig.h"

#include "common/Format.h"
#include "common/InstallState.h"
#include "common/Scoped.h"
#include "deploy/FileOps.h"
#include "res/resource.h"

namespace {

// INI keys of the slots, in slot order: the order of reading and formatting.
const char* const kSlotKeys[kSlotCount] = {
    "ProgName", "ProgVersion", "ProgFile", "ProgDir", "ProgDesc", "DirDesc", "ExtDesc",
    "InstallDesc", "NewerInstalled", "InstallBaseDir", "InstallProgDir", "InstallChange",
    "InstallBrowse", "InstallCompleted", "InstallFailed", "FileCopyFailed", "NotDir",
    "DirCreateFailed", "InstallOk", "InstallCancel", "InstallYes", "InstallNo",
};

const char* const kFileTypeKeys[kFileTypeValueCount] = {"Type", "Extension", "Open", "Icon"};

const char kSettings[] = "Settings";
const char kFallbackLanguage[] = "EN";

// A temporary file that is deleted, read-only or not, when the object goes.
class TemporaryFile {
public:
    TemporaryFile() { path[0] = '\0'; }
    ~TemporaryFile() { if (path[0]) deleteFile(path); }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    char path[kPathSize];
};

// Creates the temporary INI file and writes the resource's bytes into it.
bool stageIniResource(TemporaryFile& ini) {
    char tempDir[kPathSize];
    DWORD length = GetTempPathA(sizeof tempDir, tempDir);
    if (length == 0 || length >= sizeof tempDir) return false;
    if (GetTempFileNameA(tempDir, "qrb", 0, ini.path) == 0) {
        ini.path[0] = '\0';
        return false;
    }

    HRSRC resource = FindResourceExA(nullptr, RT_RCDATA, MAKEINTRESOURCEA(IDR_SETUP_INI), 0);
    HGLOBAL loaded = resource ? LoadResource(nullptr, resource) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return false;
    DWORD size = SizeofResource(nullptr, resource);

    ScopedHandle file(CreateFileA(ini.path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.isValid()) return false;
    DWORD written = 0;
    return WriteFile(file.get(), bytes, size, &written, nullptr) && written == size;
}

void readFileTypeValues(const char* iniFile) {
    for (int i = 0; i < kFileTypeValueCount; ++i) installState.fileType[i][0] = '\0';
    char value[kTextSize];
    for (int i = 0; i < kFileTypeValueCount; ++i) {
        if (readIniString("FileType", kFileTypeKeys[i], installState.empty, value, sizeof value, iniFile) == 0) {
            return;
        }
        convertLineBreaks(value);
        copyText(installState.fileType[i], kTextSize, value);
    }
}

}  // namespace

// The section of the user's language, or of the language the installed
// program was told to use.
static void chooseLanguageSection(const char* iniFile, char (&language)[3]) {
    char abbreviation[10];
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SABBREVLANGNAME, abbreviation, sizeof abbreviation) &&
        abbreviation[0] && abbreviation[1]) {
        language[0] = abbreviation[0];
        language[1] = abbreviation[1];
        language[2] = '\0';
    } else {
        copyText(language, sizeof language, kFallbackLanguage);
    }

    // The settings file is ProgFile with ".ini", without a folder, so the
    // profile reader looks for it in the Windows folder.
    char work[kTextSize];
    if (readIniString(kSettings, "ProgFile", installState.empty, work, sizeof work, iniFile) == 0) return;
    if (!appendText(work, sizeof work, ".ini")) return;
    char settingsFile[kTextSize];
    copyText(settingsFile, sizeof settingsFile, work);
    if (readIniString("Screen", "Language", installState.empty, work, sizeof work, settingsFile) == 2) {
        copyText(language, sizeof language, work);
    }
}

void chooseLanguage(const char* iniFile, char (&language)[3]) {
    chooseLanguageSection(iniFile, language);
    // A section whose texts are bytes of another code page than the
    // system's would show as garbage: its users get the English texts.
    UINT codePage = readIniInt(language, "CodePage", 0, iniFile);
    if (codePage != 0 && codePage != GetACP()) copyText(language, sizeof language, kFallbackLanguage);
}

// Reads one key from the first section of the chain that has a value.
bool readChained(const char* key, const char* language, char* value, DWORD size, const char* iniFile) {
    const char* const chain[] = {language, kFallbackLanguage, kSettings};
    for (const char* section : chain) {
        if (readIniString(section, key, installState.empty, value, size, iniFile) != 0) return true;
    }
    return false;
}

void convertLineBreaks(char* text) {
    for (char* p = text; *p; ++p) {
        if (p[0] == '\\' && p[1] == 'n') {
            p[0] = '\r';
            p[1] = '\n';
            ++p;
        }
    }
}

bool readSetupConfiguration(HWND owner, const char* iniFile) {
    char language[3];
    chooseLanguage(iniFile, language);

    char value[kTextSize];
    for (int i = 0; i < kSlotCount; ++i) {
        if (!readChained(kSlotKeys[i], language, value, sizeof value, iniFile)) {
            MessageBoxA(owner, "Invalid Setup.Ini", "Setup", MB_OK);
            return false;
        }
        convertLineBreaks(value);
        // Every text is a format with the arguments ProgName, ProgVersion,
        // ProgName. ProgName and ProgVersion are the slots being written
        // while they are formatted themselves, so their own "%s" take the
        // empty text.
        const char* const args[] = {setupString(Slot::ProgName), setupString(Slot::ProgVersion),
                                    setupString(Slot::ProgName)};
        size_t argCount = i <= static_cast<int>(Slot::ProgVersion) ? 0 : 3;
        formatDataText(installState.strings.slot[i], kTextSize, value, args, argCount);
    }
    readFileTypeValues(iniFile);
    return true;
}

bool loadSetupConfiguration(HWND owner) {
    TemporaryFile ini;
    if (!stageIniResource(ini)) return false;
    return readSetupConfiguration(owner, ini.path);
}

DWORD readIniString(const char* section, const char* key, const char* defaultText,
                    char* buffer, DWORD size, const char* fileName) {
    if (size == 0) return 0;
    DWORD count = GetPrivateProfileStringA(section, key, defaultText, buffer, size, fileName);
    if (count >= size) {
        buffer[size - 1] = '\0';
        return size - 1;
    }
    return count;
}

UINT readIniInt(const char* section, const char* key, INT defaultValue, const char* fileName) {
    return GetPrivateProfileIntA(section, key, defaultValue, fileName);
}

void writeIniInt(const char* section, const char* key, int value, const char* fileName) {
    char text[kTextSize];
    formatText(text, sizeof text, "%i", value);
    WritePrivateProfileStringA(section, key, text, fileName);
}
