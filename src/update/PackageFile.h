#pragma once
// A package file opened read-only in binary mode. The update job's caller
// holds one of these so that its cleanup can close the file whatever the job's
// outcome; closing an unopened or already closed file does nothing.

#include <QByteArray>
#include <QIODevice>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace update {

class PackageFile {
public:
    PackageFile() = default;
    ~PackageFile() { Close(); }
    PackageFile(const PackageFile&) = delete;
    PackageFile& operator=(const PackageFile&) = delete;

    // Opens the named file for binary reading; false when it cannot be opened.
    // A file that is still open is closed first.
    bool Open(const std::string& path);
    // Serves the given bytes as the file's content instead of a file on disk
    // (the package fuzzer reads millions of packages this way).
    void OpenBytes(const QByteArray& bytes);
    void Close();
    bool IsOpen() const { return device_ && device_->isOpen(); }

    // One read of `size` bytes; true only when all of them came.
    bool ReadExactly(void* into, std::size_t size);

    std::int64_t Position() const { return device_ ? device_->pos() : 0; }
    bool Seek(std::int64_t position) { return device_ && device_->seek(position); }

private:
    std::unique_ptr<QIODevice> device_;
};

} // namespace update
