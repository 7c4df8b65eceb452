#include "server/SimulatorServer.h"

#include "link/RemoteStation.h"
#include "link/remote/GensioLoop.h"
#include "server/ClientInput.h"
#include "server/PortRequests.h"

#include <gensio/gensio.h>
#include <gensio/gensio_control.h>
#include <gensio/sergensio.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace server {

namespace {

using Clock = std::chrono::steady_clock;

// How long the worker's reads of the device wait: the delay an answer can
// have on top of the device's own pace.
constexpr ULONG kPumpReadMs = 2;
constexpr UCHAR kStationLatencyMs = 1;
// The most of a client's bytes written to the device in one go: about 22 ms
// on the amplifier's line, so the worker notices a client that left, or a
// stop, that soon even in the middle of a long run of bytes.
constexpr std::size_t kWritePiece = 256;
// How long gensio gets to finish closing a connection or the listener.
constexpr auto kShutdownWait = std::chrono::seconds(2);
constexpr char kSignature[] = "Vorlinq simulated amplifier";

int IgnoreEvent(gensio*, void*, int, int, unsigned char*, gensiods*, const char* const*)
{
    return GE_NOTSUP;
}

void FreeWhenClosed(gensio* io, void*)
{
    gensio_free(io);
}

// A connection the server does not serve: closed at once, freed when gensio is done.
void Refuse(gensio* io)
{
    gensio_set_callback(io, &IgnoreEvent, nullptr);
    if (gensio_close(io, &FreeWhenClosed, nullptr) != 0)
        gensio_free(io);
}

} // namespace

struct SimulatorServer::Impl {
    struct Session : std::enable_shared_from_this<Session> {
        Session(Impl* s, gensio* g, std::size_t inputLimit)
            : server(s), io(g), sio(gensio_to_sergensio(g)), input(inputLimit), lastHeard(Clock::now())
        {
        }
        Impl* server;
        gensio* io;
        sergensio* sio;
        FT_HANDLE handle = nullptr; // the worker's
        PortSettings port;          // the worker's

        // Under the server's mutex.
        ClientInput input;
        Clock::time_point lastHeard;
        bool readPaused = false; // reading from the client is off until the device takes what is held
        bool flooded = false;    // the client once sent more than the line carries
        bool gone = false;       // the client left, gave way, or the server stops
        bool closed = false;     // gensio is done with `io`

        // What the device sent that gensio could not take yet.
        std::mutex outMutex;
        std::vector<std::uint8_t> outbox;
    };

    Impl(FtdiDriver& d, ServerLimits l) : device(d), limits(l) {}

    static int AcceptEvent(gensio_accepter* acc, void* user, int event, void* data);
    static void AccepterDown(gensio_accepter* acc, void* data);
    static int SessionEvent(gensio* io, void* user, int event, int err, unsigned char* buf, gensiods* len,
                            const char* const* aux);
    static void SessionClosed(gensio* io, void* data);

    void Accept(gensio* io);
    bool GivesWay(const Session& s) const; // under the mutex
    void EndLocked(Session& s);
    void Queue(Session& s, ClientStep::Kind kind, int request, unsigned value);
    void Work();
    void Serve(Session& s);
    void Do(Session& s, const ClientStep& step);
    void CloseSession(Session& s);
    void Send(Session& s, const std::uint8_t* bytes, std::size_t count);
    void Flush(Session& s); // with outMutex held

    FtdiDriver& device;
    const ServerLimits limits;
    std::shared_ptr<remote::GensioLoop> loop;
    gensio_accepter* acc = nullptr;
    int port = 0;
    std::thread worker;

    std::mutex mutex;
    std::condition_variable changed;
    bool accepterDown = false;
    bool stopping = false;
    // gensio did not finish with the listener or a connection in time: what
    // its callbacks use is then kept for good rather than freed under them.
    bool stuck = false;
    std::shared_ptr<Session> active;                  // the one served
    std::shared_ptr<Session> waiting;                 // the next, until the active one has released the device
    std::vector<std::shared_ptr<Session>> unfinished; // connections gensio did not finish closing
};

