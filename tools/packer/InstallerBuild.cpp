// setup-pack build, and reading built installers. See InstallerBuild.h.
#include "InstallerBuild.h"

#include <errno.h>
#include <limits.h>
#include <unistd.h>

#include <cstring>
#include <memory>

#include "ArchiveReport.h"
#include "ImageRules.h"
#include "InstallerResources.h"
#include "LauncherBuild.h"
#include "PackTree.h"
#include "PeImage.h"
#include "SetupCheck.h"
#include "ShippedFiles.h"

namespace {

bool readWholeFile(const std::string& path, ByteVector& bytes, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        error = "cannot open: " + std::string(std::strerror(errno));
        return false;
    }
    bytes.clear();
    uint8_t buffer[1 << 16];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) error = "cannot read";
    return !failed;
}

std::string programPath() {
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof path) return "";
    return std::string(path, static_cast<size_t>(length));
}

bool exists(const std::string& path) { return access(path.c_str(), R_OK) == 0; }

std::string mebibytes(uint64_t bytes) { return std::to_string((bytes + (1 << 20) - 1) >> 20) + " MiB"; }

ResourceLeaf neutralLeaf(uint16_t type, uint16_t name, std::shared_ptr<const ByteVector> data) {
    return {ResourceName::number(type), ResourceName::number(name), kLanguageNeutral, 0, std::move(data)};
}

// Reports `what` as "path: error: what" and fails.
int fail(std::FILE* err, const std::string& path, const std::string& what) {
    std::fprintf(err, "%s: error: %s\n", path.c_str(), what.c_str());
    return 1;
}

// Checks the image in `path` against the loader's rules; each fault is
// reported as "path: error: fault; consequence". True when there is none.
bool followsLoaderRules(std::FILE* err, const std::string& path, const char* consequence) {
    ImageReport report;
    std::string error;
    if (!checkImageRulesFile(path, report, error)) {
        fail(err, path, error);
        return false;
    }
    for (const std::string& fault : report.faults) fail(err, path, fault + "; " + consequence);
    return report.faults.empty();
}

// The version block naming the program: ProductName and FileDescription
// from ProgName, the versions from ProgVersion, CompanyName from --company.
bool buildVersion(const BuildInputs& in, const std::u16string& company, ByteVector& block, std::FILE* err) {
    const IniValue& name = in.facts.progName;
    const IniValue& version = in.facts.progVersion;
    uint64_t numbers = 0;
    std::string reason;
    if (!fixedVersionFromText(version.text, numbers, reason)) {
        std::fprintf(err, "%s:%u: error: ProgVersion \"%s\" %s\n", in.iniPath.c_str(), version.line,
                     version.text.c_str(), reason.c_str());
        return false;
    }
    VersionTexts texts;
    texts.productName = utf16FromWindows1252(name.text);
    texts.productVersion = utf16FromWindows1252(version.text);
    texts.fileDescription = utf16FromWindows1252(name.text + " Setup");
    texts.companyName = company;
    if (buildVersionBlock(texts, numbers, block, reason)) return true;
    if (company.empty()) {
        std::fprintf(err, "%s:%u: error: ProgName: %s; shorten ProgName\n", in.iniPath.c_str(), name.line, reason.c_str());
    } else {
        fail(err, "--company", reason + "; shorten the company name");
    }
    return false;
}

}  // namespace

bool runPreBuildChecks(const BuildInputs& in, std::FILE* err) {
    bool ok = true;
    auto require = [&](const IniValue& value, const char* key, const char* use) {
        if (!value.text.empty()) return;
        if (value.line == 0) {
            std::fprintf(err, "%s:1: error: [Settings] has no %s; %s\n", in.iniPath.c_str(), key, use);
        } else {
            std::fprintf(err, "%s:%u: error: %s is empty; %s\n", in.iniPath.c_str(), value.line, key, use);
        }
        ok = false;
    };
    require(in.facts.progName, "ProgName", "the installer names the program, its folders and its entries with it");
    require(in.facts.progVersion, "ProgVersion", "the installer compares it with an installed version");
    if (!ok) return false;
    // Then the checks of setup-pack check, with the same findings; notes
    // (what will be registered) are left to that command.
    CheckOptions options;
    options.source = in.source;
    options.noWarn = in.noWarn;
    CheckSummary summary = checkSetupInputs(in.iniPath, in.payloadPath, options, [err](const CheckFinding& f) {
        if (f.severity != CheckFinding::Severity::Note) std::fprintf(err, "%s\n", formatFinding(f).c_str());
    });
    return summary.errors == 0;
}

std::vector<std::string> stubCandidates(const std::string& program) {
    // The cross build's host tools, and a native build beside it.
    return shippedFileCandidates(program, "setup-stub.exe", {"..", "../win32"});
}

