#pragma once
// The program's icon, drawn rather than loaded: the amplifier's front panel
// with its display window and two knobs.

#include <QIcon>
#include <QPixmap>

namespace app {

// The icon drawn at `size` x `size` pixels.
QPixmap ProgramIconPixmap(int size);

// The icon at the usual sizes, for the windows and the About box.
QIcon ProgramIcon();

} // namespace app
