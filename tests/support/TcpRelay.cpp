#include "support/TcpRelay.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <list>
#include <stdexcept>
#include <vector>

namespace relaytest {

namespace {

constexpr std::size_t kMaxWaiting = 16 << 20; // bytes held per direction before reading stops
constexpr int kPollMs = 20;

sockaddr_in Loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

void NonBlocking(int fd)
{
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// Closed with a reset, as a dead link or a killed peer ends.
void Reset(int fd)
{
    if (fd < 0)
        return;
    const linger abort{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    ::close(fd);
}

// One way of a joined pair: bytes read from `from` wait in `waiting` until
// they are written to `to`.
struct Way {
    int from = -1;
    int to = -1;
    std::vector<char> waiting;
    bool ended = false; // `from` said end of file or failed
};

struct Pair {
    int client = -1;
    int server = -1;
    Way up, down;
};

} // namespace

TcpRelay::TcpRelay(int targetPort) : target_(targetPort)
{
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 16) != 0 || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ::pipe(wake_) != 0)
        throw std::runtime_error("the relay cannot listen");
    port_ = ntohs(address.sin_port);
    NonBlocking(listener_);
    NonBlocking(wake_[0]);
    thread_ = std::thread([this] { Run(); });
}

TcpRelay::~TcpRelay()
{
    stop_ = true;
    Wake();
    thread_.join();
    ::close(listener_);
    ::close(wake_[0]);
    ::close(wake_[1]);
}

void TcpRelay::Wake()
{
    const char byte = 0;
    [[maybe_unused]] const auto written = ::write(wake_[1], &byte, 1);
}

void TcpRelay::Hold(int directions)
{
    held_ |= directions;
    Wake();
}

void TcpRelay::Release(int directions)
{
    held_ &= ~directions;
    Wake();
}

void TcpRelay::Refuse(bool refuse)
{
    refuse_ = refuse;
}

void TcpRelay::Cut()
{
    std::unique_lock lock(mutex_);
    const int ticket = ++cutsAsked_;
    Wake();
    cutDone_.wait_for(lock, std::chrono::seconds(5), [&] { return cutsDone_ >= ticket; });
}

void TcpRelay::Run()
{
    std::list<Pair> pairs;
    auto closePair = [](Pair& p) {
        Reset(p.client);
        Reset(p.server);
        p.client = p.server = -1;
    };
    while (!stop_) {
        {
            std::lock_guard lock(mutex_);
            if (cutsDone_ < cutsAsked_) {
                for (Pair& p : pairs)
                    closePair(p);
                pairs.clear();
                cutsDone_ = cutsAsked_;
                cutDone_.notify_all();
            }
        }
        const int held = held_;
        std::vector<pollfd> fds{{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        for (Pair& p : pairs) {
            for (auto [way, bit] : {std::pair{&p.up, kUp}, std::pair{&p.down, kDown}}) {
                short from = way->ended || way->waiting.size() >= kMaxWaiting ? 0 : POLLIN;
                short to = !way->waiting.empty() && !(held & bit) ? POLLOUT : 0;
                fds.push_back({way->from, from, 0});
                fds.push_back({way->to, to, 0});
            }
        }
        ::poll(fds.data(), fds.size(), kPollMs);
        char drain[64];
        while (::read(wake_[0], drain, sizeof drain) > 0) {
        }
        for (int fd; (fd = ::accept(listener_, nullptr, nullptr)) >= 0;) {
            if (refuse_) {
                Reset(fd);
                continue;
            }
            const int server = ::socket(AF_INET, SOCK_STREAM, 0);
            const sockaddr_in target = Loopback(target_);
            if (server < 0 || ::connect(server, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
                Reset(fd);
                Reset(server);
                continue;
            }
            NonBlocking(fd);
            NonBlocking(server);
            Pair p;
            p.client = fd;
            p.server = server;
            p.up.from = p.down.to = fd;
            p.up.to = p.down.from = server;
            pairs.push_back(std::move(p));
        }
        const int heldNow = held_;
        for (auto it = pairs.begin(); it != pairs.end();) {
            Pair& p = *it;
            for (auto [way, bit] : {std::pair{&p.up, kUp}, std::pair{&p.down, kDown}}) {
                char buffer[65536];
                while (!way->ended && way->waiting.size() < kMaxWaiting) {
                    const ssize_t n = ::read(way->from, buffer, sizeof buffer);
                    if (n > 0) {
                        way->waiting.insert(way->waiting.end(), buffer, buffer + n);
                        continue;
                    }
                    if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
                        way->ended = true;
                    break;
                }
                while (!(heldNow & bit) && !way->waiting.empty()) {
                    const ssize_t n = ::send(way->to, way->waiting.data(), way->waiting.size(), MSG_NOSIGNAL);
                    if (n <= 0) {
                        if (errno != EAGAIN && errno != EWOULDBLOCK)
                            way->waiting.clear(); // the other end is gone: nobody to hand it to
                        break;
                    }
                    way->waiting.erase(way->waiting.begin(), way->waiting.begin() + n);
                }
            }
            // A side that ended closes the pair once what it sent is passed on.
            const bool done = (p.up.ended && p.up.waiting.empty()) || (p.down.ended && p.down.waiting.empty());
            if (done) {
                closePair(p);
                it = pairs.erase(it);
            } else {
                ++it;
            }
        }
        connections_ = static_cast<int>(pairs.size());
    }
    for (Pair& p : pairs)
        closePair(p);
}

} // namespace relaytest
