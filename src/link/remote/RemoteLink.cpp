#include "link/remote/RemoteLink.h"

#include "link/remote/GensioLoop.h"

#include <gensio/gensio.h>
#include <gensio/gensio_err.h>
#include <gensio/sergensio.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <utility>

namespace remote {

namespace {

using Clock = std::chrono::steady_clock;

// Received bytes held before the connection is told to stop reading; reads
// let it go on again as they take bytes.
constexpr std::size_t kReceiveLimit = 64 * 1024;

// Reads shorter than this never ask whether the server is still there.
constexpr int kProbeMinTimeoutMs = 200;

Clock::time_point Deadline(int timeoutMs)
{
    return Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
}

// A value for the connection description, quoted so that commas and
// parentheses in a file name are passed on as they are.
std::string Quoted(const std::string& value)
{
    return "\"" + value + "\"";
}

std::string StackFor(const RemoteStation& station, const HostPort& where)
{
    std::string stack = "telnet(rfc2217),";
    if (station.tls) {
        stack += "ssl(CA=" + Quoted(station.caFile);
        if (!station.certFile.empty())
            stack += ",cert=" + Quoted(station.certFile) + ",key=" + Quoted(station.keyFile);
        stack += "),";
    }
    // No delay: every query is six bytes, and the answer waits for it.
    return stack + "tcp(nodelay)," + where.host + "," + std::to_string(where.port);
}

std::string OpenFailure(const RemoteStation& station, int err)
{
    const std::string& at = station.address;
    switch (err) {
    case GE_CONNREFUSE:
        return "The remote station " + at + " refused the connection.";
    case GE_NOTFOUND:
    case GE_UNKNOWN_NAME_ERROR:
    case GE_NAME_ERROR:
    case GE_NAME_SERVER_FAILURE:
    case GE_NAME_INVALID:
    case GE_NAME_NET_NOT_UP:
        return "The address of the remote station " + at + " could not be resolved.";
    case GE_HOSTDOWN:
        return "The remote station " + at + " cannot be reached.";
    case GE_TIMEDOUT:
        return "The remote station " + at + " did not complete the connection in time: is an RFC 2217 " +
               "server (ser2net) listening there?";
    case GE_CERTINVALID:
    case GE_CERTEXPIRED:
    case GE_CERTREVOKED:
    case GE_CERTNOTFOUND:
        return "The certificate of the remote station " + at + " did not verify against the CA file " + station.caFile +
               ".";
    case GE_KEYINVALID:
    case GE_KEYNOTFOUND:
        return "The client certificate or key for " + at + " could not be used.";
    case GE_REMCLOSE:
        if (!station.tls)
            return "The remote station " + at + " closed the connection at once: is its port in use?";
        // A TLS server that hangs up during the handshake after our
        // certificate check passed: it wanted a client certificate.
        [[fallthrough]];
    case GE_NOCERT:
    case GE_AUTHREJECT:
        return "The remote station " + at + " refused the connection: it demands a client certificate" +
               (station.certFile.empty() ? std::string(" and none is configured.")
                                         : " and did not accept " + station.certFile + ".");
    default:
        return "The connection to the remote station " + at + " failed: " + GensioLoop::ErrorText(err) + ".";
    }
}

} // namespace

RemoteLink::RemoteLink(std::shared_ptr<GensioLoop> loop, std::string address)
    : loop_(std::move(loop)), address_(std::move(address))
{
}

RemoteLink::~RemoteLink()
{
    if (io_)
        gensio_free(io_);
}

std::shared_ptr<RemoteLink> RemoteLink::Connect(std::shared_ptr<GensioLoop> loop, const RemoteStation& station,
                                                int timeoutMs, std::string* why)
{
    auto fail = [why](const std::string& text) -> std::shared_ptr<RemoteLink> {
        if (why)
            *why = text;
        return nullptr;
    };
    const std::optional<HostPort> where = ParseHostPort(station.address);
    if (!where)
        return fail("The remote station address \"" + station.address + "\" is not HOST:PORT.");

    // A file that cannot be read would otherwise show as a certificate
    // that does not verify.
    const std::pair<const std::string*, const char*> files[] = {
        {&station.caFile, "CA file"}, {&station.certFile, "client certificate"}, {&station.keyFile, "client key"}};
    for (const auto& [file, what] : files) {
        if (station.tls && !file->empty() && !std::ifstream(*file).good())
            return fail(std::string("The ") + what + " " + *file + " for " + station.address + " cannot be read.");
    }

    std::shared_ptr<RemoteLink> link(new RemoteLink(loop, station.address));
    const std::string stack = StackFor(station, *where);
    int err = str_to_gensio(stack.c_str(), loop->Os(), &RemoteLink::Event, link.get(), &link->io_);
    if (err) // the name is looked up here already
        return fail(OpenFailure(station, err));
    link->sio_ = gensio_to_sergensio(link->io_);

    err = gensio_open(link->io_, &RemoteLink::OpenDone, link.get());
    if (err)
        return fail(OpenFailure(station, err));
    {
        std::unique_lock<std::mutex> lock(link->mutex_);
        link->changed_.wait_until(lock, Deadline(timeoutMs), [&] { return link->openDone_; });
        if (link->openDone_ && link->openErr_ == 0) {
            link->open_ = true;
            link->lastHeard_ = Clock::now();
        } else {
            err = link->openDone_ ? link->openErr_ : GE_TIMEDOUT;
        }
    }
    if (err) {
        link->Close(timeoutMs);
        return fail(OpenFailure(station, err));
    }
    gensio_set_read_callback_enable(link->io_, true);
    return link;
}

void RemoteLink::OpenDone(gensio*, int err, void* data)
{
    auto* link = static_cast<RemoteLink*>(data);
    std::lock_guard<std::mutex> lock(link->mutex_);
    link->openDone_ = true;
    link->openErr_ = err;
    link->changed_.notify_all();
}

int RemoteLink::Event(gensio*, void* user, int event, int err, unsigned char* buf, unsigned long* len,
                      const char* const*)
{
    auto* link = static_cast<RemoteLink*>(user);
    switch (event) {
    case GENSIO_EVENT_READ: {
        if (err) {
            link->Lost(err == GE_REMCLOSE ? "The remote station " + link->address_ + " closed the connection."
                                          : "The connection to the remote station " + link->address_ +
                                                " broke: " + GensioLoop::ErrorText(err) + ".");
            return 0;
        }
        bool pause = false;
        {
            std::lock_guard<std::mutex> lock(link->mutex_);
            if (!link->shut_)
                link->received_.insert(link->received_.end(), buf, buf + *len);
            link->lastHeard_ = Clock::now();
            pause = link->received_.size() >= kReceiveLimit;
            link->readPaused_ = pause;
            link->changed_.notify_all();
        }
        if (pause)
            gensio_set_read_callback_enable(link->io_, false);
        return 0;
    }
    case GENSIO_EVENT_WRITE_READY: {
        gensio_set_write_callback_enable(link->io_, false);
        std::lock_guard<std::mutex> lock(link->mutex_);
        link->writeReady_ = true;
        link->changed_.notify_all();
        return 0;
    }
    default:
        // Modem- and line-state reports, flow-control and the like: nothing
        // the program looks at.
        return GE_NOTSUP;
    }
}

void RemoteLink::Lost(const std::string& why)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (open_ && problem_.empty())
        problem_ = why;
    open_ = false;
    changed_.notify_all();
}

