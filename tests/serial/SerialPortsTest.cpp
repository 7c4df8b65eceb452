// Finding FTDI ports in a sysfs tree, here a fake one laid out like the
// kernel's: class/tty/<name> links to the tty's directory below the
// usb-serial port, whose device link leads up through the USB interface to
// the USB device with idVendor, idProduct, serial and product.
#include "link/SerialDriver.h"
#include "link/SerialPorts.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cstring>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

class FakeSysfs {
public:
    FakeSysfs() { fs::create_directories(Root() / "class" / "tty"); }

    fs::path Root() const { return fs::path(dir_.path().toStdString()) / "sys"; }
    std::string Dev() const { return dir_.path().toStdString() + "/dev"; }

    // A USB device at `usbPath` (below devices/) with one serial port `tty`.
    void AddUsbTty(const std::string& usbPath, const std::string& tty, const std::string& vendor,
                   const std::string& serialNo, const std::string& product = "USB UART")
    {
        const fs::path usb = Root() / "devices" / usbPath;
        const fs::path port = usb / (usb.filename().string() + ":1.0") / tty;
        fs::create_directories(port / "tty" / tty);
        Write(usb / "idVendor", vendor);
        Write(usb / "idProduct", "6001");
        Write(usb / "product", product);
        if (!serialNo.empty())
            Write(usb / "serial", serialNo);
        Write(usb.parent_path() / "idVendor", "1d6b"); // the hub above it
        fs::create_directory_symlink("../../../" + tty, port / "tty" / tty / "device");
        fs::create_directory_symlink(port / "tty" / tty, Root() / "class" / "tty" / tty);
    }

    // A tty without a device link (a virtual console).
    void AddVirtualTty(const std::string& tty)
    {
        const fs::path dir = Root() / "devices" / "virtual" / "tty" / tty;
        fs::create_directories(dir);
        fs::create_directory_symlink(dir, Root() / "class" / "tty" / tty);
    }

    static void Write(const fs::path& file, const std::string& text) { std::ofstream(file) << text << "\n"; }

private:
    QTemporaryDir dir_;
};

TEST(SerialPorts, FtdiTtysInNaturalOrderWithTheirUsbSerialNumbers)
{
    FakeSysfs sys;
    sys.AddUsbTty("pci0000:00/usb1/1-1", "ttyUSB10", "0403", "AVB00010");
    sys.AddUsbTty("pci0000:00/usb1/1-2", "ttyUSB2", "0403", "AV1A2B3C", "FT232R USB UART");
    sys.AddUsbTty("pci0000:00/usb1/1-3", "ttyUSB1", "067b", "OTHER001"); // another maker's chip
    sys.AddUsbTty("pci0000:00/usb2/2-1", "ttyUSB3", "0403", "");         // no serial number
    sys.AddVirtualTty("tty0");

    const auto ports = serial::ScanFtdiPorts(sys.Root().string(), sys.Dev());
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(ports[0].device, sys.Dev() + "/ttyUSB2");
    EXPECT_EQ(ports[0].serial, "AV1A2B3C");
    EXPECT_EQ(ports[0].description, "FT232R USB UART");
    EXPECT_EQ(ports[0].vendorId, 0x0403u);
    EXPECT_EQ(ports[0].productId, 0x6001u);
    EXPECT_EQ(ports[1].device, sys.Dev() + "/ttyUSB3");
    EXPECT_EQ(ports[1].serial, "");
    EXPECT_EQ(ports[2].device, sys.Dev() + "/ttyUSB10");
    EXPECT_EQ(ports[2].serial, "AVB00010");

    EXPECT_TRUE(serial::ScanFtdiPorts((sys.Root() / "missing").string(), sys.Dev()).empty());
}

TEST(SerialPorts, DriverListsAndAddressesTheScannedPorts)
{
    FakeSysfs sys;
    sys.AddUsbTty("usb1/1-1", "ttyUSB0", "0403", "AV000777");
    SerialDriver driver([&] { return serial::ScanFtdiPorts(sys.Root().string(), sys.Dev()); });

    DWORD count = 0;
    ASSERT_EQ(driver.FT_CreateDeviceInfoList(&count), FT_OK);
    ASSERT_EQ(count, 1u);
    DWORD flags = 1, type = 0, id = 0, loc = 0;
    char serialNo[FT_SERIAL_BUFFER];
    char description[FT_DESCRIPTION_BUFFER];
    FT_HANDLE h = nullptr;
    ASSERT_EQ(driver.FT_GetDeviceInfoDetail(0, &flags, &type, &id, &loc, serialNo, description, &h), FT_OK);
    EXPECT_EQ(flags, 0u);
    EXPECT_STREQ(serialNo, "AV000777");

    // The tty node itself does not exist in the fake tree.
    EXPECT_EQ(driver.FT_OpenEx("AV000777", FT_OPEN_BY_SERIAL_NUMBER, &h), FT_DEVICE_NOT_FOUND);
}

TEST(SerialPorts, LatencyTimerIsReadFromTheUsbSerialPortAndMissingOrGarbledReadsAsUnknown)
{
    FakeSysfs sys;
    sys.AddUsbTty("usb1/1-1", "ttyUSB0", "0403", "AV000777");
    sys.AddUsbTty("usb1/1-2", "ttyUSB1", "0403", "AV000778");
    sys.AddVirtualTty("tty0");
    FakeSysfs::Write(sys.Root() / "class" / "tty" / "ttyUSB0" / "device" / "latency_timer", "16");
    FakeSysfs::Write(sys.Root() / "class" / "tty" / "ttyUSB1" / "device" / "latency_timer", "fast");
    EXPECT_EQ(serial::LatencyTimerOf(sys.Dev() + "/ttyUSB0", sys.Root().string()), 16);
    EXPECT_EQ(serial::LatencyTimerOf(sys.Dev() + "/ttyUSB1", sys.Root().string()), -1);
    EXPECT_EQ(serial::LatencyTimerOf(sys.Dev() + "/tty0", sys.Root().string()), -1);
}

TEST(SerialPorts, NaturalOrderComparesNumbersByValue)
{
    EXPECT_TRUE(serial::NaturalLess("ttyUSB2", "ttyUSB10"));
    EXPECT_FALSE(serial::NaturalLess("ttyUSB10", "ttyUSB2"));
    EXPECT_TRUE(serial::NaturalLess("ttyACM9", "ttyUSB0"));
    EXPECT_TRUE(serial::NaturalLess("ttyUSB1", "ttyUSB1a"));
    EXPECT_NE(serial::NaturalLess("ttyUSB01", "ttyUSB1"), serial::NaturalLess("ttyUSB1", "ttyUSB01"));
}

} // namespace
