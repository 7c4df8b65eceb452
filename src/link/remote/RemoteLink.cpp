#include "link/remote/RemoteLink.h"

#include "link/remote/GensioLoop.h"
#include "link/remote/StationCertificate.h"

#include <gensio/gensio.h>
#include <gensio/gensio_err.h>
#include <gensio/sergensio.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>
#include <utility>
#include <vector>

namespace remote {

namespace {

using Clock = std::chrono::steady_clock;

// Received bytes held before the connection is told to stop reading; reads
// let it go on again as they take bytes.
constexpr std::size_t kReceiveLimit = 64 * 1024;

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

// The name the station's certificate must carry.
std::string ExpectedName(const RemoteStation& station)
{
    if (!station.serverName.empty())
        return station.serverName;
    const std::optional<HostPort> where = ParseHostPort(station.address);
    return where ? where->host : station.address;
}

RemoteLink::Failure OpenFailure(const RemoteStation& station, int err)
{
    const std::string& at = station.address;
    switch (err) {
    case GE_CONNREFUSE:
        return {"The remote station " + at + " refused the connection.", true};
    case GE_NOTFOUND:
    case GE_UNKNOWN_NAME_ERROR:
    case GE_NAME_ERROR:
    case GE_NAME_SERVER_FAILURE:
    case GE_NAME_INVALID:
    case GE_NAME_NET_NOT_UP:
        return {"The address of the remote station " + at + " could not be resolved.", true};
    case GE_HOSTDOWN:
        return {"The remote station " + at + " cannot be reached."};
    case GE_TIMEDOUT:
        return {"The remote station " + at + " did not complete the connection in time: is an RFC 2217 " +
                "server (ser2net) listening there?"};
    case GE_CERTINVALID:
    case GE_CERTEXPIRED:
    case GE_CERTREVOKED:
    case GE_CERTNOTFOUND:
        return {"The certificate of the remote station " + at + " did not verify against the CA file " +
                    station.caFile + ".",
                true};
    case GE_KEYINVALID:
    case GE_KEYNOTFOUND:
        return {"The client certificate or key for " + at + " could not be used.", true};
    case GE_REMCLOSE:
        if (!station.tls)
            return {"The remote station " + at + " closed the connection at once: is its port in use, or does " +
                    "it expect TLS (--remote-tls)?"};
        // A TLS server that hangs up during the handshake after our
        // certificate check passed: it wanted a client certificate.
        [[fallthrough]];
    case GE_NOCERT:
    case GE_AUTHREJECT:
        return {"The remote station " + at + " refused the connection: it demands a client certificate" +
                    (station.certFile.empty() ? std::string(" and none is configured.")
                                              : " and did not accept " + station.certFile + "."),
                true};
    default:
        return {"The connection to the remote station " + at + " failed: " + GensioLoop::ErrorText(err) + "."};
    }
}

const char* SettingName(RemoteLink::Setting setting)
{
    static const char* const kNames[] = {"baud rate", "data bits", "parity", "stop bits", "flow control", "DTR", "RTS"};
    return kNames[static_cast<int>(setting)];
}

// A setting's value as the user knows it: "115200 baud", "even parity", "DTR on".
std::string ValueText(RemoteLink::Setting setting, unsigned value)
{
    using S = RemoteLink::Setting;
    switch (setting) {
    case S::Baud:
        return std::to_string(value) + " baud";
    case S::DataSize:
        return std::to_string(value) + " data bits";
    case S::Parity: {
        static const char* const kParity[] = {"no parity", "odd parity", "even parity", "mark parity", "space parity"};
        return value >= 1 && value <= 5 ? kParity[value - 1] : "parity " + std::to_string(value);
    }
    case S::StopBits:
        return std::to_string(value) + (value == 1 ? " stop bit" : " stop bits");
    case S::FlowControl:
        return value == SERGENSIO_FLOWCONTROL_NONE       ? "no flow control"
               : value == SERGENSIO_FLOWCONTROL_XON_XOFF ? "XON/XOFF flow control"
               : value == SERGENSIO_FLOWCONTROL_RTS_CTS  ? "RTS/CTS flow control"
                                                         : "flow control " + std::to_string(value);
    case S::Dtr:
    case S::Rts: {
        std::string text(SettingName(setting));
        text += ' ';
        text += value == SERGENSIO_DTR_ON    ? std::string("on")
                : value == SERGENSIO_DTR_OFF ? std::string("off")
                                             : std::to_string(value);
        return text;
    }
    }
    return std::to_string(value);
}

} // namespace

RemoteLink::RemoteLink(std::shared_ptr<GensioLoop> loop, const RemoteStation& station, const Liveness& liveness)
    : loop_(std::move(loop)), station_(station), liveness_(liveness)
{
}

RemoteLink::~RemoteLink()
{
    if (io_)
        gensio_free(io_);
}

std::shared_ptr<RemoteLink> RemoteLink::Connect(std::shared_ptr<GensioLoop> loop, const RemoteStation& station,
                                                const Liveness& liveness, int timeoutMs, Failure* failure)
{
    auto fail = [failure](Failure why) -> std::shared_ptr<RemoteLink> {
        if (failure)
            *failure = std::move(why);
        return nullptr;
    };
    const std::optional<HostPort> where = ParseHostPort(station.address);
    if (!where)
        return fail({"The remote station address \"" + station.address + "\" is not HOST:PORT.", true});

    // A file that cannot be read would otherwise show as a certificate
    // that does not verify.
    const std::pair<const std::string*, const char*> files[] = {
        {&station.caFile, "CA file"}, {&station.certFile, "client certificate"}, {&station.keyFile, "client key"}};
    for (const auto& [file, what] : files) {
        if (station.tls && !file->empty() && !std::ifstream(*file).good())
            return fail(
                {std::string("The ") + what + " " + *file + " for " + station.address + " cannot be read.", true});
    }

    std::shared_ptr<RemoteLink> link(new RemoteLink(loop, station, liveness));
    const std::string stack = StackFor(station, *where);
    int err = str_to_gensio(stack.c_str(), loop->Os(), &RemoteLink::Event, link.get(), &link->io_);
    if (err) // the name is looked up here already
        return fail(OpenFailure(station, err));
    link->sio_ = gensio_to_sergensio(link->io_);

    err = gensio_open(link->io_, &RemoteLink::OpenDone, link.get());
    if (err)
        return fail(OpenFailure(station, err));
    std::string certProblem;
    const auto deadline = Deadline(timeoutMs);
    {
        std::unique_lock<std::mutex> lock(link->mutex_);
        link->changed_.wait_until(lock, deadline, [&] { return link->openDone_; });
        if (link->openDone_ && link->openErr_ == 0) {
            link->open_ = true;
            link->lastHeard_ = Clock::now();
        } else {
            err = link->openDone_ ? link->openErr_ : GE_TIMEDOUT;
            certProblem = link->certProblem_;
        }
    }
    if (err) {
        link->Close();
        return fail(certProblem.empty() ? OpenFailure(station, err) : Failure{certProblem, true});
    }
    link->SwitchReading();
    // gensio turns serial-port requests down until the server has agreed to
    // the COM-port option, just after the open; the first liveness question
    // goes out once it has.
    for (;;) {
        std::unique_lock<std::mutex> lock(link->mutex_);
        if (!link->open_) {
            err = GE_REMCLOSE; // a TLS server, say, that the telnet greeting made hang up
            break;
        }
        err = link->SendProbe(lock);
        if (err != GE_NOTSUP || Clock::now() >= deadline)
            break;
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (err) {
        link->Close();
        if (err == GE_REMCLOSE)
            return fail(OpenFailure(station, err));
        return fail({"The remote station " + station.address +
                     " does not offer serial-port control: is an RFC 2217 server (ser2net) listening there" +
                     (station.tls ? "?" : ", or does it expect TLS (--remote-tls)?")});
    }
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
            link->Lost(err == GE_REMCLOSE ? "The remote station " + link->station_.address + " closed the connection."
                                          : "The connection to the remote station " + link->station_.address +
                                                " broke: " + GensioLoop::ErrorText(err) + ".");
            return 0;
        }
        bool pause = false;
        {
            std::lock_guard<std::mutex> lock(link->mutex_);
            if (!link->shut_)
                link->received_.insert(link->received_.end(), buf, buf + *len);
            link->lastHeard_ = Clock::now();
            pause = !link->readPaused_ && link->received_.size() >= kReceiveLimit;
            link->readPaused_ = link->readPaused_ || pause;
            link->changed_.notify_all();
        }
        if (pause)
            link->SwitchReading();
        return 0;
    }
    case GENSIO_EVENT_WRITE_READY: {
        gensio_set_write_callback_enable(link->io_, false);
        std::lock_guard<std::mutex> lock(link->mutex_);
        link->writeReady_ = true;
        link->changed_.notify_all();
        return 0;
    }
    case GENSIO_EVENT_POSTCERT_VERIFY:
        // `buf` is OpenSSL's text for a chain that did not verify.
        return link->CheckCertificate(err, buf ? reinterpret_cast<const char*>(buf) : "");
    default:
        // Modem- and line-state reports, flow-control and the like: nothing
        // the program looks at.
        return GE_NOTSUP;
    }
}

