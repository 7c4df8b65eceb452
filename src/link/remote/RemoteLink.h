#pragma once
// One connection to a remote station: a gensio stack of telnet with the
// RFC 2217 COM-port option over TCP (or TLS over TCP). Received bytes are
// kept in a queue that reads take from; writes go straight to gensio and wait
// only for room in the connection; each serial-port request (baud, data
// bits, parity, stop bits, flow control, DTR, RTS) waits for the server's
// answer and compares it with what was asked. Every wait is bounded by the
// time-out the caller gives.
//
// Threads: reads, writes and requests may run on any number of threads at
// once; reads and writes have separate locks, so a write never waits behind
// a blocking read. gensio's callbacks arrive on the GensioLoop thread.
//
// Over TLS the station's certificate must verify against the CA file and
// carry the name the user reaches the station by (the address's host, or the
// station's `serverName`); otherwise the connection is refused before any
// data passes.
//
// A station that vanishes without closing the connection (its power or the
// network gone: a half-open connection) would otherwise look like a silent
// amplifier for ever. So a read that finds the connection quiet asks the
// server for its baud rate (a question every RFC 2217 server answers,
// changing nothing), and when nothing at all comes back in time the
// connection counts as lost (see Liveness).
//
// Lifetime: the object is held by shared pointers. Close() asks gensio to
// close and keeps the object alive until gensio says it has, so no callback
// ever reaches freed memory; the gensio itself is freed with the object.

#include "link/FtTypes.h"
#include "link/remote/Liveness.h"
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
    struct Failure {
        std::string why;    // in words that name the address
        bool final = false; // trying again cannot help (refused, unknown name, certificate)
    };

    // Connects, waiting at most `timeoutMs`. Null on failure, described in `failure`.
    static std::shared_ptr<RemoteLink> Connect(std::shared_ptr<GensioLoop> loop, const RemoteStation& station,
                                               const Liveness& liveness, int timeoutMs, Failure* failure);
    ~RemoteLink();
    RemoteLink(const RemoteLink&) = delete;
    RemoteLink& operator=(const RemoteLink&) = delete;

    FT_STATUS Read(void* buffer, DWORD count, DWORD* got, int timeoutMs);
    FT_STATUS Write(const void* buffer, DWORD count, DWORD* written, int timeoutMs);
    FT_STATUS Purge(ULONG mask);

    enum class Setting { Baud, DataSize, Parity, StopBits, FlowControl, Dtr, Rts };
    // One serial-port request, answered by the server within `timeoutMs` with
    // the value asked for; anything else fails the call (FT_IO_ERROR).
    FT_STATUS Request(Setting setting, unsigned value, int timeoutMs);

    // Why the last failed call failed (lost connection, unanswered or refused
    // request); empty if none.
    std::string LastProblem() const;

    // Wakes every waiting call (they return FT_INVALID_HANDLE) and asks gensio
    // to close the connection, without waiting for it.
    void Close();
    // Waits at most `timeoutMs` for the close to complete; true when it has.
    bool WaitClosed(int timeoutMs);

private:
    struct Pending {
        RemoteLink* link = nullptr;
        Setting setting = Setting::Baud;
        unsigned asked = 0;
        unsigned answer = 0;
        bool done = false;
        bool abandoned = false; // its caller has given up waiting
        int err = 0;
    };

    RemoteLink(std::shared_ptr<GensioLoop> loop, const RemoteStation& station, const Liveness& liveness);
    static int Event(gensio* io, void* user, int event, int err, unsigned char* buf, unsigned long* len,
                     const char* const* aux);
    int CheckCertificate(int err, const std::string& text);
    static void OpenDone(gensio* io, int err, void* data);
    static void CloseDone(gensio* io, void* data);
    static void RequestDone(sergensio* sio, int err, unsigned value, void* data);
    void Lost(const std::string& why);
    void LostLocked(const std::string& why);
    // Lets reading from the connection stop or go on, as the queue's fill
    // and the connection's state say; one decision at a time.
    void SwitchReading();
    // Sends `pending`'s request; with mutex_ held by `lock`, released while
    // gensio is called. gensio's error when it was not sent.
    int Send(Pending* pending, std::unique_lock<std::mutex>& lock);
    // Sends the liveness question (the same way).
    int SendProbe(std::unique_lock<std::mutex>& lock);
    bool ProbeAnswered() const;

    std::shared_ptr<GensioLoop> loop_;
    const RemoteStation station_;
    const Liveness liveness_;
    gensio* io_ = nullptr;
    sergensio* sio_ = nullptr;

    mutable std::mutex mutex_; // the state below; never held while calling gensio
    std::condition_variable changed_;
    bool openDone_ = false;
    int openErr_ = 0;
    std::string certProblem_; // why the station's certificate was refused
    bool open_ = false;       // connected and not lost
    bool shut_ = false;       // Close() has begun
    bool closed_ = false;     // gensio's close is complete
    bool readPaused_ = false; // the queue is full: reading should stop
    bool writeReady_ = false;
    std::deque<std::uint8_t> received_;
    std::list<Pending> pending_;                      // requests in flight (their answers may still come)
    std::string problem_;                             // the last failed call's reason
    std::string lostWhy_;                             // why the connection was lost; empty while it is not
    std::chrono::steady_clock::time_point lastHeard_; // anything from the server: bytes or an answer
    bool probing_ = false;                            // the liveness question is out
    std::chrono::steady_clock::time_point probeSent_;
    std::shared_ptr<RemoteLink> keepAlive_; // from Close() until the close is complete

    std::mutex readSwitch_;    // one reading decision at a time, gensio called under it
    bool readEnabled_ = false; // what gensio was last told

    std::mutex writeMutex_; // one writer at a time; independent of reads
};

} // namespace remote
