#include "tests/cli/RunningProgram.h"

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace kelvora::cli {

RunningProgram::RunningProgram(const std::vector<std::string>& arguments, Streams streams)
{
    std::vector<std::string> words{KELVORA_MAKER_EXE};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    std::vector<char*> env;
    for (char** variable = environ; *variable; ++variable) {
        const std::string_view entry = *variable;
        if (!entry.starts_with("DISPLAY=") && !entry.starts_with("WAYLAND_DISPLAY=") &&
            !entry.starts_with("QT_QPA_PLATFORM="))
            env.push_back(*variable);
    }
    env.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (streams.input >= 0)
        posix_spawn_file_actions_adddup2(&actions, streams.input, STDIN_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    if (streams.errors >= 0)
        posix_spawn_file_actions_adddup2(&actions, streams.errors, STDERR_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    // The test's own disposition must not leak in: the program sets its own.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    if (posix_spawn(&m_pid, argv[0], &actions, &attributes, argv.data(), env.data()) != 0)
        m_pid = -1;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
}

RunningProgram::~RunningProgram()
{
    if (m_pid > 0 && !m_waited) {
        ::kill(m_pid, SIGKILL);
        (void)wait();
    }
}

bool RunningProgram::waitUntilBlockedIn(long number, int fd) const
{
    // Any of its threads: the batch mode reads its list on the save's loading thread.
    const std::filesystem::path tasks = "/proc/" + std::to_string(m_pid) + "/task";
    for (int tries = 0; tries < 6000; ++tries) {  // a minute at most
        std::error_code error;
        for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
            std::ifstream in(task.path() / "syscall");
            long seen = -1;
            std::string first;
            if (in >> seen >> first && seen == number && std::stol(first, nullptr, 16) == fd)
                return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

int RunningProgram::wait()
{
    int status = 0;
    if (m_pid <= 0 || ::waitpid(m_pid, &status, 0) != m_pid)
        return -1;
    m_waited = true;
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

Pipe::Pipe()
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) == 0) {
        read = ends[0];
        write = ends[1];
    }
}

Pipe::~Pipe()
{
    closeRead();
    closeWrite();
}

void Pipe::closeRead()
{
    if (read >= 0)
        ::close(read);
    read = -1;
}

void Pipe::closeWrite()
{
    if (write >= 0)
        ::close(write);
    write = -1;
}

}  // namespace kelvora::cli