// On the loop thread during the TLS handshake, before any data passes: the
// chain has been checked against the CA file (`err` says how that went);
// the certificate must also be the station's own.
int RemoteLink::CheckCertificate(int err, const std::string& text)
{
    const std::string& at = station_.address;
    auto refuse = [this](const std::string& why) {
        std::lock_guard<std::mutex> lock(mutex_);
        certProblem_ = why;
        return GE_CERTINVALID;
    };
    if (err) {
        const std::string why = err == GE_CERTNOTFOUND  ? "is not signed by the CA in " + station_.caFile + "."
                                : err == GE_CERTEXPIRED ? std::string("has expired.")
                                : err == GE_CERTREVOKED ? std::string("has been revoked.")
                                                        : VerifyFailure(text, station_.caFile);
        refuse("The certificate of the remote station " + at + " " + why);
        return err;
    }
    std::vector<char> pem(16 * 1024);
    gensiods size = pem.size();
    err = gensio_control(io_, GENSIO_CONTROL_DEPTH_FIRST, GENSIO_CONTROL_GET, GENSIO_CONTROL_CERT, pem.data(), &size);
    if (err || size >= pem.size())
        return refuse("The certificate of the remote station " + at + " could not be read.");
    const std::string expected = ExpectedName(station_);
    const NameCheck check = CheckStationName(std::string(pem.data(), size), expected);
    if (!check.forServer)
        return refuse("The certificate of the remote station " + at +
                      " is not meant for a server (its extendedKeyUsage lacks serverAuth): is it an operator's?");
    if (!check.matches)
        return refuse("The certificate of the remote station " + at + " is for " + check.names + ", not " + expected +
                      ": if that is the station's own name, give it with --remote-name.");
    return 0;
}

