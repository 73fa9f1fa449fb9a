#pragma once

// The built program as a process the test holds: its standard input and error are the test's
// own pipe ends, and the test can see which system call it waits in. That is how the tests act
// at a chosen point of a run without timing: the program is known to be waiting there.

#include <sys/types.h>

#include <string>
#include <vector>

namespace kelvora::cli {

class RunningProgram {
public:
    struct Streams {
        int input = -1;   // the child's standard input; -1 for /dev/null
        int errors = -1;  // the child's standard error; -1 for /dev/null
    };
    // Starts the program with arguments and no display in its environment.
    RunningProgram(const std::vector<std::string>& arguments, Streams streams);
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    [[nodiscard]] pid_t pid() const { return m_pid; }
    // Waits (up to a generous bound) until the program blocks in system call number on fd.
    [[nodiscard]] bool waitUntilBlockedIn(long number, int fd) const;
    // Its exit status; 128 + the signal when a signal ended it.
    [[nodiscard]] int wait();

private:
    pid_t m_pid = -1;
    bool m_waited = false;
};

struct Pipe {
    Pipe();
    ~Pipe();
    void closeRead();
    void closeWrite();
    int read = -1;
    int write = -1;
};

}  // namespace kelvora::cli