int buildInstaller(const BuildOptions& options, std::FILE* out, std::FILE* err) {
    std::string error;
    BuildInputs inputs;
    inputs.iniPath = options.ini;
    inputs.payloadPath = options.payload;
    inputs.source = options.source;
    inputs.noWarn = options.noWarn;
    if (!readWholeFile(options.ini, inputs.ini, error)) return fail(err, options.ini, error);
    // The installer reads the INI in its own form (SourceIni.h); the checks
    // read the vendor's file and report its lines.
    EmbeddedIni embedded = makeEmbeddedIni(std::string(inputs.ini.begin(), inputs.ini.end()), options.source);
    inputs.ini.assign(embedded.bytes.begin(), embedded.bytes.end());
    inputs.facts = readIniFacts(inputs.ini.data(), inputs.ini.size());
    if (!runPreBuildChecks(inputs, err)) return 1;

    std::string stub = options.stub;
    if (stub.empty()) {
        std::vector<std::string> candidates = stubCandidates(programPath());
        for (const std::string& candidate : candidates) {
            if (exists(candidate)) {
                stub = candidate;
                break;
            }
        }
        if (stub.empty()) return fail(err, candidates.back(), "no installer stub found here nor beside setup-pack; give one with --stub");
    }
    PeImage image;
    if (!image.load(stub, error)) return fail(err, stub, error);
    // The stub is the 32-bit installer; the 64-bit build of the same sources
    // (made to run the tests under 64-bit Wine) is accepted as well.
    if (image.kind() == PeKind::NotPe || image.subsystem() != kSubsystemGui) {
        return fail(err, stub, "not a Windows GUI program, so not an installer stub");
    }
    if (!followsLoaderRules(err, stub, "every installer built from this stub would have the same fault")) return 1;

    std::u16string company;
    if (!utf16FromUtf8(options.company, company)) return fail(err, "--company", "the text is not valid UTF-8");
    auto versionBlock = std::make_shared<ByteVector>();
    if (!buildVersion(inputs, company, *versionBlock, err)) return 1;
    ByteVector icon;
    if (!options.icon.empty()) {
        if (!readWholeFile(options.icon, icon, error)) return fail(err, options.icon, error);
        if (!replaceIconGroup(image, kIconGroupResource, icon, error)) return fail(err, options.icon, error);
    }

    PackOptions pack;
    pack.jobs = options.jobs;
    pack.setupIni = options.ini;  // the Program tree gets the uninstall manifest
    pack.setupIniText = &embedded.bytes;
    if (!readSourceDateEpoch(pack, error)) return fail(err, "SOURCE_DATE_EPOCH", error);
    if (options.launcher &&
        !addLauncher(options.launcherFile, programPath(), options.payload, inputs.facts, pack, err)) {
        return 1;
    }
    auto archive = std::make_shared<ByteVector>();
    if (!packPayload(options.payload, pack, *archive, error)) {
        std::fprintf(err, "%s: error: %s\n", options.payload.c_str(), error.c_str());
        return 1;
    }


    image.removeResource(ResourceName::number(kResourceRcData), ResourceName::number(kPayloadResource));
    image.removeResource(ResourceName::number(kResourceRcData), ResourceName::number(kSetupIniResource));
    image.removeResource(ResourceName::number(kResourceVersion), ResourceName::number(kVersionResource));
    image.setResource(neutralLeaf(kResourceRcData, kPayloadResource, archive));
    image.setResource(neutralLeaf(kResourceRcData, kSetupIniResource, std::make_shared<const ByteVector>(inputs.ini)));
    image.setResource(neutralLeaf(kResourceVersion, kVersionResource, versionBlock));

    PeOutput output;
    if (!image.layout(output, error)) return fail(err, stub, error);
    if (output.sizeOfImage > kImageLimit) {
        return fail(err, options.payload,
                    "the installer would need " + mebibytes(output.sizeOfImage) +
                        " of address space, more than its limit of " + mebibytes(kImageLimit) +
                        ": a 32-bit installer maps its whole image at once, and from about 1,970 MiB its "
                        "windows and messages can no longer be shown (from 2,000 MiB it does not start); "
                        "make the payload smaller");
    }
    bool changed = false;
    if (!output.writeIfChanged(options.output, changed, error)) return fail(err, options.output, error);
    // What was written is read back as the loader reads it: a fault here is
    // one of this program, and the installer is not left behind.
    if (!followsLoaderRules(err, options.output, "setup-pack wrote a faulty installer, which was removed")) {
        std::remove(options.output.c_str());
        return 1;
    }
    std::fprintf(out, "%s: %llu bytes, %s\n", options.output.c_str(), static_cast<unsigned long long>(output.fileSize),
                 changed ? "written" : "unchanged");
    return 0;
}

bool readPayloadSource(const std::string& path, std::vector<uint8_t>& archive, std::string& about,
                       std::string& error) {
    about.clear();
    if (!readArchiveFile(path, archive, error)) return false;
    if (archive.size() < 2 || archive[0] != 'M' || archive[1] != 'Z') return true;
    PeImage image;
    if (!image.parse(std::make_shared<const ByteVector>(std::move(archive)), error)) {
        error = path + ": " + error;
        return false;
    }
    archive.clear();
    const ResourceName rcdata = ResourceName::number(kResourceRcData);
    const ResourceLeaf* payload = image.find(rcdata, ResourceName::number(kPayloadResource));
    if (!payload) {
        error = path + ": an executable without a payload (no resource 129)";
        return false;
    }
    archive = *payload->data;
    const ResourceLeaf* ini = image.find(rcdata, ResourceName::number(kSetupIniResource));
    if (!ini) {
        about = "setup INI: none (no resource 130)\n";
        return true;
    }
    IniFacts facts = readIniFacts(ini->data->data(), ini->data->size());
    std::string languages;
    for (const std::string& language : facts.languages) languages += (languages.empty() ? "" : " ") + language;
    about = "ProgName: " + utf8FromWindows1252(facts.progName.text) + "\n" +
            "ProgVersion: " + utf8FromWindows1252(facts.progVersion.text) + "\n" +
            "ProgDir: " + utf8FromWindows1252(facts.progDir.text) + "\n" +
            "Languages: " + utf8FromWindows1252(languages) + "\n";
    return true;
}
