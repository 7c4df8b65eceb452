#pragma once
// Reads the X window dump that `xwd` writes: a header of 32-bit big-endian
// fields, the window name, a colour map and then the pixels, row by row, in
// the byte order and with the channel masks the header names. Only the
// true-colour layouts of 24 and 32 bits per pixel that X servers use for a
// 24-bit screen are read.

#include <QByteArray>
#include <QImage>

#include <string>

// The dump as an RGB32 image; a null image with `error` set when the data is
// not a dump of a kind this reads.
QImage ReadXwd(const QByteArray& data, std::string& error);
