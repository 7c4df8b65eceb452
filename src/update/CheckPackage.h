#pragma once
// --check-package FILE: runs the package validation scan without a window or
// an amplifier, with the update's own refusal of a package without blocks. On
// success prints the block count and the package total and returns 0; on a
// package error prints the message the update would show and returns 1.

#include <iosfwd>
#include <string>

int CheckPackageCommand(const std::string& path, std::ostream& out, std::ostream& err);