SimulatorServer::SimulatorServer(FtdiDriver& device, ServerLimits limits)
    : impl_(std::make_unique<Impl>(device, limits))
{
}

SimulatorServer::~SimulatorServer()
{
    Stop();
    if (impl_->stuck)
        (void)impl_.release(); // see Impl::stuck
}

bool SimulatorServer::Start(const std::string& host, int port, std::string* error)
{
    auto fail = [error](const std::string& text) {
        if (error)
            *error = text;
        return false;
    };
    if (impl_->acc)
        return fail("The server is already running.");
    impl_->loop = remote::GensioLoop::Acquire(error);
    if (!impl_->loop)
        return false;
    const std::string where = host + ":" + std::to_string(port);
    if (!ParseHostPort(where, {}, true))
        return fail("\"" + where + "\" is not an address to listen on.");
    const std::string stack = "telnet(rfc2217),tcp(nodelay)," + host + "," + std::to_string(port);
    int err = str_to_gensio_accepter(stack.c_str(), impl_->loop->Os(), &Impl::AcceptEvent, impl_.get(), &impl_->acc);
    if (err)
        return fail("Cannot listen on " + where + ": " + remote::GensioLoop::ErrorText(err) + ".");
    err = gensio_acc_startup(impl_->acc);
    if (err) {
        gensio_acc_free(impl_->acc);
        impl_->acc = nullptr;
        return fail("Cannot listen on " + where + ": " + remote::GensioLoop::ErrorText(err) + ".");
    }
    char text[16] = "0";
    gensiods len = sizeof text;
    if (gensio_acc_control(impl_->acc, GENSIO_CONTROL_DEPTH_FIRST, true, GENSIO_ACC_CONTROL_LPORT, text, &len) == 0)
        impl_->port = std::atoi(text);
    impl_->stopping = false;
    impl_->worker = std::thread([impl = impl_.get()] { impl->Work(); });
    return true;
}

int SimulatorServer::Port() const
{
    return impl_->port;
}

void SimulatorServer::Stop()
{
    Impl& impl = *impl_;
    if (!impl.acc)
        return;
    // No new connections first; then every connection ends and the worker
    // waits for gensio to be done with each before it returns.
    std::unique_lock<std::mutex> lock(impl.mutex);
    impl.accepterDown = false;
    lock.unlock();
    if (gensio_acc_shutdown(impl.acc, &Impl::AccepterDown, &impl) == 0) {
        lock.lock();
        if (!impl.changed.wait_for(lock, kShutdownWait, [&] { return impl.accepterDown; }))
            impl.stuck = true;
        lock.unlock();
    }
    lock.lock();
    impl.stopping = true;
    if (impl.active)
        impl.EndLocked(*impl.active);
    if (impl.waiting)
        impl.EndLocked(*impl.waiting);
    impl.changed.notify_all();
    lock.unlock();
    if (impl.worker.joinable())
        impl.worker.join();
    if (!impl.stuck)
        gensio_acc_free(impl.acc);
    impl.acc = nullptr;
}

void SimulatorServer::Impl::AccepterDown(gensio_accepter*, void* data)
{
    auto* impl = static_cast<Impl*>(data);
    std::lock_guard<std::mutex> lock(impl->mutex);
    impl->accepterDown = true;
    impl->changed.notify_all();
}

int SimulatorServer::Impl::AcceptEvent(gensio_accepter*, void* user, int event, void* data)
{
    if (event != GENSIO_ACC_EVENT_NEW_CONNECTION)
        return GE_NOTSUP;
    static_cast<Impl*>(user)->Accept(static_cast<gensio*>(data));
    return 0;
}

// On gensio's thread. The newcomer waits for the worker, which serves one
// client at a time; it is refused while a live client holds the device.
void SimulatorServer::Impl::Accept(gensio* io)
{
    std::lock_guard<std::mutex> lock(mutex);
    const bool free = !active && !waiting;
    const bool takeOver = active && !waiting && GivesWay(*active);
    if (stopping || !(free || takeOver)) {
        Refuse(io);
        return;
    }
    if (takeOver)
        EndLocked(*active);
    waiting = std::make_shared<Session>(this, io, limits.inputLimit);
    gensio_set_callback(io, &Impl::SessionEvent, waiting.get());
    changed.notify_all();
}

