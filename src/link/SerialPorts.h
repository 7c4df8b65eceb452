#pragma once
// Finding the amplifier's USB-serial chip among the machine's serial ports.
//
// On Linux the kernel's FTDI serial driver makes each chip a tty
// (/dev/ttyUSB0 ...); sysfs tells which tty belongs to which USB device and
// that device's vendor and serial number. The serial backend takes its device
// list from a PortLister, so that tests can hand it pseudo-terminals instead.

#include <functional>
#include <string>
#include <vector>

namespace serial {

// USB vendor number of FTDI chips.
constexpr unsigned kFtdiVendorId = 0x0403;

struct SerialPortInfo {
    std::string device;      // path of the tty, e.g. "/dev/ttyUSB0"
    std::string serial;      // USB serial number of the chip, empty when it has none
    std::string description; // USB product string, e.g. "FT232R USB UART"
    unsigned vendorId = 0;
    unsigned productId = 0;
};

// Produces the current device list, in the order the driver numbers it.
using PortLister = std::function<std::vector<SerialPortInfo>()>;

// The ttys of FTDI chips found under sysRoot (normally "/sys"), with device
// paths under devRoot (normally "/dev"), sorted by tty name in natural order
// (ttyUSB2 before ttyUSB10). Empty where there is no sysfs.
std::vector<SerialPortInfo> ScanFtdiPorts(const std::string& sysRoot = "/sys", const std::string& devRoot = "/dev");

// The latency timer of the FTDI chip behind a tty, in ms, as the kernel's
// FTDI serial driver shows it (sysRoot/class/tty/<name>/device/latency_timer,
// <name> taken from the device path after following symbolic links); -1 when
// there is no such value, as for any other kind of port.
int LatencyTimerOf(const std::string& device, const std::string& sysRoot = "/sys");

// Natural order of device names: digit runs compare by value.
bool NaturalLess(const std::string& a, const std::string& b);

} // namespace serial
