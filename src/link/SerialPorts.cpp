#include "link/SerialPorts.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace serial {

namespace {

// First line of a sysfs attribute, without trailing white space; empty when
// the attribute is missing.
std::string ReadAttribute(const fs::path& path)
{
    std::ifstream in(path);
    std::string line;
    if (!in || !std::getline(in, line))
        return {};
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
        line.pop_back();
    return line;
}

unsigned ParseHex(const std::string& text)
{
    return static_cast<unsigned>(std::strtoul(text.c_str(), nullptr, 16));
}

bool IsInside(const fs::path& dir, const fs::path& root)
{
    const std::string d = dir.string();
    const std::string r = root.string();
    return d.size() > r.size() && d.compare(0, r.size(), r) == 0 && d[r.size()] == '/';
}

// The USB device a tty hangs off: the nearest directory above the tty's
// device directory that carries idVendor (the interface and the usb-serial
// port directories in between do not). Empty when there is none.
fs::path UsbDeviceOf(const fs::path& ttyEntry, const fs::path& root)
{
    std::error_code ec;
    fs::path dir = fs::canonical(ttyEntry / "device", ec);
    if (ec)
        return {};
    while (IsInside(dir, root)) {
        if (fs::exists(dir / "idVendor", ec))
            return dir;
        dir = dir.parent_path();
    }
    return {};
}

std::size_t DigitRunEnd(const std::string& s, std::size_t i)
{
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])))
        ++i;
    return i;
}

// <0, 0, >0 as a is before, equal to or after b in natural order.
int NaturalCompare(const std::string& a, const std::string& b)
{
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const bool da = std::isdigit(static_cast<unsigned char>(a[i]));
        const bool db = std::isdigit(static_cast<unsigned char>(b[j]));
        if (da && db) {
            const std::size_t ei = DigitRunEnd(a, i), ej = DigitRunEnd(b, j);
            std::size_t si = i, sj = j;
            while (si + 1 < ei && a[si] == '0')
                ++si;
            while (sj + 1 < ej && b[sj] == '0')
                ++sj;
            if (ei - si != ej - sj)
                return ei - si < ej - sj ? -1 : 1;
            if (const int c = a.compare(si, ei - si, b, sj, ej - sj); c != 0)
                return c;
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j])
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]) ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    return 0;
}

} // namespace

bool NaturalLess(const std::string& a, const std::string& b)
{
    const int c = NaturalCompare(a, b);
    return c != 0 ? c < 0 : a < b; // "ttyUSB01" and "ttyUSB1" still have an order
}

int LatencyTimerOf(const std::string& device, const std::string& sysRoot)
{
    std::error_code ec;
    fs::path tty = fs::canonical(device, ec); // /dev/serial/by-id/... names a link to the tty
    if (ec)
        tty = device;
    const std::string value =
        ReadAttribute(fs::path(sysRoot) / "class" / "tty" / tty.filename() / "device" / "latency_timer");
    if (value.empty() || !std::all_of(value.begin(), value.end(), [](unsigned char c) { return std::isdigit(c); }))
        return -1;
    return std::atoi(value.c_str());
}

std::vector<SerialPortInfo> ScanFtdiPorts(const std::string& sysRoot, const std::string& devRoot)
{
    std::vector<std::pair<std::string, SerialPortInfo>> found;
    std::error_code ec;
    const fs::path root = fs::canonical(sysRoot, ec);
    if (ec)
        return {};
    const fs::path classDir = root / "class" / "tty";
    for (auto it = fs::directory_iterator(classDir, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const fs::path usb = UsbDeviceOf(it->path(), root);
        if (usb.empty())
            continue;
        SerialPortInfo info;
        info.vendorId = ParseHex(ReadAttribute(usb / "idVendor"));
        if (info.vendorId != kFtdiVendorId)
            continue;
        info.productId = ParseHex(ReadAttribute(usb / "idProduct"));
        info.serial = ReadAttribute(usb / "serial");
        info.description = ReadAttribute(usb / "product");
        info.device = (fs::path(devRoot) / name).string();
        found.emplace_back(name, std::move(info));
    }
    std::sort(found.begin(), found.end(), [](const auto& x, const auto& y) { return NaturalLess(x.first, y.first); });

    std::vector<SerialPortInfo> ports;
    ports.reserve(found.size());
    for (auto& entry : found)
        ports.push_back(std::move(entry.second));
    return ports;
}

} // namespace serial
