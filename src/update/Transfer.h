#pragma once
// The transfer engine of the firmware update job: it validates a package and
// uploads it block by block over the USB handle, with the start handshake, an
// ACK for every block header and a checksum echo for every block's data.
//
// Runs on the update job's worker thread. Run() returns after the
// update-complete frame went out; every failure leaves it as an exception:
//   Upd_Exception - a package error or a step the amplifier did not
//                   acknowledge or echo (report kStatusFailed, show the box,
//                   send the resume code);
//   FT_Exception  - a failed driver call (report kStatusInterrupted, show
//                   the box, no resume code).
// The caller owns the package file and closes it in its cleanup in every case.

#include "link/FtdiDriver.h"
#include "update/Package.h"

#include <cstdint>
#include <functional>
#include <string>

namespace update {

// Status texts, one or two full 40-character rows of the mirrored display.
inline constexpr char kStatusValidating[] = "    PACKAGE VALIDATION IN PROGRESS...   ";
inline constexpr char kStatusStarting[] = "       STARTING FIRMWARE UPDATE...      ";
inline constexpr char kStatusUpdated[] = "    FIRMWARE SUCCESSFULLY UPDATED...    ";
inline constexpr char kStatusFailed[] = "             PROCESS FAILED.            \n"
                                        "       FIRMWARE UPDATE ABORTED...       ";
inline constexpr char kStatusInterrupted[] = "          PROCESS INTERRUPTED.          \n"
                                             "       FIRMWARE UPDATE ABORTED...       ";

// "    FIRMWARE UPDATE IN PROGRESS:%3d%%    "
std::string ProgressText(int percent);

// Attempt counts of the handshakes.
constexpr int kStartAttempts = 10;
constexpr int kBlockAttempts = 3;

class UpdateTransfer {
public:
    using ReportFn = std::function<void(const std::string&)>;

    // `file` is held by the caller; Run() opens it during the validation scan.
    UpdateTransfer(FtdiDriver& driver, FT_HANDLE handle, PackageFile& file, std::string fileName, ReportFn report);

    // The job from the validation report up to the update-complete frame.
    void Run();

    // Reads the six-byte ACK frame; true when exactly 55 55 55 01 06 06 came.
    bool ReadAck();
    // Reads a nine-byte checksum reply; true when its bytes 4..7 (little-endian)
    // equal `expected`. The other five bytes are not looked at.
    bool ReadChecksumReply(std::uint32_t expected);
    // Reads and discards 512-byte chunks until a read delivers nothing.
    void DrainInput();

    const ScanResult& Scan() const { return scan_; }

private:
    // Repeated reads until `size` bytes came or a read delivers none; returns the count.
    DWORD ReadUpTo(std::uint8_t* into, DWORD size, int location);
    void Write(const void* bytes, DWORD size, int location);
    void Fail(bool failed) { PackageCheck(failed, kConsistencyError, fileName_); }

    void StartHandshake();
    void SendBlock(const PackageBlock& block);
    bool SendHeader(const PackageBlock& block);
    bool SendData(const PackageBlock& block);
    void Finish();

    FtdiDriver& driver_;
    FT_HANDLE handle_;
    PackageFile& file_;
    std::string fileName_;
    ReportFn report_;
    ScanResult scan_;
};

} // namespace update
