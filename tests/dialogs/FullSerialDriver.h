#pragma once
// A driver with one device whose serial number fills the whole 32-byte buffer
// with no NUL after it, as a real driver may hand it back.

#include "support/FakeDriverBase.h"

#include <cstring>

class FullSerialDriver final : public FakeDriverBase {
public:
    static constexpr char kSerial[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";
    static_assert(sizeof kSerial - 1 == FT_SERIAL_BUFFER);

    FullSerialDriver() { deviceCount = 1; }

    std::string Name() const override { return "full serial"; }

    FT_STATUS FT_GetDeviceInfoDetail(DWORD, DWORD* flags, DWORD*, DWORD*, DWORD*, char* serialNumber, char* description,
                                     FT_HANDLE*) override
    {
        *flags = 0;
        std::memcpy(serialNumber, kSerial, FT_SERIAL_BUFFER);
        std::strcpy(description, "AVELKOR AMPLIFIER");
        return FT_OK;
    }
};