std::string RemoteLink::LastProblem() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return problem_;
}

FT_STATUS RemoteLink::Read(void* buffer, DWORD count, DWORD* got, int timeoutMs)
{
    *got = 0;
    bool resume = false;
    FT_STATUS status = FT_OK;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        const auto deadline = Deadline(timeoutMs);
        const bool probing = sio_ && count > 0 && timeoutMs >= kProbeMinTimeoutMs;
        const auto quiet = std::chrono::milliseconds(timeoutMs / 2);
        const auto ready = [&] { return received_.size() >= count || !open_ || shut_; };
        bool asked = false; // one question per read, answered or not
        ForgetAnsweredProbe();
        while (!ready() && Clock::now() < deadline) {
            if (probing && !asked && !probe_ && Clock::now() - lastHeard_ >= quiet) {
                asked = true;
                SendProbe(lock);
                continue;
            }
            const auto wake = probing && !asked && !probe_ ? std::min(deadline, lastHeard_ + quiet) : deadline;
            changed_.wait_until(lock, wake, ready);
        }
        if (shut_)
            return FT_INVALID_HANDLE;
        const std::size_t n = std::min<std::size_t>(count, received_.size());
        std::copy_n(received_.begin(), n, static_cast<std::uint8_t*>(buffer));
        received_.erase(received_.begin(), received_.begin() + static_cast<std::ptrdiff_t>(n));
        *got = static_cast<DWORD>(n);
        if (n == 0 && open_ && probing && probe_ && !probe_->done && Clock::now() - probeSent_ >= quiet) {
            if (problem_.empty())
                problem_ = "The remote station " + address_ + " stopped answering: nothing came back within " +
                           std::to_string(timeoutMs) + " ms.";
            open_ = false;
            changed_.notify_all();
        }
        // What came before a loss is still delivered; after it, the loss.
        if (n == 0 && !open_)
            status = FT_IO_ERROR;
        if (readPaused_ && received_.size() < kReceiveLimit / 2) {
            readPaused_ = false;
            resume = open_;
        }
    }
    if (resume)
        gensio_set_read_callback_enable(io_, true);
    return status;
}

