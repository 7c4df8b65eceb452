// libFuzzer target for the package reader: the input becomes a package file's
// content (served from memory), which goes through the validation scan and,
// when it passes, has all its blocks read back as the transfer would.

#include "update/Package.h"
#include "update/PackageFile.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string name = "/fuzz/input.pk1";
    update::PackageFile file;
    file.OpenBytes(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    try {
        const update::ScanResult scan = update::ScanOpenPackage(file, name);
        const auto block = std::make_unique<update::PackageBlock>();
        for (std::int32_t i = 0; i < scan.blockCount; ++i) {
            update::ReadBlock(file, name, *block);
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