void RemoteLink::Lost(const std::string& why)
{
    std::lock_guard<std::mutex> lock(mutex_);
    LostLocked(why);
}

void RemoteLink::LostLocked(const std::string& why)
{
    // The first reason stays: what follows a loss only echoes it.
    if (open_)
        lostWhy_ = why;
    open_ = false;
    changed_.notify_all();
}

std::string RemoteLink::LastProblem() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return problem_;
}

void RemoteLink::SwitchReading()
{
    std::lock_guard<std::mutex> decision(readSwitch_);
    bool wanted = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        wanted = open_ && !readPaused_;
    }
    if (wanted != readEnabled_) {
        gensio_set_read_callback_enable(io_, wanted);
        readEnabled_ = wanted;
    }
}

bool RemoteLink::ProbeAnswered() const
{
    // Any answer or byte counts: the server is there.
    return lastHeard_ >= probeSent_;
}

FT_STATUS RemoteLink::Read(void* buffer, DWORD count, DWORD* got, int timeoutMs)
{
    *got = 0;
    bool resume = false;
    FT_STATUS status = FT_OK;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        const auto deadline = Deadline(timeoutMs);
        const auto quiet = std::chrono::milliseconds(liveness_.quietMs);
        const auto answerWithin = std::chrono::milliseconds(liveness_.answerMs);
        const auto ready = [&] { return received_.size() >= count || !open_ || shut_; };
        while (!ready()) {
            const auto now = Clock::now();
            if (probing_ && ProbeAnswered())
                probing_ = false;
            if (probing_ && now - probeSent_ >= answerWithin) {
                LostLocked("The remote station " + station_.address + " stopped answering: nothing came back within " +
                           std::to_string(liveness_.answerMs) + " ms.");
                break;
            }
            if (now >= deadline)
                break;
            if (!probing_ && now - lastHeard_ >= quiet) {
                SendProbe(lock);
                continue;
            }
            changed_.wait_until(lock, std::min(deadline, probing_ ? probeSent_ + answerWithin : lastHeard_ + quiet),
                                ready);
        }
        if (shut_)
            return FT_INVALID_HANDLE;
        const std::size_t n = std::min<std::size_t>(count, received_.size());
        std::copy_n(received_.begin(), n, static_cast<std::uint8_t*>(buffer));
        received_.erase(received_.begin(), received_.begin() + static_cast<std::ptrdiff_t>(n));
        *got = static_cast<DWORD>(n);
        // What came before a loss is still delivered; after it, the loss.
        if (n == 0 && !open_) {
            problem_ = lostWhy_;
            status = FT_IO_ERROR;
        }
        if (readPaused_ && received_.size() < kReceiveLimit / 2) {
            readPaused_ = false;
            resume = true;
        }
    }
    if (resume)
        SwitchReading();
    return status;
}

