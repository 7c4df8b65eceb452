#pragma once
// One connection to a remote station: a gensio stack of telnet with the
// RFC 2217 COM-port option over TCP (or TLS over TCP). Received bytes are
// kept in a queue that reads take from; writes go straight to gensio and wait
// only for room in the connection; each serial-port request (baud, data
// bits, parity, stop bits, flow control, DTR, RTS) waits for the server's
// answer. Every wait is bounded by the time-out the caller gives.
//
// Threads: reads, writes and requests may run on any number of threads at
// once; reads and writes have separate locks, so a write never waits behind
// a blocking read. gensio's callbacks arrive on the GensioLoop thread.
//
// A station that vanishes without closing the connection (its power or the
// network gone: a half-open connection) would otherwise look like a silent
// amplifier for ever. So a read that has heard nothing from the server for
// half its time-out asks it for the baud rate (a question every RFC 2217
// server answers, changing nothing); when that is still unanswered as the
// read ends empty, the connection counts as lost.
//
// Lifetime: the object is held by shared pointers. Close() asks gensio to
// close and keeps the object alive until gensio says it has, so no callback
// ever reaches freed memory; the gensio itself is freed with the object.

#include "link/FtTypes.h"
#include "link/RemoteStation.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <string>

struct gensio;
struct sergensio;

namespace remote {

class GensioLoop;

class RemoteLink : public std::enable_shared_from_this<RemoteLink> {
public:
    // Connects, waiting at most `timeoutMs`. Null on failure, with `why`
    // saying what went wrong in words that name the address.
    static std::shared_ptr<RemoteLink> Connect(std::shared_ptr<GensioLoop> loop, const RemoteStation& station,
                                               int timeoutMs, std::string* why);
    ~RemoteLink();
    RemoteLink(const RemoteLink&) = delete;
    RemoteLink& operator=(const RemoteLink&) = delete;

    FT_STATUS Read(void* buffer, DWORD count, DWORD* got, int timeoutMs);
    FT_STATUS Write(const void* buffer, DWORD count, DWORD* written, int timeoutMs);
    FT_STATUS Purge(ULONG mask);

    enum class Setting { Baud, DataSize, Parity, StopBits, FlowControl, Dtr, Rts };
    // One serial-port request, answered by the server within `timeoutMs`.
    FT_STATUS Request(Setting setting, unsigned value, int timeoutMs);

    // Why the last failure happened (lost connection, unanswered request); empty if none.
    std::string LastProblem() const;

    // Wakes every waiting call (they return FT_INVALID_HANDLE) and closes the
    // connection, waiting at most `timeoutMs` for gensio to finish.
    void Close(int timeoutMs);

private:
    struct Pending {
        RemoteLink* link = nullptr;
        bool done = false;
        int err = 0;
    };

    RemoteLink(std::shared_ptr<GensioLoop> loop, std::string address);
    static int Event(gensio* io, void* user, int event, int err, unsigned char* buf, unsigned long* len,
                     const char* const* aux);
    static void OpenDone(gensio* io, int err, void* data);
    static void CloseDone(gensio* io, void* data);
    static void RequestDone(sergensio* sio, int err, unsigned value, void* data);
    void Lost(const std::string& why);
    // With mutex_ held by `lock`; releases it while gensio is called.
    void SendProbe(std::unique_lock<std::mutex>& lock);
    void ForgetAnsweredProbe();

    std::shared_ptr<GensioLoop> loop_;
    const std::string address_;
    gensio* io_ = nullptr;
    sergensio* sio_ = nullptr;

    mutable std::mutex mutex_; // the state below; never held while calling gensio
    std::condition_variable changed_;
    bool openDone_ = false;
    int openErr_ = 0;
    bool open_ = false;   // connected and not lost
    bool shut_ = false;   // Close() has begun
    bool closed_ = false; // gensio's close is complete
    bool readPaused_ = false;
    bool writeReady_ = false;
    std::deque<std::uint8_t> received_;
    std::list<Pending> pending_; // requests in flight (their answers may still come)
    std::string problem_;
    std::chrono::steady_clock::time_point lastHeard_; // anything from the server: bytes or an answer
    Pending* probe_ = nullptr;                        // the liveness question in flight, if any
    std::chrono::steady_clock::time_point probeSent_;
    std::shared_ptr<RemoteLink> keepAlive_; // from Close() until the close is complete

    std::mutex writeMutex_; // one writer at a time; independent of reads
};

} // namespace remote
