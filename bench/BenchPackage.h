#pragma once

#include <string>

namespace bench {

// Writes a package of `blocks` blocks of varied data in the .pk1 layout to
// `path` and returns the path; the transfer runs read it back like a user's file.
std::string WritePackage(const std::string& path, int blocks);

} // namespace bench
