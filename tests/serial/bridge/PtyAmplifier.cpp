// The simulated amplifier behind a pseudo-terminal.
//
// Prints the slave's name on the first line of standard output, then answers
// whatever is written to that tty as the amplifier would, until standard
// input ends (or the program is killed). Every key code the amplifier
// receives is reported on a line of its own, "key <decimal code>".
//
// Used by the serial backend's end-to-end tests; by hand it gives the serial
// backend a device to talk to without hardware. A pseudo-terminal carries no
// modem lines, so the amplifier starts switched on.
#include "sim/SimAmplifier.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

bool WriteAll(int fd, const std::uint8_t* bytes, std::size_t count)
{
    while (count > 0) {
        const ssize_t n = ::write(fd, bytes, count);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

int Fail(const char* what)
{
    std::fprintf(stderr, "vorlinq_pty_amplifier: %s: %s\n", what, std::strerror(errno));
    return 1;
}

} // namespace

int main()
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
        return Fail("no pseudo-terminal");
    const char* name = ::ptsname(master);
    if (!name)
        return Fail("ptsname");

    // Hold the slave open ourselves: the pair then outlives the program's
    // opens and closes, and it is raw from the start, so nothing is echoed
    // back before the serial backend has configured it.
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0)
        return Fail("open slave");
    termios t{};
    if (::tcgetattr(slave, &t) == 0) {
        cfmakeraw(&t);
        (void)::tcsetattr(slave, TCSANOW, &t);
    }

    std::printf("%s\n", name);
    std::fflush(stdout);

    sim::SimAmplifier amplifier(true);
    std::size_t keysReported = 0;
    std::vector<std::uint8_t> answer;
    std::uint8_t buffer[4096];
    for (;;) {
        pollfd fds[2] = {{master, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return Fail("poll");
        }
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n <= 0)
                return 0; // standard input ended: done
        }
        if (!(fds[0].revents & POLLIN))
            continue;
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0)
            continue;
        answer.clear();
        amplifier.Consume(buffer, static_cast<std::size_t>(n), answer);
        if (!answer.empty() && !WriteAll(master, answer.data(), answer.size()))
            return Fail("write");
        const std::vector<std::uint8_t>& keys = amplifier.KeyCodes();
        for (; keysReported < keys.size(); ++keysReported)
            std::printf("key %u\n", static_cast<unsigned>(keys[keysReported]));
        std::fflush(stdout);
    }
}
