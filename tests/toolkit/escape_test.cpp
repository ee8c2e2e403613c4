// Escape in the GL window ends the whole process with exit code 0.

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "tests/toolkit/x_input.h"

extern char** environ;

namespace {

struct child {
    pid_t pid = -1;
    int out = -1;  // the child's standard output
};

child spawn(const char* path) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    char* argv[] = {const_cast<char*>(path), nullptr};
    child c;
    if (posix_spawn(&c.pid, path, &actions, nullptr, argv, environ) != 0) c.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    c.out = fds[0];
    return c;
}

// Reads what the child writes until it has written a full line, or until
// it closes its output, or until it has kept silent far too long.
std::string read_line(int fd, std::string& buffer) {
    for (int round = 0; round < 300; ++round) {
        const std::size_t end = buffer.find('\n');
        if (end != std::string::npos) {
            std::string line = buffer.substr(0, end);
            buffer.erase(0, end + 1);
            return line;
        }
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        char chunk[256];
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n <= 0) break;
        buffer.append(chunk, static_cast<std::size_t>(n));
    }
    std::string rest = buffer;
    buffer.clear();
    return rest;
}

// Waits for the child to end, killing it if it does not end by itself.
int wait_for(pid_t pid) {
    int status = 0;
    for (int round = 0; round < 300; ++round) {
        if (waitpid(pid, &status, WNOHANG) == pid) return status;
        usleep(50000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return status;
}

}  // namespace

TEST(Escape, EndsTheProcessWithExitCodeZero) {
    ASSERT_TRUE(xinput::open());
    child c = spawn(ESCAPE_CHILD);
    ASSERT_GT(c.pid, 0);
    std::string buffer;
    const std::string first = read_line(c.out, buffer);
    ASSERT_EQ(0u, first.rfind("window ", 0)) << first;
    const unsigned long window = std::stoul(first.substr(7));

    // A real key press through the XTEST extension, to the focused window.
    xinput::focus(window);
    ASSERT_EQ(0, std::system("xdotool key Escape"));

    const int status = wait_for(c.pid);
    ASSERT_TRUE(WIFEXITED(status)) << "status " << status;
    EXPECT_EQ(0, WEXITSTATUS(status));
    EXPECT_EQ("exit hook: window gone, context released", read_line(c.out, buffer));
    EXPECT_EQ("atexit: context released", read_line(c.out, buffer));
    EXPECT_EQ("", read_line(c.out, buffer));
    close(c.out);
    EXPECT_FALSE(xinput::exists(window));
}
