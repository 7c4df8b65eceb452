#include "support/TcpRelay.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <list>
#include <stdexcept>
#include <vector>

namespace relaytest {

namespace {

sockaddr_in Loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// Closed with a reset, as a dead link or a killed peer ends.
void Reset(int fd)
{
    const linger abort{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    ::close(fd);
}

// One direction of a joined pair: what was read from `from` waits for `to`.
struct Way {
    int from, to, bit;
    std::vector<char> waiting;
    bool ended = false;
};

} // namespace

TcpRelay::TcpRelay(int targetPort) : target_(targetPort)
{
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("the relay cannot listen");
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Run(); });
}

TcpRelay::~TcpRelay()
{
    stop_ = true;
    thread_.join();
    ::close(listener_);
}

void TcpRelay::Cut()
{
    const int ticket = ++cuts_;
    for (int i = 0; i < 1000 && cutsDone_ < ticket; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

void TcpRelay::Run()
{
    std::list<std::pair<Way, Way>> pairs; // up, down
    auto close = [](std::pair<Way, Way>& p) {
        Reset(p.first.from);
        Reset(p.first.to);
    };
    while (!stop_) {
        const int cuts = cuts_;
        if (cutsDone_ != cuts) {
            for (auto& p : pairs)
                close(p);
            pairs.clear();
            cutsDone_ = cuts;
        }
        std::vector<pollfd> fds{{listener_, POLLIN, 0}};
        for (auto& [up, down] : pairs)
            for (Way* way : {&up, &down})
                fds.push_back({way->from, static_cast<short>(way->ended ? 0 : POLLIN), 0});
        ::poll(fds.data(), fds.size(), 10);
        for (int fd; (fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK)) >= 0;) {
            const int server = ::socket(AF_INET, SOCK_STREAM, 0);
            const sockaddr_in target = Loopback(target_);
            if (refuse_ || ::connect(server, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
                Reset(fd);
                Reset(server);
                continue;
            }
            ::fcntl(server, F_SETFL, O_NONBLOCK);
            pairs.push_back({Way{fd, server, kUp, {}}, Way{server, fd, kDown, {}}});
        }
        const int held = held_;
        for (auto it = pairs.begin(); it != pairs.end();) {
            bool done = false;
            for (Way* way : {&it->first, &it->second}) {
                char buffer[65536];
                ssize_t n = 0;
                while (!way->ended && (n = ::read(way->from, buffer, sizeof buffer)) > 0)
                    way->waiting.insert(way->waiting.end(), buffer, buffer + n);
                way->ended |= n == 0 || (n < 0 && errno != EAGAIN);
                while (!(held & way->bit) && !way->waiting.empty()) {
                    n = ::send(way->to, way->waiting.data(), way->waiting.size(), MSG_NOSIGNAL);
                    if (n <= 0 && errno != EAGAIN)
                        way->waiting.clear(); // nobody left to hand it to
                    if (n <= 0)
                        break;
                    way->waiting.erase(way->waiting.begin(), way->waiting.begin() + n);
                }
                // A side that ended closes the pair once what it sent is passed on.
                done |= way->ended && way->waiting.empty();
            }
            if (done) {
                close(*it);
                it = pairs.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& p : pairs)
        close(p);
}

} // namespace relaytest
