#include "update/PackageFile.h"

#include <QFileInfo>

namespace update {

bool PackageFile::Open(const std::string& path)
{
    Close();
    const QString name = QString::fromStdString(path);
    // A directory is not a package; QFile would open some of them.
    if (QFileInfo(name).isDir())
        return false;
    file_.setFileName(name);
    return file_.open(QIODevice::ReadOnly);
}

void PackageFile::Close()
{
    if (file_.isOpen())
        file_.close();
}

bool PackageFile::ReadExactly(void* into, std::size_t size)
{
    const qint64 wanted = static_cast<qint64>(size);
    return file_.read(static_cast<char*>(into), wanted) == wanted;
}

} // namespace update
