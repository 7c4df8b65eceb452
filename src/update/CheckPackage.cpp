#include "update/CheckPackage.h"

#include "update/Package.h"

#include <QDir>
#include <QString>

#include <ostream>

int CheckPackageCommand(const std::string& path, std::ostream& out, std::ostream& err)
{
    update::PackageFile file;
    try {
        // The verdict the update would give, so that a package this calls
        // valid is one the update takes.
        const update::ScanResult scan = update::ScanPackageForUpdate(file, path);
        out << "Package valid: " << QDir::toNativeSeparators(QString::fromStdString(path)).toStdString() << "\n"
            << "  blocks: " << scan.blockCount << "\n"
            << "  package total: " << scan.total << "\n";
        return 0;
    } catch (const Upd_Exception& e) {
        err << e.Message() << "\n";
        return 1;
    }
}
