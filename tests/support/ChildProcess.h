#pragma once
// A child process started from an argument list, with stdout and stderr going to a log file.
// It is stopped by its own process id only: SIGTERM, then SIGKILL if it has not ended within
// the grace period, and always reaped — also from the destructor when a test fails.

#include <string>
#include <sys/types.h>
#include <vector>

namespace zarn::test {

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts args[0] (looked up in PATH). False, with the reason in `error`, if it cannot start.
    bool Start(const std::vector<std::string>& args, const std::string& logPath, std::string* error);
    // True while the child has not ended (reaps it once it has).
    bool Running();
    // Stops and reaps the child; does nothing when none is running.
    void Stop(int graceMs = 3000);
    pid_t Pid() const { return FPid; }
    // Exit status as waitpid reported it; meaningful once Running() is false.
    int Status() const { return FStatus; }

    // Runs a command to its end, stdin fed from `input`, stdout into `output`; the exit code,
    // or -1 when it could not run.
    static int Run(const std::vector<std::string>& args, const std::string& input, std::string* output);
    // True when `program` is found in PATH.
    static bool InPath(const std::string& program);

private:
    pid_t FPid = -1;
    int FStatus = 0;
};

} // namespace zarn::test
