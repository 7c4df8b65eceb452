// libFuzzer target for the package reader: the input becomes a package file,
// which goes through the validation scan and, when it passes, has all its
// blocks read back as the transfer would.

#include "update/Package.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

std::string TempPath()
{
    static const std::string path = "/tmp/vorlinq-pkgfuzz-" + std::to_string(::getpid()) + ".pk1";
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = TempPath();
    if (std::FILE* out = std::fopen(path.c_str(), "wb")) {
        if (size > 0)
            std::fwrite(data, 1, size, out);
        std::fclose(out);
    } else {
        return 0;
    }

    update::PackageFile file;
    try {
        const update::ScanResult scan = update::ScanPackage(file, path);
        const auto block = std::make_unique<update::PackageBlock>();
        for (std::int32_t i = 0; i < scan.blockCount; ++i) {
            update::ReadBlock(file, path, *block);
            if (update::BlockSum(block->data.data()) != block->checksum)
                __builtin_trap(); // the scan let a bad block through
        }
        std::uint8_t tag = 0;
        if (!file.ReadExactly(&tag, 1) || tag != update::kTerminatorTag)
            __builtin_trap(); // the blocks read back are not the ones scanned
    } catch (const Upd_Exception&) {
    }
    return 0;
}
