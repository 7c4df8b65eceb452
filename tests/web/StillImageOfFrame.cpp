// The desktop's still image of a display frame: reads a frame as the station
// publishes it on standard input, draws it into the window's raster with the
// on-line colours and writes the .bmp file the window would save.
#include "Mainform.h"
#include "display/FrameDrawing.h"
#include "display/Raster.h"
#include "display/StillImage.h"

#include <cstdio>
#include <iostream>
#include <iterator>
#include <vector>

int main()
{
    const std::vector<unsigned char> frame{std::istreambuf_iterator<char>(std::cin), {}};
    constexpr std::size_t kPayloadAt = 9; // AA AA AA, length, complement, type, lamp byte
    if (frame.size() < kPayloadAt + 360)
        return 1;
    display::Raster raster;
    raster.SetColours(TForm1::kOnlineBackground, TForm1::kForeground);
    raster.Clear();
    display::DrawDisplayFrame(raster, frame.data() + kPayloadAt);
    const std::vector<std::uint8_t> bmp = display::EncodeStillImage(raster);
    return std::fwrite(bmp.data(), 1, bmp.size(), stdout) == bmp.size() ? 0 : 1;
}
