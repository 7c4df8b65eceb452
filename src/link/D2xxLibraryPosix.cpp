#include "link/D2xxLibrary.h"

namespace d2xx {

std::string LibraryName()
{
#if defined(__APPLE__)
    return "libftd2xx.dylib";
#else
    return "libftd2xx.so"; // on the library path (LD_LIBRARY_PATH applies)
#endif
}

std::string InstallHint()
{
    return {};
}

} // namespace d2xx