void RemoteLink::SendProbe(std::unique_lock<std::mutex>& lock)
{
    pending_.push_back(Pending{this, false, 0});
    Pending* probe = &pending_.back();
    probe_ = probe;
    probeSent_ = Clock::now();
    lock.unlock();
    // Baud rate 0 asks for the current rate and changes nothing.
    const int err = sergensio_baud(sio_, 0, &RemoteLink::RequestDone, probe);
    lock.lock();
    if (err) {
        probe->done = true; // not sent: nothing to wait for
        probe->err = err;
    }
}

void RemoteLink::ForgetAnsweredProbe()
{
    if (probe_ && probe_->done) {
        Pending* answered = probe_;
        probe_ = nullptr;
        pending_.remove_if([answered](const Pending& p) { return &p == answered; });
    }
}

FT_STATUS RemoteLink::Write(const void* buffer, DWORD count, DWORD* written, int timeoutMs)
{
    *written = 0;
    std::lock_guard<std::mutex> writer(writeMutex_);
    const auto deadline = Deadline(timeoutMs);
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    while (*written < count) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (shut_)
                return FT_INVALID_HANDLE;
            if (!open_)
                return FT_IO_ERROR;
            writeReady_ = false;
        }
        gensiods n = 0;
        const int err = gensio_write(io_, &n, bytes + *written, count - *written, nullptr);
        if (err) {
            Lost("The connection to the remote station " + address_ + " broke: " + GensioLoop::ErrorText(err) + ".");
            return FT_IO_ERROR;
        }
        *written += static_cast<DWORD>(n);
        if (*written >= count)
            break;
        // The connection is full: wait until gensio says there is room.
        gensio_set_write_callback_enable(io_, true);
        std::unique_lock<std::mutex> lock(mutex_);
        if (!changed_.wait_until(lock, deadline, [&] { return writeReady_ || !open_ || shut_; }))
            return FT_OK; // the write time-out: what went is reported in `written`
    }
    return FT_OK;
}

FT_STATUS RemoteLink::Purge(ULONG mask)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (shut_)
            return FT_INVALID_HANDLE;
        if (!open_)
            return FT_IO_ERROR;
        if (mask & FT_PURGE_RX)
            received_.clear();
    }
    // The server empties its own buffers too: what the device sent and we
    // have not received yet, and what we sent and the device has not had.
    unsigned what = 0;
    if ((mask & FT_PURGE_RX) && (mask & FT_PURGE_TX))
        what = SERGENSIO_FLUSH_RCV_XMIT_BUFFERS;
    else if (mask & FT_PURGE_RX)
        what = SERGENSIO_FLUSH_RCV_BUFFER;
    else if (mask & FT_PURGE_TX)
        what = SERGENSIO_FLUSH_XMIT_BUFFER;
    if (what != 0 && sio_)
        (void)sergensio_flush(sio_, what);
    return FT_OK;
}

