#include "ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const Environment& environment) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string key = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const auto& [k, v] : environment)
            replaced = replaced || k == key;
        if (!replaced) env.push_back(entry);
    }
    for (const auto& [k, v] : environment)
        env.push_back(k + '=' + v);
    std::vector<char*> envp, argv;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> all{program};
    all.insert(all.end(), args.begin(), args.end());
    for (auto& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe: " + std::string(std::strerror(errno)));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    const int rc = posix_spawn(&mPid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        throw std::runtime_error("cannot start " + program + ": " + std::strerror(rc));
    }
    mOutput = fds[0];
    fcntl(mOutput, F_SETFL, fcntl(mOutput, F_GETFL) | O_NONBLOCK);
}

ChildProcess::~ChildProcess() {
    if (!mReaped) {
        Kill();
        Finish();
    }
    if (mOutput >= 0) close(mOutput);
}

bool ChildProcess::ReadAvailable() {
    if (mOutput < 0) return false;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(mOutput, buffer, sizeof buffer);
        if (n > 0) {
            mText.append(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) return true;
        close(mOutput); // end of output, or an error that ends it
        mOutput = -1;
        return false;
    }
}

void ChildProcess::Kill() {
    if (!mReaped && mPid > 0) kill(mPid, SIGKILL);
}

int ChildProcess::Finish() {
    while (mOutput >= 0) {
        pollfd p{mOutput, POLLIN, 0};
        poll(&p, 1, -1);
        ReadAvailable();
    }
    if (!mReaped) {
        while (waitpid(mPid, &mStatus, 0) < 0 && errno == EINTR) {
        }
        mReaped = true;
    }
    return mStatus;
}

std::vector<std::string> ChildProcess::Lines() const {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = mText.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(mText.substr(start, end - start));
    return lines;
}
