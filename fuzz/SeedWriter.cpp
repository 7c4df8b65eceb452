// Writes the seed corpora of the fuzz targets:
//
//   fuzz_seeds <corpus-dir>
//
// fills <corpus-dir>/display_frame with answers of the simulated amplifier
// (good ones and each kind of fault), preceded by the control part that
// DisplayFrameFuzz.cpp expects, and <corpus-dir>/package with small packages.

#include "PackageBuilder.h"
#include "sim/DisplayFrameWriter.h"
#include "sim/SimAmplifier.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

void Write(const std::filesystem::path& path, const Bytes& bytes)
{
    pkgtest::WriteBytes(path.string(), bytes);
    std::printf("%s  %zu bytes\n", path.string().c_str(), bytes.size());
}

// The amplifier's answer to one query frame, with a fault injected first.
Bytes Answer(sim::FrameFault fault = sim::FrameFault::None)
{
    sim::SimAmplifier amp;
    if (fault != sim::FrameFault::None)
        amp.InjectFrameFault(fault);
    const std::uint8_t query[] = {0x55, 0x55, 0x55, 0x01, 0x80, 0x80};
    Bytes out;
    amp.Consume(query, sizeof query, out);
    return out;
}

// Control part: chunk sizes, and a driver call to fail (-1: none).
Bytes Control(const Bytes& chunks, int failCall = -1)
{
    Bytes out{static_cast<std::uint8_t>(((failCall + 1) << 4) | chunks.size())};
    out.insert(out.end(), chunks.begin(), chunks.end());
    return out;
}

Bytes Cat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

void DisplayFrames(const std::filesystem::path& dir)
{
    std::filesystem::create_directories(dir);
    const Bytes good = Answer();
    Write(dir / "full_frame", Cat(Control({}), good));
    Write(dir / "full_frame_in_pieces", Cat(Control({1, 2, 2, 1, 1, 100, 0}), good));
    Write(dir / "two_frames", Cat(Control({}), Cat(good, good)));
    Write(dir / "read_fails", Cat(Control({}, 3), good));

    Bytes lengthTwo;
    sim::AppendDisplayFrame(0x7F, {}, sim::FrameFault::None, lengthTwo);
    Write(dir / "length_two", Cat(Control({}), lengthTwo));

    Bytes largest;
    sim::AppendDisplayFrame(0xFE, Bytes(4096, 0xFF), sim::FrameFault::None, largest);
    Write(dir / "largest_payload", Cat(Control({}), largest));

    const struct {
        const char* name;
        sim::FrameFault fault;
    } faults[] = {
        {"garbage_before_header", sim::FrameFault::GarbageBeforeHeader},
        {"wrong_complement", sim::FrameFault::WrongComplement},
        {"wrong_type", sim::FrameFault::WrongType},
        {"bad_checksum", sim::FrameFault::BadChecksum},
        {"swapped_checksum", sim::FrameFault::SwappedChecksum},
        {"short_frame", sim::FrameFault::ShortFrame},
        {"header_only", sim::FrameFault::HeaderOnly},
        {"huge_length", sim::FrameFault::HugeLength},
    };
    for (const auto& f : faults)
        Write(dir / f.name, Cat(Control({}), Answer(f.fault)));
}

void Packages(const std::filesystem::path& dir)
{
    std::filesystem::create_directories(dir);
    Write(dir / "no_blocks", pkgtest::PackageBuilder().Bytes());
    Write(dir / "one_block", pkgtest::PackageBuilder().AddPatternBlock(0x40, 1).Bytes());
    const Bytes two = pkgtest::PackageBuilder().AddPatternBlock(0x40, 1).AddBlock(0x41, 0xFF).Bytes();
    Write(dir / "two_blocks", two);
    Write(dir / "truncated", Bytes(two.begin(), two.begin() + 6000));
    Write(dir / "wrong_magic", pkgtest::PackageBuilder().Magic(".PK2").AddBlock(0x40, 0x00).Bytes());
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus-dir>\n", argv[0]);
        return 2;
    }
    const std::filesystem::path top = argv[1];
    DisplayFrames(top / "display_frame");
    Packages(top / "package");
    return 0;
}
