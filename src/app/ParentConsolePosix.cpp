#include "app/ParentConsole.h"

namespace app {

void UseParentConsole() {} // standard output and error are always there

} // namespace app
