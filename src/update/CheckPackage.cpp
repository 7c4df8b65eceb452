#include "update/CheckPackage.h"

#include "update/Package.h"

#include <ostream>

int CheckPackageCommand(const std::string& path, std::ostream& out, std::ostream& err)
{
    update::PackageFile file;
    try {
        const update::ScanResult scan = update::ScanPackage(file, path);
        out << "Package valid: " << path << "\n"
            << "  blocks: " << scan.blockCount << "\n"
            << "  package total: " << scan.total << "\n";
        return 0;
    } catch (const Upd_Exception& e) {
        err << e.Message() << "\n";
        return 1;
    }
}
