// big-installer: an installer from the stub, a payload archive and a setup
// INI, with no limit on its size, for measuring how large an image still
// loads and shows its windows (bench/big-payload.sh). setup-pack build
// refuses images above its limit; this tool exists to look past it.
//
//   big-installer STUB SETUP_INI ARCHIVE OUTPUT [--no-large-address-aware]
//
// Prints the image size (the address space the loader reserves) in bytes.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "PeImage.h"

namespace {

bool readAll(const std::string& path, ByteVector& bytes) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) return false;
    bytes.clear();
    unsigned char chunk[1 << 16];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
    return !std::ferror(file.get());
}

ResourceLeaf dataLeaf(uint16_t id, std::shared_ptr<const ByteVector> data) {
    ResourceLeaf leaf;
    leaf.type = ResourceName::number(kResourceRcData);
    leaf.name = ResourceName::number(id);
    leaf.language = kLanguageNeutral;
    leaf.data = std::move(data);
    return leaf;
}

int fail(const std::string& what) {
    std::fprintf(stderr, "big-installer: %s\n", what.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5 && !(argc == 6 && std::strcmp(argv[5], "--no-large-address-aware") == 0)) {
        return fail("usage: big-installer STUB SETUP_INI ARCHIVE OUTPUT [--no-large-address-aware]");
    }
    std::string error;
    PeImage image;
    if (!image.load(argv[1], error)) return fail(std::string(argv[1]) + ": " + error);
    auto ini = std::make_shared<ByteVector>();
    auto archive = std::make_shared<ByteVector>();
    if (!readAll(argv[2], *ini)) return fail(std::string("cannot read ") + argv[2]);
    if (!readAll(argv[3], *archive)) return fail(std::string("cannot read ") + argv[3]);
    image.setResource(dataLeaf(129, archive));
    image.setResource(dataLeaf(130, ini));
    if (argc == 6) image.setCharacteristics(static_cast<uint16_t>(image.characteristics() & ~kLargeAddressAware));
    PeOutput output;
    bool changed = false;
    if (!image.layout(output, error) || !output.writeIfChanged(argv[4], changed, error)) return fail(error);
    std::printf("%u\n", output.sizeOfImage);
    return 0;
}
