#include "server/SimulatorServer.h"

#include "link/RemoteStation.h"
#include "link/remote/GensioLoop.h"

#include <gensio/gensio.h>
#include <gensio/gensio_control.h>
#include <gensio/sergensio.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace server {

namespace {

// How long the pump's reads of the device wait: the delay an answer can
// have on top of the device's own pace, and how soon the pump notices a stop.
constexpr ULONG kPumpReadMs = 2;
constexpr UCHAR kStationLatencyMs = 1;
constexpr auto kShutdownWait = std::chrono::seconds(2);
constexpr char kSignature[] = "Vorlinq simulated amplifier";

void FreeWhenClosed(gensio* io, void*)
{
    gensio_free(io);
}

} // namespace

struct Session {
    void* server = nullptr; // the SimulatorServer::Impl it belongs to
    gensio* io = nullptr;
    sergensio* sio = nullptr;
    FT_HANDLE handle = nullptr;
    std::thread pump;
    std::atomic<bool> stop{false};
    bool ending = false; // under the server's mutex
    bool closed = false; // under the server's mutex

    // What gensio could not take yet, in order.
    std::mutex outMutex;
    std::vector<std::uint8_t> outbox;
    // What the client sent and asked, in its order, not yet done on the
    // device: the pump does it, since a device write takes the bytes' time on
    // the line, which gensio's thread must not wait out. A purge stays behind
    // the bytes sent before it.
    struct Step {
        std::vector<std::uint8_t> bytes;
        ULONG purge = 0; // with no bytes: purge these queues
    };
    std::mutex inMutex;
    std::deque<Step> inbox;

    // The port settings in force, as answered to the client.
    unsigned baud = 115200;
    unsigned dataSize = 8;
    unsigned parity = SERGENSIO_PARITY_NONE;
    unsigned stopBits = 1;
    unsigned flow = SERGENSIO_FLOWCONTROL_NONE;
    unsigned dtr = SERGENSIO_DTR_ON;
    unsigned rts = SERGENSIO_RTS_OFF;
};

struct SimulatorServer::Impl {
    explicit Impl(FtdiDriver& d) : device(d) {}

    static int AcceptEvent(gensio_accepter* acc, void* user, int event, void* data);
    static int SessionEvent(gensio* io, void* user, int event, int err, unsigned char* buf, gensiods* len,
                            const char* const* aux);
    static void SessionClosed(gensio* io, void* data);
    static void AccepterDown(gensio_accepter* acc, void* data);

    void Begin(gensio* io);
    void End(const std::shared_ptr<Session>& session);
    void Pump(Session* session);
    void Send(Session& session, const std::uint8_t* bytes, std::size_t count);
    void Flush(Session& session); // with outMutex held
    int Setting(Session& session, int event, unsigned value);

    FtdiDriver& device;
    std::shared_ptr<remote::GensioLoop> loop;
    gensio_accepter* acc = nullptr;
    int port = 0;
    std::mutex mutex;
    std::condition_variable changed;
    bool accepterDown = false;
    std::shared_ptr<Session> session;
};

SimulatorServer::SimulatorServer(FtdiDriver& device) : impl_(std::make_unique<Impl>(device)) {}

SimulatorServer::~SimulatorServer()
{
    Stop();
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
    return true;
}

int SimulatorServer::Port() const
{
    return impl_->port;
}

void SimulatorServer::Stop()
{
    if (!impl_->acc)
        return;
    std::unique_lock<std::mutex> lock(impl_->mutex);
    impl_->accepterDown = false;
    const bool waiting = gensio_acc_shutdown(impl_->acc, &Impl::AccepterDown, impl_.get()) == 0;
    if (waiting)
        impl_->changed.wait_for(lock, kShutdownWait, [this] { return impl_->accepterDown; });
    std::shared_ptr<Session> session = impl_->session;
    lock.unlock();
    if (waiting && !impl_->accepterDown)
        return; // gensio still holds the accepter: keep it rather than free it under its feet
    gensio_acc_free(impl_->acc);
    impl_->acc = nullptr;
    if (session) {
        impl_->End(session);
        lock.lock();
        impl_->changed.wait_for(lock, kShutdownWait, [&] { return session->closed; });
    }
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
    static_cast<Impl*>(user)->Begin(static_cast<gensio*>(data));
    return 0;
}

