#pragma once
// --check-package FILE: runs the package validation scan without a window or
// an amplifier. On success prints the block count and the package total and
// returns 0; on a package error prints its message and returns 1.

#include <iosfwd>
#include <string>

int CheckPackageCommand(const std::string& path, std::ostream& out, std::ostream& err);
