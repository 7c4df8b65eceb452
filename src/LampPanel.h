#pragma once
// What the poll engine and the connection lifecycle need of a keypad window:
// set its lamps from a byte of lamp states in which a 1 bit lights a lamp
// (the complement of a display frame's lamp byte; 0 darkens every lamp).

#include <cstdint>

class LampPanel {
public:
    virtual ~LampPanel() = default;
    virtual void SetLamps(std::uint8_t lampStates) = 0;
};
