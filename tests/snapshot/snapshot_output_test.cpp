// The picture a snapshot writes is whole or absent: it goes to a file of
// its own beside the target and takes the target's name only once complete,
// so a snapshot stopped mid-write (a signal, a full disk) leaves the target
// as it was, and nothing else behind.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "snapshot/snapshot.h"
#include "tests/support/test_env.h"

namespace tessel {
namespace {

using test::entries;
using test::slurp;

// Whether the process holds a file in folder open for writing: the picture
// being written.
bool writing_into(pid_t pid, const std::string& folder, const std::string& scene) {
    const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
    for (const std::string& fd : entries(fds)) {
        char target[4096];
        const ssize_t n = readlink((fds + "/" + fd).c_str(), target, sizeof target - 1);
        if (n <= 0) continue;
        const std::string t(target, static_cast<std::size_t>(n));
        if (t.rfind(folder + "/", 0) == 0 && t != scene) return true;
    }
    return false;
}

TEST(SnapshotOutput, AKilledSnapshotLeavesTheTargetAsItWas) {
    test::temp_folder dir;
    const std::string scene = dir.path() + "/scene.wrl", target = dir.path() + "/picture.png";
    std::ofstream(scene) << "#VRML V2.0 utf8\nShape { geometry Box { } }\n";
    std::ofstream(target) << "the earlier picture";
    const pid_t pid = fork();
    if (pid == 0) {
        execl(TESSEL_SNAPSHOT, TESSEL_SNAPSHOT, "--snapshot", target.c_str(), "--size", "6000x6000", "--", scene.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(pid, 0);
    bool seen = false;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!seen && std::chrono::steady_clock::now() < until) {
        seen = writing_into(pid, dir.path(), scene);
        siginfo_t info{};
        if (!seen && waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid) break;
        if (!seen) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(seen) << "never saw the picture being written";
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(slurp(target), "the earlier picture");
    EXPECT_EQ(entries(dir.path()), (std::vector<std::string>{"picture.png", "scene.wrl"}));
}

// A complete write replaces the target, keeps a link to it a link, and a
// folder that does not exist is an error that creates nothing.
TEST(SnapshotOutput, WholePicturesReplaceTheTargetThroughLinks) {
    test::temp_folder dir;
    const std::vector<std::uint8_t> grey(4 * 3 * 3, 128);
    const std::string real = dir.path() + "/real.png", link = dir.path() + "/link.png";
    std::ofstream(real) << "old";
    ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
    std::string error;
    ASSERT_TRUE(write_png(link, 4, 3, grey, error)) << error;
    EXPECT_EQ(slurp(real).substr(1, 3), "PNG");
    char buffer[4096];
    EXPECT_GT(readlink(link.c_str(), buffer, sizeof buffer), 0) << "the link was replaced by a file";
    EXPECT_FALSE(write_png(dir.path() + "/missing/x.png", 4, 3, grey, error));
    EXPECT_NE(error.find("cannot create"), std::string::npos) << error;
    EXPECT_EQ(entries(dir.path()), (std::vector<std::string>{"link.png", "real.png"}));
}

}  // namespace
}  // namespace tessel
