#pragma once
// A program the tests start beside themselves (a broker, a station), started
// with a plain fork and exec. Qt's process class starts children by a clone
// that shares the parent's memory until exec; the thread sanitizer's runtime
// then runs in the child on the parent's thread state and afterwards loses
// track of the starting thread's locks, reporting races that are none. A
// child started here also ends with the test process. Every wait is bounded.

#include <string>
#include <vector>

#include <sys/types.h>

class ChildProcess {
public:
    struct Options {
        std::string dir;         // working directory; empty: the test's own
        std::string errorFile;   // where the child's standard error goes; empty: the test's own
        bool pipeInput = false;  // its standard input is a pipe from the test (CloseInput ends it)
        bool pipeOutput = false; // its standard output is a pipe to the test (ReadLine)
    };

    ChildProcess() = default;
    ~ChildProcess(); // kills a child still running and reaps it
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts `program` with `args`; false (with `error`) when it could not be started.
    bool Start(const std::string& program, const std::vector<std::string>& args, const Options& options,
               std::string& error);
    bool Start(const std::string& program, const std::vector<std::string>& args)
    {
        std::string error;
        return Start(program, args, {}, error);
    }
    bool Running();
    // Waits up to `ms` for the child to end; true when it has ended.
    bool Wait(int ms);
    void Terminate(); // SIGTERM
    void Kill();      // SIGKILL
    // SIGTERM, then SIGKILL if it is still there after `graceMs`; reaps it.
    void Stop(int graceMs = 5000);
    // The exit code of a child that ended by itself, -1 otherwise.
    int ExitCode() const { return exitCode_; }
    pid_t Pid() const { return pid_; }

    // The next line of its output without the line end, waiting up to `ms`;
    // false when none came in time or the output ended.
    bool ReadLine(std::string& line, int ms);
    void CloseInput();

    // Runs `program` to its end (at most `ms`); its exit code, or -1 when it
    // could not start, was killed by a signal or ran too long.
    static int Run(const std::string& program, const std::vector<std::string>& args, const Options& options,
                   int ms = 30000);

private:
    // Reads what is there within `ms` into `output_`; false at the output's end or on time-out.
    bool ReadMore(int ms);
    void CloseOutput();
    pid_t pid_ = 0;
    int exitCode_ = -1;
    int inputFd_ = -1;
    int outputFd_ = -1;
    std::string output_; // read, not yet taken
};
