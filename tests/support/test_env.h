#pragma once
// What every suite needs of the machine it runs on: a private temporary
// folder, and the one way a test says it cannot run here.

#include <dirent.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

// AddressSanitizer reserves terabytes of address space and keeps freed
// blocks in quarantine: tests that limit or measure a child's memory say
// so only without it.
#if defined(__SANITIZE_ADDRESS__)
#define TESSEL_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TESSEL_ADDRESS_SANITIZER 1
#endif
#endif

namespace tessel::test {

// A folder of this process's own (mode 0700, fresh name) under $TMPDIR or
// /tmp, removed with everything in it when the object goes. Fixed names
// would let two runs, or two users, trip over each other.
class temp_folder {
public:
    explicit temp_folder(const std::string& prefix = "tessel-test") {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/" + prefix + "-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("cannot make a temporary folder " + pattern + ": " + std::strerror(errno));
        m_path = pattern;
    }
    ~temp_folder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    temp_folder(const temp_folder&) = delete;
    temp_folder& operator=(const temp_folder&) = delete;

    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

// A private scratch folder removed with the object.
struct scratch_dir {
    tessel::test::temp_folder folder;
    std::string path = folder.path();
    std::string write(const std::string& name, const std::string& content) const {
        const std::string p = path + "/" + name;
        std::ofstream(p, std::ios::binary) << content;
        return p;
    }
};

// True when the environment allows a test that cannot run here to skip
// (TESSEL_TESTS_MAY_SKIP=1); by default such a test fails, so that a run
// that tested less never looks green.
inline bool skipping_allowed() {
    const char* value = std::getenv("TESSEL_TESTS_MAY_SKIP");
    return value != nullptr && std::string(value) == "1";
}

// How a child ended: within the deadline, or killed there; its wait status
// and what it used.
struct child_end {
    bool finished = false;
    int status = 0;
    rusage usage{};
};

// Waits for the child pid until deadline_ms have passed, then kills it. The
// wait is on a pidfd, so it ends the moment the child does.
inline child_end wait_for_child(pid_t pid, int deadline_ms) {
    child_end end;
    const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    pollfd p{pidfd, POLLIN, 0};
    end.finished = pidfd >= 0 && poll(&p, 1, deadline_ms) == 1;
    if (!end.finished) kill(pid, SIGKILL);
    if (pidfd >= 0) close(pidfd);
    wait4(pid, &end.status, 0, &end.usage);
    return end;
}

// The names in a folder, "." and ".." left out, in order.
inline std::vector<std::string> entries(const std::string& path) {
    std::vector<std::string> out;
    if (DIR* d = opendir(path.c_str())) {
        while (const dirent* e = readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) out.push_back(e->d_name);
        closedir(d);
    }
    std::sort(out.begin(), out.end());
    return out;
}

// A whole file, or nothing when it cannot be read.
inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace tessel::test

// Ends the current test because it cannot run here: a skip where
// TESSEL_TESTS_MAY_SKIP=1 allows it, a failure otherwise.
#define TESSEL_CANNOT_RUN(why)                                                              \
    do {                                                                                    \
        if (::tessel::test::skipping_allowed()) GTEST_SKIP() << why;                        \
        FAIL() << why << " (set TESSEL_TESTS_MAY_SKIP=1 to skip tests that cannot run here)"; \
    } while (false)
