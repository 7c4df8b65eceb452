#include "BenchPackage.h"

#include "update/Package.h"

#include <cstdint>
#include <fstream>
#include <vector>

namespace bench {

std::string WritePackage(const std::string& path, int blocks)
{
    std::vector<std::uint8_t> bytes = {'.', 'P', 'K', '1', 0x01};
    auto le32 = [&bytes](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    std::uint32_t total = 0;
    for (int b = 0; b < blocks; ++b) {
        bytes.push_back(static_cast<std::uint8_t>(b));
        std::uint32_t sum = 0;
        for (std::size_t i = 0; i < update::kBlockSize; ++i) {
            const auto v = static_cast<std::uint8_t>(i * 31 + static_cast<std::size_t>(b) * 17 + (i >> 8));
            bytes.push_back(v);
            sum += v;
        }
        le32(sum);
        total += sum;
    }
    bytes.push_back(update::kTerminatorTag);
    le32(total);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

} // namespace bench
