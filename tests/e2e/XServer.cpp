#include "XServer.h"

#include <QStandardPaths>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kStartTimeoutMs = 15000;
constexpr int kStopTimeoutMs = 5000;

bool WaitExit(pid_t pid, int timeoutMs)
{
    for (int waited = 0; waited < timeoutMs; waited += 10) {
        const pid_t done = waitpid(pid, nullptr, WNOHANG);
        if (done == pid || (done < 0 && errno == ECHILD))
            return true;
        usleep(10 * 1000);
    }
    return false;
}

} // namespace

XServer::~XServer()
{
    Stop();
}

bool XServer::Start(const QString& logPath, std::string& error)
{
    const QString program = QStandardPaths::findExecutable("Xvfb");
    if (program.isEmpty()) {
        error = "Xvfb is not installed (Debian package xvfb; scripts/setup installs it)";
        return false;
    }
    int ready[2];
    if (pipe(ready) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    fcntl(ready[0], F_SETFD, FD_CLOEXEC);
    const int log = open(logPath.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);

    // Everything the child needs is built before the fork.
    const std::string path = program.toStdString();
    const std::string fd = std::to_string(ready[1]);
    const std::string screen = std::to_string(kWidth) + "x" + std::to_string(kHeight) + "x24";
    const char* const argv[] = {"Xvfb",         "-displayfd", fd.c_str(), "-screen",  "0",
                                screen.c_str(), "-nolisten",  "tcp",      "-noreset", nullptr};

    pid_ = fork();
    if (pid_ == 0) {
        if (log >= 0) {
            dup2(log, STDOUT_FILENO);
            dup2(log, STDERR_FILENO);
        }
        execv(path.c_str(), const_cast<char* const*>(argv));
        _exit(127);
    }
    close(ready[1]);
    if (log >= 0)
        close(log);
    if (pid_ < 0) {
        close(ready[0]);
        error = std::string("fork: ") + std::strerror(errno);
        return false;
    }

    // Xvfb writes its display number once it listens.
    std::string number;
    pollfd wait = {ready[0], POLLIN, 0};
    while (number.empty() || number.back() != '\n') {
        if (poll(&wait, 1, kStartTimeoutMs) <= 0)
            break;
        char c = 0;
        if (read(ready[0], &c, 1) != 1)
            break;
        number += c;
    }
    close(ready[0]);
    if (number.empty() || number.back() != '\n') {
        Stop();
        error = "Xvfb did not come up (see " + logPath.toStdString() + ")";
        return false;
    }
    display_ = std::stoi(number);
    return true;
}

void XServer::Stop()
{
    if (pid_ <= 0)
        return;
    kill(pid_, SIGTERM);
    if (!WaitExit(pid_, kStopTimeoutMs)) {
        kill(pid_, SIGKILL);
        WaitExit(pid_, kStopTimeoutMs);
    }
    pid_ = -1;
}
