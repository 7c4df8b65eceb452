#include "display/FrameDrawing.h"

#include "display/Raster.h"

namespace display {

void DrawDisplayFrame(Raster& raster, const std::uint8_t* rx)
{
    const std::uint8_t* attributes = rx + Raster::kColumns * Raster::kRows;
    for (int r = 0; r < Raster::kRows; ++r) {
        for (int c = 0; c < Raster::kColumns; ++c) {
            int attribute = (1 << r) & attributes[c];
            // Bit 7 is the bottom row's inverse bit. As an attribute value 128
            // would mean the text offset, so it is passed on as plain inverse.
            if (attribute >= Raster::kTextAttribute) {
                attribute = 1;
            }
            raster.DrawCell(c, r, attribute, rx[Raster::kColumns * r + c]);
        }
    }
}

} // namespace display