FT_STATUS RemoteLink::Request(Setting setting, unsigned value, int timeoutMs)
{
    if (!sio_)
        return FT_NOT_SUPPORTED;
    Pending* pending = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (shut_)
            return FT_INVALID_HANDLE;
        if (!open_)
            return FT_IO_ERROR;
        pending_.push_back(Pending{this, false, 0});
        pending = &pending_.back();
    }
    int err = 0;
    switch (setting) {
    case Setting::Baud:
        err = sergensio_baud(sio_, value, &RemoteLink::RequestDone, pending);
        break;
    case Setting::DataSize:
        err = sergensio_datasize(sio_, value, &RemoteLink::RequestDone, pending);
        break;
    case Setting::Parity:
        err = sergensio_parity(sio_, value, &RemoteLink::RequestDone, pending);
        break;
    case Setting::StopBits:
        err = sergensio_stopbits(sio_, value, &RemoteLink::RequestDone, pending);
        break;
    case Setting::FlowControl:
        err = sergensio_flowcontrol(sio_, value, &RemoteLink::RequestDone, pending);
        break;
    case Setting::Dtr:
        err = sergensio_dtr(sio_, value, &RemoteLink::RequestDone, pending);
        break;
    case Setting::Rts:
        err = sergensio_rts(sio_, value, &RemoteLink::RequestDone, pending);
        break;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    if (err) {
        pending->done = true; // never sent: no answer will come
        pending->err = err;
    } else {
        changed_.wait_until(lock, Deadline(timeoutMs), [&] { return pending->done || !open_ || shut_; });
    }
    FT_STATUS status = FT_OK;
    if (shut_) {
        status = FT_INVALID_HANDLE;
    } else if (!pending->done) {
        static const char* const kNames[] = {"baud rate",    "data bits", "parity", "stop bits",
                                             "flow control", "DTR",       "RTS"};
        if (open_) {
            problem_ = std::string("The remote station ") + address_ + " did not answer the " +
                       kNames[static_cast<int>(setting)] + " request within " + std::to_string(timeoutMs) +
                       " ms: its serial port may have no such line.";
        }
        status = FT_IO_ERROR;
    } else if (pending->err) {
        problem_ = "The remote station " + address_ +
                   " turned down a serial-port request: " + GensioLoop::ErrorText(pending->err) + ".";
        status = FT_IO_ERROR;
    }
    // An answered request is forgotten; one still in flight stays listed
    // until the connection closes, since its answer may yet arrive.
    if (pending->done)
        pending_.remove_if([pending](const Pending& p) { return &p == pending; });
    return status;
}

void RemoteLink::RequestDone(sergensio*, int err, unsigned, void* data)
{
    auto* pending = static_cast<Pending*>(data);
    RemoteLink* link = pending->link;
    std::lock_guard<std::mutex> lock(link->mutex_);
    pending->done = true;
    pending->err = err;
    link->lastHeard_ = Clock::now();
    link->changed_.notify_all();
}

void RemoteLink::Close(int timeoutMs)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (shut_)
            return;
        shut_ = true;
        open_ = false;
        changed_.notify_all();
        keepAlive_ = shared_from_this();
    }
    if (gensio_close(io_, &RemoteLink::CloseDone, this) != 0) {
        // Already closed (a failed open, or gensio closed it itself).
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        keepAlive_.reset();
        return;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_until(lock, Deadline(timeoutMs), [&] { return closed_; });
}

void RemoteLink::CloseDone(gensio*, void* data)
{
    auto* link = static_cast<RemoteLink*>(data);
    std::shared_ptr<RemoteLink> self; // the last reference may go here, after the lock
    {
        std::lock_guard<std::mutex> lock(link->mutex_);
        link->closed_ = true;
        self = std::move(link->keepAlive_);
        link->changed_.notify_all();
    }
}

} // namespace remote
