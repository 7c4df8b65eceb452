#pragma once
// Key codes of the amplifier's front-panel keys, as the command frame carries
// them; the latched variants are the codes a key sends while a POWER, CAT,
// DISPLAY or OPERATE latch is held. These are all the keys the window, its
// keypads and its keyboard send: 0x14, 0x16 and 0x17 are not among them.

#include <cstdint>

namespace keycode {
constexpr std::uint8_t Input = 0x01;
constexpr std::uint8_t BandMinus = 0x02;
constexpr std::uint8_t BandPlus = 0x03;
constexpr std::uint8_t Ant = 0x04;
constexpr std::uint8_t LMinus = 0x05;
constexpr std::uint8_t LPlus = 0x06;
constexpr std::uint8_t CMinus = 0x07;
constexpr std::uint8_t CPlus = 0x08;
constexpr std::uint8_t Tune = 0x09;
constexpr std::uint8_t Off = 0x0A;
constexpr std::uint8_t Power = 0x0B;
constexpr std::uint8_t Display = 0x0C;
constexpr std::uint8_t Operate = 0x0D;
constexpr std::uint8_t CAT = 0x0E;
constexpr std::uint8_t LeftArrow = 0x0F;
constexpr std::uint8_t RightArrow = 0x10;
constexpr std::uint8_t Set = 0x11;
constexpr std::uint8_t OperateTune = 0x12;  // TUNE with OPERATE latched
constexpr std::uint8_t DisplayInput = 0x13; // INPUT with DISPLAY latched
constexpr std::uint8_t DisplayCPlus = 0x15; // C + with DISPLAY latched
constexpr std::uint8_t PowerCMinus = 0x18;
constexpr std::uint8_t PowerCPlus = 0x19;
constexpr std::uint8_t CatCMinus = 0x1A;
constexpr std::uint8_t CatCPlus = 0x1B;
constexpr std::uint8_t PowerLMinus = 0x1C;
constexpr std::uint8_t PowerLPlus = 0x1D;
constexpr std::uint8_t CatLMinus = 0x1E;
constexpr std::uint8_t CatLPlus = 0x1F;

// True for a code that one of the window's keys sends.
constexpr bool IsFrontPanelKey(std::uint8_t code)
{
    return (code >= Input && code <= DisplayInput) || code == DisplayCPlus || (code >= PowerCMinus && code <= CatLPlus);
}
} // namespace keycode
