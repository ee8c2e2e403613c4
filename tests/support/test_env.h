#pragma once
// What every suite needs of the machine it runs on: a private temporary
// folder, and the one way a test says it cannot run here.

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>

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

}  // namespace tessel::test

// Ends the current test because it cannot run here: a skip where
// TESSEL_TESTS_MAY_SKIP=1 allows it, a failure otherwise.
#define TESSEL_CANNOT_RUN(why)                                                              \
    do {                                                                                    \
        if (::tessel::test::skipping_allowed()) GTEST_SKIP() << why;                        \
        FAIL() << why << " (set TESSEL_TESTS_MAY_SKIP=1 to skip tests that cannot run here)"; \
    } while (false)
