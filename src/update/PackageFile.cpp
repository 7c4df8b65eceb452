#include "update/PackageFile.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>

namespace update {

bool PackageFile::Open(const std::string& path)
{
    Close();
    const QString name = QString::fromStdString(path);
    // A directory is not a package; QFile would open some of them.
    if (QFileInfo(name).isDir())
        return false;
    auto file = std::make_unique<QFile>(name);
    if (!file->open(QIODevice::ReadOnly))
        return false;
    device_ = std::move(file);
    return true;
}

void PackageFile::OpenBytes(const QByteArray& bytes)
{
    Close();
    auto buffer = std::make_unique<QBuffer>();
    buffer->setData(bytes);
    buffer->open(QIODevice::ReadOnly);
    device_ = std::move(buffer);
}

void PackageFile::Close()
{
    if (device_)
        device_->close();
    device_.reset();
}

bool PackageFile::ReadExactly(void* into, std::size_t size)
{
    const qint64 wanted = static_cast<qint64>(size);
    return device_ && device_->read(static_cast<char*>(into), wanted) == wanted;
}

} // namespace update
