#include "support/ChildProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <poll.h>
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
    // The child reports a failed exec through `report`; exec closes it.
    int report[2] = {-1, -1};
    int input[2] = {-1, -1};
    int output[2] = {-1, -1};
    auto closeAll = [&] {
        for (int fd : {errorFd, report[0], report[1], input[0], input[1], output[0], output[1]})
            if (fd >= 0)
                ::close(fd);
    };
    if (::pipe2(report, O_CLOEXEC) != 0 || (options.pipeInput && ::pipe2(input, O_CLOEXEC) != 0) ||
        (options.pipeOutput && ::pipe2(output, O_CLOEXEC) != 0)) {
        error = std::string("pipe: ") + std::strerror(errno);
        closeAll();
        return false;
    }
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(127);
        // dup2 leaves the copy open across exec; a pipe end that is already
        // the target keeps its close-on-exec flag, so that is cleared.
        auto give = [](int fd, int target) {
            if (fd < 0)
                return 0;
            if (fd == target)
                return ::fcntl(fd, F_SETFD, 0) == 0 ? 0 : errno;
            return ::dup2(fd, target) < 0 ? errno : 0;
        };
        int failed = give(errorFd, STDERR_FILENO);
        if (!failed)
            failed = give(input[0], STDIN_FILENO);
        if (!failed)
            failed = give(output[1], STDOUT_FILENO);
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
    for (int* fd : {&errorFd, &report[1], &input[0], &output[1]}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
    if (pid < 0) {
        closeAll();
        error = std::string("fork: ") + std::strerror(forkErrno);
        return false;
    }
    inputFd_ = input[1];
    outputFd_ = output[0];
    output_.clear();
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
        CloseInput();
        CloseOutput();
        error = "cannot start " + program + ": " + std::strerror(failed);
        return false;
    }
    return true;
}

bool ChildProcess::Running()
{
    if (pid_ == 0)
        return false;
    int status = -1; // stays so for a child reaped elsewhere: its exit code is lost
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_ || (done < 0 && errno == ECHILD)) {
        pid_ = 0;
        exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
    CloseInput();
    Kill();
    Wait(5000);
    CloseOutput();
}

void ChildProcess::CloseInput()
{
    if (inputFd_ >= 0)
        ::close(inputFd_);
    inputFd_ = -1;
}

void ChildProcess::CloseOutput()
{
    if (outputFd_ >= 0)
        ::close(outputFd_);
    outputFd_ = -1;
}

bool ChildProcess::ReadMore(int ms)
{
    if (outputFd_ < 0)
        return false;
    pollfd ready{outputFd_, POLLIN, 0};
    int polled;
    do
        polled = ::poll(&ready, 1, ms);
    while (polled < 0 && errno == EINTR);
    if (polled <= 0)
        return false;
    char buffer[4096];
    ssize_t got;
    do
        got = ::read(outputFd_, buffer, sizeof buffer);
    while (got < 0 && errno == EINTR);
    if (got <= 0) {
        CloseOutput();
        return false;
    }
    output_.append(buffer, static_cast<std::size_t>(got));
    return true;
}

bool ChildProcess::ReadLine(std::string& line, int ms)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const std::size_t end = output_.find('\n');
        if (end != std::string::npos) {
            line = output_.substr(0, end);
            output_.erase(0, end + 1);
            return true;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0 || !ReadMore(static_cast<int>(left))) {
            if (outputFd_ >= 0 || output_.empty())
                return false;
            line.swap(output_); // the last line, without a line end
            output_.clear();
            return true;
        }
    }
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
