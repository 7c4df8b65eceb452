#pragma once
// A pseudo-terminal pair for the serial backend's tests: the backend opens
// the slave by name, the test plays the device on the master.

#include "link/SerialPorts.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& SlaveName() const { return slaveName_; }
    int Master() const { return master_; }

    // Writes every byte to the master (the device sends them).
    void Send(const std::vector<std::uint8_t>& bytes);
    // What the device received: reads the master until `count` bytes came or
    // `timeoutMs` passed.
    std::vector<std::uint8_t> Receive(std::size_t count, int timeoutMs = 500);
    // The device vanishes.
    void CloseMaster();

    serial::SerialPortInfo Info(const std::string& serial, const std::string& description = "pty") const;

private:
    int master_ = -1;
    std::string slaveName_;
};

// Milliseconds since `start`.
inline long long ElapsedMs(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

inline std::vector<std::uint8_t> Bytes(const std::string& text)
{
    return {text.begin(), text.end()};
}