// A live desk polls about nine times a second and never sends more than
// the line carries; a desk that lost power, or a connection that never
// speaks, does neither.
bool SimulatorServer::Impl::GivesWay(const Session& s) const
{
    return s.gone || s.flooded || Clock::now() - s.lastHeard >= limits.idleLimit;
}

void SimulatorServer::Impl::EndLocked(Session& s)
{
    s.gone = true;
    s.input.Clear(); // what the device has not taken is dropped with the client
    changed.notify_all();
}

// On gensio's thread; never waits for the device.
int SimulatorServer::Impl::SessionEvent(gensio*, void* user, int event, int err, unsigned char* buf, gensiods* len,
                                        const char* const*)
{
    auto* s = static_cast<Session*>(user);
    Impl& impl = *s->server;
    switch (event) {
    case GENSIO_EVENT_READ: {
        std::lock_guard<std::mutex> lock(impl.mutex);
        if (err || s->gone) {
            // The client went away, or the session already ended: release
            // the device for the next one.
            if (!s->gone)
                impl.EndLocked(*s);
            gensio_set_read_callback_enable(s->io, false);
            return 0;
        }
        s->input.PushBytes(buf, *len);
        s->lastHeard = Clock::now();
        if (s->input.Full()) {
            s->flooded = true;
            s->readPaused = true;
            gensio_set_read_callback_enable(s->io, false);
        }
        return 0;
    }
    case GENSIO_EVENT_WRITE_READY: {
        std::lock_guard<std::mutex> lock(s->outMutex);
        impl.Flush(*s);
        return 0;
    }
    case GENSIO_EVENT_SER_SIGNATURE:
        sergensio_signature(s->sio, kSignature, sizeof kSignature - 1, nullptr, nullptr);
        return 0;
    case GENSIO_EVENT_SER_FLUSH:
        impl.Queue(*s, ClientStep::Kind::Purge, *reinterpret_cast<int*>(buf), 0);
        return 0;
    default:
        if (!IsPortRequest(event))
            return GE_NOTSUP;
        impl.Queue(*s, ClientStep::Kind::Setting, event, static_cast<unsigned>(*reinterpret_cast<int*>(buf)));
        return 0;
    }
}

void SimulatorServer::Impl::Queue(Session& s, ClientStep::Kind kind, int request, unsigned value)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (s.gone)
        return;
    s.input.PushRequest(kind, request, value);
    s.lastHeard = Clock::now();
    if (s.input.Full() && !s.readPaused) {
        s.flooded = true;
        s.readPaused = true;
        gensio_set_read_callback_enable(s.io, false);
    }
}

void SimulatorServer::Impl::SessionClosed(gensio* io, void* data)
{
    auto* s = static_cast<Session*>(data);
    {
        std::lock_guard<std::mutex> lock(s->server->mutex);
        s->closed = true;
        s->server->changed.notify_all();
    }
    gensio_free(io);
}

// The worker: serves the clients one after the other until the server stops.
void SimulatorServer::Impl::Work()
{
    for (;;) {
        std::shared_ptr<Session> next;
        bool stop = false;
        {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [this] { return stopping || waiting != nullptr; });
            stop = stopping;
            next = std::move(waiting);
            waiting.reset();
            if (!stop)
                active = next;
        }
        if (stop) {
            if (next)
                CloseSession(*next);
            return;
        }
        Serve(*next);
        CloseSession(*next);
        std::lock_guard<std::mutex> lock(mutex);
        active.reset();
    }
}

