#include "support/ChildProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace zarn::test {

namespace {

std::vector<char*> Argv(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    return argv;
}

} // namespace

ChildProcess::~ChildProcess()
{
    Stop();
}

bool ChildProcess::Start(const std::vector<std::string>& args, const std::string& logPath, std::string* error)
{
    Stop();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    auto argv = Argv(args);
    const int rc = ::posix_spawnp(&FPid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        FPid = -1;
        if (error)
            *error = "cannot start " + args[0] + ": " + std::strerror(rc);
        return false;
    }
    return true;
}

bool ChildProcess::Running()
{
    if (FPid <= 0)
        return false;
    int status = 0;
    const pid_t rc = ::waitpid(FPid, &status, WNOHANG);
    if (rc == 0)
        return true;
    if (rc == FPid)
        FStatus = status;
    FPid = -1;
    return false;
}

void ChildProcess::Stop(int graceMs)
{
    if (!Running())
        return;
    ::kill(FPid, SIGTERM);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(graceMs);
    while (std::chrono::steady_clock::now() < end) {
        if (!Running())
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(FPid, SIGKILL);
    int status = 0;
    while (::waitpid(FPid, &status, 0) < 0 && errno == EINTR) { }
    FStatus = status;
    FPid = -1;
}

int ChildProcess::Run(const std::vector<std::string>& args, const std::string& input, std::string* output)
{
    int toChild[2], fromChild[2];
    if (::pipe2(toChild, O_CLOEXEC) != 0)
        return -1;
    if (::pipe2(fromChild, O_CLOEXEC) != 0) {
        ::close(toChild[0]);
        ::close(toChild[1]);
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    auto argv = Argv(args);
    pid_t pid = -1;
    const int rc = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(toChild[0]);
    ::close(fromChild[1]);
    if (rc == 0 && !input.empty()) {
        // A child that exits without reading must not kill the test with SIGPIPE.
        ::signal(SIGPIPE, SIG_IGN);
        // The inputs used here are a few bytes: far below the pipe's capacity.
        [[maybe_unused]] auto written = ::write(toChild[1], input.data(), input.size());
    }
    ::close(toChild[1]);
    std::string collected;
    char chunk[4096];
    for (ssize_t n; rc == 0 && (n = ::read(fromChild[0], chunk, sizeof chunk)) != 0;) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
        collected.append(chunk, size_t(n));
    }
    ::close(fromChild[0]);
    if (rc != 0)
        return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    if (output)
        *output = std::move(collected);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool ChildProcess::InPath(const std::string& program)
{
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        const auto candidate = std::filesystem::path(dir.empty() ? "." : dir) / program;
        if (::access(candidate.c_str(), X_OK) == 0)
            return true;
    }
    return false;
}

} // namespace zarn::test
