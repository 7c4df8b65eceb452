#pragma once
// A package file opened read-only in binary mode. The update job's caller
// holds one of these so that its cleanup can close the file whatever the job's
// outcome; closing an unopened or already closed file does nothing.

#include <QFile>

#include <cstddef>
#include <cstdint>
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
    void Close();
    bool IsOpen() const { return file_.isOpen(); }

    // One read of `size` bytes; true only when all of them came.
    bool ReadExactly(void* into, std::size_t size);

    std::int64_t Position() const { return file_.pos(); }
    bool Seek(std::int64_t position) { return file_.seek(position); }

private:
    QFile file_;
};

} // namespace update
