#pragma once
// A scripted stand-in for the amplifier's USB link, for the update transfer's
// protocol details. Single-threaded and instant: a read delivers what the
// scripted amplifier has queued (at most maxPerRead bytes) and returns at once.
//
// Every write and read is logged in order ("W 55 55 55 02 C0", "W <4096 bytes>",
// "R6=6", "R512=0"); the amplifier answers the update frames it recognises in
// the chunks the program writes them in, through replaceable reply functions.

#include "support/FakeDriverBase.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <numeric>
#include <string>
#include <vector>

namespace pkgtest {

using Bytes = std::vector<std::uint8_t>;

inline Bytes AckFrame()
{
    return {0x55, 0x55, 0x55, 0x01, 0x06, 0x06};
}

// Nine bytes with `value` little-endian in bytes 4..7; the rest is `filler`.
inline Bytes ChecksumReply(std::uint32_t value, std::uint8_t filler = 0x55)
{
    Bytes reply(9, filler);
    for (int i = 0; i < 4; ++i)
        reply[4 + i] = static_cast<std::uint8_t>(value >> (8 * i));
    return reply;
}

class ScriptedLink final : public FakeDriverBase {
public:
    // Replies of the scripted amplifier; the defaults answer correctly. The
    // counters start at 0 and count every frame of that kind received.
    std::function<Bytes(int start)> startReply = [](int) { return AckFrame(); };
    std::function<Bytes(int header)> headerReply = [](int) { return AckFrame(); };
    std::function<Bytes(int data, std::uint32_t sum)> dataReply = [](int, std::uint32_t sum) {
        return ChecksumReply(sum);
    };
    std::function<Bytes(std::uint32_t total)> endReply = [](std::uint32_t total) { return ChecksumReply(total); };

    DWORD maxPerRead = 0xFFFFFFFF;
    // Makes the FT_Write / FT_Read call with this index (counting from 0) fail.
    int failWriteAt = -1;
    int failReadAt = -1;
    FT_STATUS failStatus = FT_IO_ERROR;

    std::vector<std::string> log;
    std::vector<Bytes> writes;
    std::deque<std::uint8_t> input;
    std::vector<std::uint8_t> headerTags;

    std::string Name() const override { return "scripted"; }

    FT_STATUS FT_Write(FT_HANDLE, const void* buffer, DWORD count, DWORD* written) override
    {
        const auto* bytes = static_cast<const std::uint8_t*>(buffer);
        Bytes chunk(bytes, bytes + count);
        *written = 0;
        if (writeCalls_++ == failWriteAt)
            return failStatus;
        log.push_back("W " + Describe(chunk));
        writes.push_back(chunk);
        *written = count;
        Answer(chunk);
        return FT_OK;
    }

    FT_STATUS FT_Read(FT_HANDLE, void* buffer, DWORD count, DWORD* got) override
    {
        *got = 0;
        if (readCalls_++ == failReadAt)
            return failStatus;
        const DWORD n = std::min<DWORD>({count, maxPerRead, static_cast<DWORD>(input.size())});
        std::copy_n(input.begin(), n, static_cast<std::uint8_t*>(buffer));
        input.erase(input.begin(), input.begin() + n);
        *got = n;
        log.push_back("R" + std::to_string(count) + "=" + std::to_string(n));
        return FT_OK;
    }

    std::uint32_t TotalEchoed() const
    {
        return std::accumulate(lastSumPerHeader_.begin(), lastSumPerHeader_.end(), 0u,
                               [](std::uint32_t a, const auto& kv) { return a + kv.second; });
    }
    int StartsReceived() const { return starts_; }

    static std::string Describe(const Bytes& chunk)
    {
        if (chunk.size() > 16)
            return "<" + std::to_string(chunk.size()) + " bytes>";
        std::string text;
        for (std::uint8_t b : chunk) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%s%02X", text.empty() ? "" : " ", b);
            text += hex;
        }
        return text;
    }

private:
    enum class Expect { Frame, HeaderTag, HeaderCheck, DataBytes, DataCheck };

    void Queue(const Bytes& reply) { input.insert(input.end(), reply.begin(), reply.end()); }

    void Answer(const Bytes& chunk)
    {
        switch (expect_) {
        case Expect::HeaderTag:
            headerTags.push_back(chunk.at(0));
            expect_ = Expect::HeaderCheck;
            return;
        case Expect::HeaderCheck:
            expect_ = Expect::Frame;
            Queue(headerReply(headers_++));
            return;
        case Expect::DataBytes:
            dataSum_ = std::accumulate(chunk.begin(), chunk.end(), 0u);
            expect_ = Expect::DataCheck;
            return;
        case Expect::DataCheck:
            expect_ = Expect::Frame;
            lastSumPerHeader_[headers_] = dataSum_;
            Queue(dataReply(datas_++, dataSum_));
            return;
        case Expect::Frame:
            break;
        }
        if (chunk == Bytes{0x55, 0x55, 0x55, 0x01, 0x66, 0x66})
            Queue(startReply(starts_++));
        else if (chunk == Bytes{0x55, 0x55, 0x55, 0x02, 0xC0})
            expect_ = Expect::HeaderTag;
        else if (chunk == Bytes{0x55, 0x55, 0x55, 0x00})
            expect_ = Expect::DataBytes;
        else if (chunk == Bytes{0x55, 0x55, 0x55, 0x01, 0xCF, 0xCF})
            Queue(endReply(TotalEchoed()));
    }

    Expect expect_ = Expect::Frame;
    int writeCalls_ = 0;
    int readCalls_ = 0;
    int starts_ = 0;
    int headers_ = 0;
    int datas_ = 0;
    std::uint32_t dataSum_ = 0;
    std::map<int, std::uint32_t> lastSumPerHeader_;
};

} // namespace pkgtest
