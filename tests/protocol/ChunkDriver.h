#pragma once
// A driver that plays back a fixed byte string as the amplifier's answer.
//
// Each FT_Read delivers at most the requested count, at most what is left,
// and, while the chunk list lasts, at most the next chunk size (a chunk of 0
// is a read that times out with nothing). Past the chunk list a read delivers
// whatever it asks for. An exhausted stream answers every read with 0 bytes.
//
// Every purge, write and read is recorded in order, and one chosen call
// (counted from 0 over all recorded calls) can fail with a chosen status; a
// failed read delivers nothing. Single-threaded: for tests and fuzzing only.

#include "support/FakeDriverBase.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace frametest {

using Bytes = std::vector<std::uint8_t>;

class ChunkDriver final : public FakeDriverBase {
public:
    enum class Op { Purge, Write, Read };

    struct Call {
        Op op = Op::Read;
        DWORD requested = 0; // read: count asked for; write: count given
        DWORD delivered = 0; // read: bytes delivered
        ULONG mask = 0;      // purge mask
        Bytes written;       // write: the bytes
        FT_STATUS status = FT_OK;
    };

    explicit ChunkDriver(Bytes stream = {}, std::vector<DWORD> chunks = {})
        : stream_(std::move(stream)), chunks_(std::move(chunks))
    {
    }

    // Makes the call with this index fail with `status`.
    void FailCall(int index, FT_STATUS status = FT_IO_ERROR)
    {
        failAt_ = index;
        failStatus_ = status;
    }

    const std::vector<Call>& Calls() const { return calls_; }
    // The requested counts of the reads, in order.
    std::vector<DWORD> ReadRequests() const
    {
        std::vector<DWORD> out;
        for (const Call& c : calls_)
            if (c.op == Op::Read)
                out.push_back(c.requested);
        return out;
    }
    std::size_t Position() const { return position_; }
    std::size_t Remaining() const { return stream_.size() - position_; }
    std::size_t ChunksUsed() const { return nextChunk_; }

    std::string Name() const override { return "chunked playback"; }

    FT_STATUS FT_Read(FT_HANDLE, void* buffer, DWORD count, DWORD* got) override
    {
        *got = 0;
        Call call;
        call.op = Op::Read;
        call.requested = count;
        if (Failing(call))
            return call.status;
        DWORD n = std::min<DWORD>(count, static_cast<DWORD>(Remaining()));
        if (nextChunk_ < chunks_.size())
            n = std::min(n, chunks_[nextChunk_++]);
        if (n > 0)
            std::memcpy(buffer, stream_.data() + position_, n);
        position_ += n;
        *got = n;
        call.delivered = n;
        calls_.push_back(std::move(call));
        return FT_OK;
    }

    FT_STATUS FT_Write(FT_HANDLE, const void* buffer, DWORD count, DWORD* written) override
    {
        *written = 0;
        Call call;
        call.op = Op::Write;
        call.requested = count;
        const auto* bytes = static_cast<const std::uint8_t*>(buffer);
        call.written.assign(bytes, bytes + count);
        if (Failing(call))
            return call.status;
        *written = count;
        calls_.push_back(std::move(call));
        return FT_OK;
    }

    FT_STATUS FT_Purge(FT_HANDLE, ULONG mask) override
    {
        Call call;
        call.op = Op::Purge;
        call.mask = mask;
        if (Failing(call))
            return call.status;
        calls_.push_back(std::move(call));
        return FT_OK;
    }

private:
    // Records the call as failed when it is the chosen one.
    bool Failing(Call& call)
    {
        if (static_cast<int>(calls_.size()) != failAt_)
            return false;
        call.status = failStatus_;
        calls_.push_back(call);
        return true;
    }

    Bytes stream_;
    std::vector<DWORD> chunks_;
    std::size_t position_ = 0;
    std::size_t nextChunk_ = 0;
    std::vector<Call> calls_;
    int failAt_ = -1;
    FT_STATUS failStatus_ = FT_IO_ERROR;
};

} // namespace frametest