void SimulatorServer::Impl::Begin(gensio* io)
{
    auto session = std::make_shared<Session>();
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (this->session) {
            // The amplifier has one port: one client at a time.
            if (gensio_close(io, &FreeWhenClosed, nullptr) != 0)
                gensio_free(io);
            return;
        }
        if (device.FT_Open(0, &session->handle) != FT_OK) {
            if (gensio_close(io, &FreeWhenClosed, nullptr) != 0)
                gensio_free(io);
            return;
        }
        session->server = this;
        session->io = io;
        session->sio = gensio_to_sergensio(io);
        this->session = session;
    }
    device.FT_SetTimeouts(session->handle, kPumpReadMs, 1000);
    // A station computer gives its FTDI port a 1 ms latency timer (the udev
    // rule does); a network client has no way to ask for it.
    device.FT_SetLatencyTimer(session->handle, kStationLatencyMs);
    gensio_set_callback(io, &Impl::SessionEvent, session.get());
    session->pump = std::thread([this, s = session.get()] { Pump(s); });
    gensio_set_read_callback_enable(io, true);
}

void SimulatorServer::Impl::End(const std::shared_ptr<Session>& session)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (session->ending)
            return;
        session->ending = true;
    }
    session->stop = true;
    if (session->pump.joinable())
        session->pump.join();
    if (gensio_close(session->io, &Impl::SessionClosed, this) != 0)
        SessionClosed(session->io, this);
}

void SimulatorServer::Impl::SessionClosed(gensio* io, void* data)
{
    auto* impl = static_cast<Impl*>(data);
    std::shared_ptr<Session> ended;
    {
        std::lock_guard<std::mutex> lock(impl->mutex);
        ended = std::move(impl->session);
        if (ended) {
            impl->device.FT_Close(ended->handle);
            ended->closed = true;
        }
        impl->changed.notify_all();
    }
    gensio_free(io);
}

void SimulatorServer::Impl::Pump(Session* session)
{
    std::uint8_t buffer[4096];
    std::deque<Session::Step> steps;
    for (;;) {
        // What the client sent before it went away still reaches the device:
        // the stop comes after the last of it.
        const bool last = session->stop;
        {
            std::lock_guard<std::mutex> lock(session->inMutex);
            steps.swap(session->inbox);
        }
        for (const Session::Step& step : steps) {
            DWORD written = 0;
            if (!step.bytes.empty())
                device.FT_Write(session->handle, step.bytes.data(), static_cast<DWORD>(step.bytes.size()), &written);
            else
                device.FT_Purge(session->handle, step.purge);
        }
        steps.clear();
        if (last)
            break;
        DWORD got = 0;
        if (device.FT_Read(session->handle, buffer, sizeof buffer, &got) != FT_OK)
            std::this_thread::sleep_for(std::chrono::milliseconds(kPumpReadMs));
        else if (got > 0)
            Send(*session, buffer, got);
    }
}

void SimulatorServer::Impl::Send(Session& session, const std::uint8_t* bytes, std::size_t count)
{
    std::lock_guard<std::mutex> lock(session.outMutex);
    session.outbox.insert(session.outbox.end(), bytes, bytes + count);
    Flush(session);
}

void SimulatorServer::Impl::Flush(Session& session)
{
    if (session.outbox.empty())
        return;
    gensiods n = 0;
    if (gensio_write(session.io, &n, session.outbox.data(), session.outbox.size(), nullptr) != 0) {
        session.outbox.clear(); // the client is gone; the read side ends the session
        return;
    }
    session.outbox.erase(session.outbox.begin(), session.outbox.begin() + static_cast<std::ptrdiff_t>(n));
    gensio_set_write_callback_enable(session.io, !session.outbox.empty());
}

