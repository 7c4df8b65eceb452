#pragma once
// Firmware package (.pk1) reading: the package errors, the validation scan
// and the block reader.
//
// Layout (numbers are 32-bit little-endian): ".PK1" and one head byte; block
// records of tag (0x00..0xFE), 4096 data bytes and the byte sum of the data;
// the terminator record 0xFF followed by the sum of all block sums (mod 2^32).
// Anything after the terminator is never read.

#include "toolkit/Exception.h"
#include "update/PackageFile.h"

#include <array>
#include <cstdint>
#include <string>

// A package file failure, or an update step that the amplifier did not
// acknowledge or echo correctly. The message is the kind text followed by
// the package file name.
class Upd_Exception : public Exception {
public:
    using Exception::Exception;
};

namespace update {

// Kinds of package error; any other value is the general error.
enum PackageErrorKind : int {
    kOpenError = 0,
    kReadError = 1,
    kAuthenticationError = 2,
    kConsistencyError = 3,
    kGeneralError = 4,
};

// The text of a kind, ending in ":\n  " so that the file name follows indented
// on its own line.
const char* PackageErrorText(int kind);

// Package check: does nothing when `failed` is false, otherwise raises
// Upd_Exception with the text of `kind` followed by `fileName`.
void PackageCheck(bool failed, int kind, const std::string& fileName);

constexpr std::int64_t kDataStart = 5;
constexpr std::size_t kBlockSize = 4096;
constexpr std::uint8_t kTerminatorTag = 0xFF;

struct PackageBlock {
    std::uint8_t tag = 0;
    std::array<std::uint8_t, kBlockSize> data{};
    std::uint32_t checksum = 0; // as stored in the file
};

struct ScanResult {
    std::int32_t blockCount = 0;
    std::uint32_t total = 0; // the package total as stored in the terminator
};

// The byte sum of one block's data.
std::uint32_t BlockSum(const std::uint8_t* data, std::size_t size = kBlockSize);

// Opens `fileName` into `file` and checks the whole package. On success the
// file stays open at the data start. On failure raises Upd_Exception; the file
// may be left open, and the caller closes it.
ScanResult ScanPackage(PackageFile& file, const std::string& fileName);
// The same scan over a file that is already open at its start.
ScanResult ScanOpenPackage(PackageFile& file, const std::string& fileName);
// The scan, and then the update's own verdict on what passed it: a package
// without blocks has nothing to transfer and is refused with the consistency
// error. The update and --check-package both judge a file by this.
ScanResult ScanPackageForUpdate(PackageFile& file, const std::string& fileName);

// Reads the next block record of a scanned file (tag, data, checksum) without
// checking it again; a short read raises the read error.
void ReadBlock(PackageFile& file, const std::string& fileName, PackageBlock& block);

} // namespace update
