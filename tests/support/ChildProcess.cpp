#include "support/ChildProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& args, const Options& options,
                         std::string& error)
{
    if (pid_ != 0) {
        error = "already started";
        return false;
    }
    // Everything the child needs is made before the fork: after it, in a
    // process with threads, the child may only make system calls.
    std::vector<std::string> argStore;
    argStore.reserve(args.size() + 1);
    argStore.push_back(program);
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argStore)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    int errorFd = -1;
    if (!options.errorFile.empty()) {
        errorFd = ::open(options.errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (errorFd < 0) {
            error = "cannot write " + options.errorFile + ": " + std::strerror(errno);
            return false;
        }
    }
    // The child reports a failed exec through this pipe; exec closes it.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        if (errorFd >= 0)
            ::close(errorFd);
        return false;
    }
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(127);
        int failed = 0;
        if (errorFd >= 0 && ::dup2(errorFd, STDERR_FILENO) < 0)
            failed = errno;
        if (!failed && !options.dir.empty() && ::chdir(options.dir.c_str()) != 0)
            failed = errno;
        if (!failed) {
            ::execv(program.c_str(), argv.data());
            failed = errno;
        }
        [[maybe_unused]] const ssize_t written = ::write(report[1], &failed, sizeof failed);
        ::_exit(127);
    }
    const int forkErrno = errno;
    ::close(report[1]);
    if (errorFd >= 0)
        ::close(errorFd);
    if (pid < 0) {
        ::close(report[0]);
        error = std::string("fork: ") + std::strerror(forkErrno);
        return false;
    }
    int failed = 0;
    ssize_t got;
    do
        got = ::read(report[0], &failed, sizeof failed);
    while (got < 0 && errno == EINTR);
    ::close(report[0]);
    pid_ = pid;
    exitCode_ = -1;
    if (got == static_cast<ssize_t>(sizeof failed)) {
        Wait(5000);
        error = "cannot start " + program + ": " + std::strerror(failed);
        return false;
    }
    return true;
}

void ChildProcess::Reaped(int status)
{
    pid_ = 0;
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool ChildProcess::Running()
{
    if (pid_ == 0)
        return false;
    int status = 0;
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
        Reaped(status);
        return false;
    }
    if (done < 0 && errno == ECHILD) { // reaped elsewhere: its exit code is lost
        pid_ = 0;
        exitCode_ = -1;
        return false;
    }
    return true;
}

bool ChildProcess::Wait(int ms)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (Running()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void ChildProcess::Terminate()
{
    if (pid_ != 0)
        ::kill(pid_, SIGTERM);
}

void ChildProcess::Kill()
{
    if (pid_ != 0)
        ::kill(pid_, SIGKILL);
}

void ChildProcess::Stop(int graceMs)
{
    Terminate();
    if (!Wait(graceMs)) {
        Kill();
        Wait(graceMs);
    }
}

ChildProcess::~ChildProcess()
{
    Kill();
    Wait(5000);
}

int ChildProcess::Run(const std::string& program, const std::vector<std::string>& args, const Options& options, int ms)
{
    ChildProcess child;
    std::string error;
    if (!child.Start(program, args, options, error))
        return -1;
    if (!child.Wait(ms))
        return -1;
    return child.ExitCode();
}
