#include "app/ParentConsole.h"

#include <cstdio>

#include <windows.h>

namespace app {

namespace {

// A handle that leads somewhere: a file, a pipe or a console given by the
// starting program.
bool Leads(DWORD which)
{
    const HANDLE handle = GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

} // namespace

void UseParentConsole()
{
    const bool out = Leads(STD_OUTPUT_HANDLE);
    const bool err = Leads(STD_ERROR_HANDLE);
    if ((out && err) || !AttachConsole(ATTACH_PARENT_PROCESS)) {
        return;
    }
    if (!out) {
        (void)std::freopen("CONOUT$", "w", stdout);
    }
    if (!err) {
        (void)std::freopen("CONOUT$", "w", stderr);
    }
}

} // namespace app
