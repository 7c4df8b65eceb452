// The D2XX backend as a Windows user meets it when FTDI's driver is not
// installed, or when an ftd2xx.dll on the path is not FTDI's.
#include "link/D2xxDriver.h"

#include <gtest/gtest.h>

TEST(D2xxDriverOnWindows, AMissingOrForeignFtd2xxDllSaysToInstallFtdisDriver)
{
    D2xxDriver missing; // by the standard name: no ftd2xx.dll on this test's path
    EXPECT_NE(missing.LoadError().find("\"ftd2xx\" could not be loaded"), std::string::npos) << missing.LoadError();
    EXPECT_NE(missing.LoadError().find("Install FTDI's D2XX driver"), std::string::npos) << missing.LoadError();

    D2xxDriver foreign("kernel32"); // loads, but has none of the entry points
    EXPECT_NE(foreign.LoadError().find("\"kernel32\" lacks FT_Open, FT_OpenEx, FT_Close"), std::string::npos)
        << foreign.LoadError();
    EXPECT_NE(foreign.LoadError().find("Install FTDI's D2XX driver"), std::string::npos) << foreign.LoadError();
    DWORD devices = 7;
    EXPECT_NE(foreign.FT_CreateDeviceInfoList(&devices), FT_OK);
    EXPECT_EQ(devices, 0u);
}