void SimulatorServer::Impl::Serve(Session& s)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (s.gone)
            return;
        s.lastHeard = Clock::now();
    }
    if (device.FT_Open(0, &s.handle) != FT_OK)
        return;
    device.FT_SetTimeouts(s.handle, kPumpReadMs, 1000);
    // A station computer gives its FTDI port a 1 ms latency timer (the udev
    // rule does); a network client has no way to ask for it.
    device.FT_SetLatencyTimer(s.handle, kStationLatencyMs);
    gensio_set_read_callback_enable(s.io, true);

    std::uint8_t buffer[4096];
    ClientStep step;
    for (;;) {
        bool have = false;
        bool resume = false;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (s.gone)
                break;
            have = s.input.Take(kWritePiece, step);
            // Only this side turns reading back on, and only while it is
            // off; gensio's thread turned it off and sees no data until then.
            if (s.readPaused && s.input.Drained()) {
                s.readPaused = false;
                resume = true;
            }
        }
        if (resume)
            gensio_set_read_callback_enable(s.io, true);
        if (have)
            Do(s, step);
        DWORD got = 0;
        if (device.FT_Read(s.handle, buffer, sizeof buffer, &got) != FT_OK)
            std::this_thread::sleep_for(std::chrono::milliseconds(kPumpReadMs));
        else if (got > 0)
            Send(s, buffer, got);
    }
    device.FT_Close(s.handle);
    s.handle = nullptr;
}

void SimulatorServer::Impl::Do(Session& s, const ClientStep& step)
{
    switch (step.kind) {
    case ClientStep::Kind::Bytes: {
        DWORD written = 0;
        device.FT_Write(s.handle, step.bytes.data(), static_cast<DWORD>(step.bytes.size()), &written);
        return;
    }
    case ClientStep::Kind::Purge: {
        // The server's receive buffer holds what the device sent; its
        // transmit buffer what goes to the device. Every purge is answered
        // with its own value, as the client waits for that.
        ULONG mask = 0;
        if (step.request == SERGENSIO_FLUSH_RCV_BUFFER || step.request == SERGENSIO_FLUSH_RCV_XMIT_BUFFERS) {
            mask |= FT_PURGE_RX;
            std::lock_guard<std::mutex> lock(s.outMutex);
            s.outbox.clear();
        }
        if (step.request == SERGENSIO_FLUSH_XMIT_BUFFER || step.request == SERGENSIO_FLUSH_RCV_XMIT_BUFFERS)
            mask |= FT_PURGE_TX;
        if (mask)
            device.FT_Purge(s.handle, mask);
        sergensio_flush(s.sio, static_cast<unsigned>(step.request));
        return;
    }
    case ClientStep::Kind::Setting:
        AnswerPortRequest(s.sio, step.request, ApplyPortRequest(device, s.handle, s.port, step.request, step.value));
        return;
    }
}

// Ends the connection and waits until gensio is done with it.
void SimulatorServer::Impl::CloseSession(Session& s)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        EndLocked(s);
    }
    if (gensio_close(s.io, &Impl::SessionClosed, &s) != 0)
        SessionClosed(s.io, &s);
    std::unique_lock<std::mutex> lock(mutex);
    if (!changed.wait_for(lock, kShutdownWait, [&] { return s.closed; })) {
        stuck = true;
        unfinished.push_back(s.shared_from_this());
    }
}

void SimulatorServer::Impl::Send(Session& s, const std::uint8_t* bytes, std::size_t count)
{
    std::lock_guard<std::mutex> lock(s.outMutex);
    // A client that does not read loses what does not fit, as a serial
    // port's receive buffer overruns.
    const std::size_t room = limits.inputLimit > s.outbox.size() ? limits.inputLimit - s.outbox.size() : 0;
    s.outbox.insert(s.outbox.end(), bytes, bytes + std::min(count, room));
    Flush(s);
}

void SimulatorServer::Impl::Flush(Session& s)
{
    if (s.outbox.empty())
        return;
    gensiods n = 0;
    if (gensio_write(s.io, &n, s.outbox.data(), s.outbox.size(), nullptr) != 0) {
        s.outbox.clear(); // the client is gone; the read side ends the session
        return;
    }
    s.outbox.erase(s.outbox.begin(), s.outbox.begin() + static_cast<std::ptrdiff_t>(n));
    gensio_set_write_callback_enable(s.io, !s.outbox.empty());
}

} // namespace server