int SimulatorServer::Impl::SessionEvent(gensio*, void* user, int event, int err, unsigned char* buf, gensiods* len,
                                        const char* const*)
{
    auto* session = static_cast<Session*>(user);
    auto* impl = static_cast<Impl*>(session->server);
    switch (event) {
    case GENSIO_EVENT_READ: {
        if (err) {
            // The client went away: release the device for the next one.
            std::shared_ptr<Session> current;
            {
                std::lock_guard<std::mutex> lock(impl->mutex);
                if (impl->session.get() == session)
                    current = impl->session;
            }
            gensio_set_read_callback_enable(session->io, false);
            if (current)
                impl->End(current);
            return 0;
        }
        std::lock_guard<std::mutex> lock(session->inMutex);
        session->inbox.push_back({{buf, buf + *len}, 0});
        return 0;
    }
    case GENSIO_EVENT_WRITE_READY: {
        std::lock_guard<std::mutex> lock(session->outMutex);
        impl->Flush(*session);
        return 0;
    }
    case GENSIO_EVENT_SER_SIGNATURE:
        sergensio_signature(session->sio, kSignature, sizeof kSignature - 1, nullptr, nullptr);
        return 0;
    case GENSIO_EVENT_SER_FLUSH: {
        const int what = *reinterpret_cast<int*>(buf);
        ULONG mask = 0;
        // The server's receive buffer holds what the device sent; its
        // transmit buffer what goes to the device.
        if (what == SERGENSIO_FLUSH_RCV_BUFFER || what == SERGENSIO_FLUSH_RCV_XMIT_BUFFERS) {
            mask |= FT_PURGE_RX;
            std::lock_guard<std::mutex> lock(session->outMutex);
            session->outbox.clear();
        }
        if (what == SERGENSIO_FLUSH_XMIT_BUFFER || what == SERGENSIO_FLUSH_RCV_XMIT_BUFFERS)
            mask |= FT_PURGE_TX;
        if (mask) {
            std::lock_guard<std::mutex> lock(session->inMutex);
            session->inbox.push_back({{}, mask});
        }
        return 0;
    }
    case GENSIO_EVENT_SER_BAUD:
    case GENSIO_EVENT_SER_DATASIZE:
    case GENSIO_EVENT_SER_PARITY:
    case GENSIO_EVENT_SER_STOPBITS:
    case GENSIO_EVENT_SER_FLOWCONTROL:
    case GENSIO_EVENT_SER_DTR:
    case GENSIO_EVENT_SER_RTS:
        return impl->Setting(*session, event, static_cast<unsigned>(*reinterpret_cast<int*>(buf)));
    default:
        return GE_NOTSUP;
    }
}

// A request from the client: a value of 0 asks for the setting in force;
// anything else changes it on the device first. The answer is always the
// setting in force afterwards.
int SimulatorServer::Impl::Setting(Session& s, int event, unsigned value)
{
    const FT_HANDLE h = s.handle;
    auto characteristics = [&] {
        const auto word = static_cast<UCHAR>(s.dataSize);
        const auto stop = static_cast<UCHAR>(s.stopBits == 2 ? 2 : 0);
        const auto parity = static_cast<UCHAR>(s.parity - 1);
        device.FT_SetDataCharacteristics(h, word, stop, parity);
    };
    switch (event) {
    case GENSIO_EVENT_SER_BAUD:
        if (value && device.FT_SetBaudRate(h, value) == FT_OK)
            s.baud = value;
        return sergensio_baud(s.sio, s.baud, nullptr, nullptr);
    case GENSIO_EVENT_SER_DATASIZE:
        if (value >= 5 && value <= 8) {
            s.dataSize = value;
            characteristics();
        }
        return sergensio_datasize(s.sio, s.dataSize, nullptr, nullptr);
    case GENSIO_EVENT_SER_PARITY:
        if (value >= SERGENSIO_PARITY_NONE && value <= SERGENSIO_PARITY_SPACE) {
            s.parity = value;
            characteristics();
        }
        return sergensio_parity(s.sio, s.parity, nullptr, nullptr);
    case GENSIO_EVENT_SER_STOPBITS:
        if (value == 1 || value == 2) {
            s.stopBits = value;
            characteristics();
        }
        return sergensio_stopbits(s.sio, s.stopBits, nullptr, nullptr);
    case GENSIO_EVENT_SER_FLOWCONTROL:
        if (value == SERGENSIO_FLOWCONTROL_NONE || value == SERGENSIO_FLOWCONTROL_XON_XOFF ||
            value == SERGENSIO_FLOWCONTROL_RTS_CTS) {
            s.flow = value;
            const USHORT ft = value == SERGENSIO_FLOWCONTROL_RTS_CTS    ? 0x0100
                              : value == SERGENSIO_FLOWCONTROL_XON_XOFF ? 0x0400
                                                                        : 0x0000;
            device.FT_SetFlowControl(h, ft, 0x11, 0x13);
        }
        return sergensio_flowcontrol(s.sio, s.flow, nullptr, nullptr);
    case GENSIO_EVENT_SER_DTR:
        if (value == SERGENSIO_DTR_ON || value == SERGENSIO_DTR_OFF) {
            s.dtr = value;
            value == SERGENSIO_DTR_ON ? device.FT_SetDtr(h) : device.FT_ClrDtr(h);
        }
        return sergensio_dtr(s.sio, s.dtr, nullptr, nullptr);
    case GENSIO_EVENT_SER_RTS:
        if (value == SERGENSIO_RTS_ON || value == SERGENSIO_RTS_OFF) {
            s.rts = value;
            value == SERGENSIO_RTS_ON ? device.FT_SetRts(h) : device.FT_ClrRts(h);
        }
        return sergensio_rts(s.sio, s.rts, nullptr, nullptr);
    default:
        return GE_NOTSUP;
    }
}

} // namespace server