int RemoteLink::SendProbe(std::unique_lock<std::mutex>& lock)
{
    // Baud rate 0 asks for the current rate and changes nothing.
    pending_.push_back(Pending{this, Setting::Baud, 0});
    Pending* probe = &pending_.back();
    probe->abandoned = true; // judged by whatever comes back, not by its own answer
    probing_ = true;
    probeSent_ = Clock::now();
    return Send(probe, lock);
}

int RemoteLink::Send(Pending* pending, std::unique_lock<std::mutex>& lock)
{
    lock.unlock();
    const unsigned value = pending->asked;
    int err = 0;
    switch (pending->setting) {
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
    lock.lock();
    // Not sent: no answer will come, and no callback will touch it.
    if (err) {
        pending->done = true;
        pending->err = err;
        if (pending->abandoned)
            pending_.remove_if([pending](const Pending& p) { return &p == pending; });
    }
    return err;
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
            if (!open_) {
                problem_ = lostWhy_;
                return FT_IO_ERROR;
            }
            writeReady_ = false;
        }
        gensiods n = 0;
        const int err = gensio_write(io_, &n, bytes + *written, count - *written, nullptr);
        if (err) {
            std::lock_guard<std::mutex> lock(mutex_);
            LostLocked("The connection to the remote station " + station_.address +
                       " broke: " + GensioLoop::ErrorText(err) + ".");
            problem_ = lostWhy_;
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
    bool resume = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (shut_)
            return FT_INVALID_HANDLE;
        if (!open_) {
            problem_ = lostWhy_;
            return FT_IO_ERROR;
        }
        if (mask & FT_PURGE_RX) {
            received_.clear();
            resume = readPaused_;
            readPaused_ = false;
        }
    }
    // An empty queue takes bytes again.
    if (resume)
        SwitchReading();
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
    std::unique_lock<std::mutex> lock(mutex_);
    if (shut_)
        return FT_INVALID_HANDLE;
    if (!open_) {
        problem_ = lostWhy_;
        return FT_IO_ERROR;
    }
    pending_.push_back(Pending{this, setting, value});
    Pending* pending = &pending_.back();
    Send(pending, lock);
    changed_.wait_until(lock, Deadline(timeoutMs), [&] { return pending->done || !open_ || shut_; });
    FT_STATUS status = FT_IO_ERROR;
    if (shut_) {
        status = FT_INVALID_HANDLE;
    } else if (!open_) {
        problem_ = lostWhy_;
    } else if (!pending->done || pending->err == GE_TIMEDOUT) {
        // gensio hands each answer to the oldest request it could belong
        // to, so a request left unanswered would take a later answer meant
        // for another: no setting could be trusted after it. The link ends
        // here, for this reason.
        LostLocked("The remote station " + station_.address + " did not answer the " + SettingName(setting) +
                   " request within " + std::to_string(timeoutMs) + " ms: its serial port may have no such line.");
        problem_ = lostWhy_;
    } else if (pending->err) {
        problem_ = "The remote station " + station_.address +
                   " turned down a serial-port request: " + GensioLoop::ErrorText(pending->err) + ".";
    } else if (pending->answer != value) {
        problem_ = "The remote station " + station_.address + " did not take the setting: asked " +
                   ValueText(setting, value) + ", the station set " + ValueText(setting, pending->answer) + ".";
    } else {
        status = FT_OK;
    }
    // An answered request is forgotten; one still in flight is left to its
    // answer, which may yet arrive.
    if (pending->done)
        pending_.remove_if([pending](const Pending& p) { return &p == pending; });
    else
        pending->abandoned = true;
    return status;
}

void RemoteLink::RequestDone(sergensio*, int err, unsigned value, void* data)
{
    auto* pending = static_cast<Pending*>(data);
    RemoteLink* link = pending->link;
    std::lock_guard<std::mutex> lock(link->mutex_);
    pending->done = true;
    pending->err = err;
    pending->answer = value;
    // A request that gensio gave up on locally is no sign of the station.
    if (err == 0)
        link->lastHeard_ = Clock::now();
    if (pending->abandoned)
        link->pending_.remove_if([pending](const Pending& p) { return &p == pending; });
    link->changed_.notify_all();
}

void RemoteLink::Close()
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
    // The close runs on gensio's thread and nobody here waits for it. A TLS
    // goodbye to a station that is gone completes only when TCP gives up on
    // it; gensio must be left to finish it (disabling a gensio whose
    // callbacks may still run is not allowed), so the link keeps itself
    // alive until then.
    if (gensio_close(io_, &RemoteLink::CloseDone, this) != 0) {
        // Already closed (a failed open, or gensio closed it itself).
        std::shared_ptr<RemoteLink> self;
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        self = std::move(keepAlive_);
        changed_.notify_all();
    }
}

bool RemoteLink::WaitClosed(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_until(lock, Deadline(timeoutMs), [&] { return closed_; });
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
