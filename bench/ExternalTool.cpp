#include "ExternalTool.h"

#include <QStandardPaths>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace ExternalTool {

bool Available(const QString& program) {
    return !QStandardPaths::findExecutable(program).isEmpty();
}

bool Run(const QString& program, const QStringList& arguments) {
    // posix_spawn rather than QProcess: no event loop and no pipes, so the figure is the tool's.
    std::vector<QByteArray> args{program.toLocal8Bit()};
    for (const QString& a : arguments) args.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return false;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace ExternalTool
