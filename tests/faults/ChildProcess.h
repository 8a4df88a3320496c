#pragma once

#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

// A program run in a child process with its stdout in a pipe; the test reads the output while
// the child runs and can kill it at any moment. Destroying a running one kills it.
class ChildProcess {
public:
    using Environment = std::vector<std::pair<std::string, std::string>>;

    // Starts `program` with `args`, in this process's environment with `environment` added or
    // replaced. Throws std::runtime_error when it cannot start.
    ChildProcess(const std::string& program, const std::vector<std::string>& args,
                 const Environment& environment = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The pipe end to poll for output; -1 once all output was read.
    int OutputFd() const { return mOutput; }
    // Reads what the pipe holds without waiting; false once the output has ended.
    bool ReadAvailable();
    // Sends SIGKILL.
    void Kill();
    pid_t Pid() const { return mPid; }
    // Reads the rest of the output, then waits for the child to end; its wait status.
    int Finish();

    // The complete lines written so far (a line cut by a kill is not among them).
    std::vector<std::string> Lines() const;
    const std::string& Output() const { return mText; }

private:
    pid_t mPid = -1;
    int mOutput = -1;
    bool mReaped = false;
    int mStatus = 0;
    std::string mText;
};
