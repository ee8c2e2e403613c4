#pragma once
// Problems that do not stop a load, as "FILE:LINE:COLUMN: message": where in
// a file something stands, and the list every stage of a load adds to.

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

namespace tessel::vrml {

// Where a node stands in its file, for warnings.
struct source_position {
    std::int64_t line = 0;    // 1-based; 0 when unknown
    std::int64_t column = 0;  // 1-based
};

// Collects problems that do not stop a load, as "FILE:LINE:COLUMN: message".
// Keeps the first `kept_limit` texts and counts every one.
class warning_list {
public:
    explicit warning_list(std::string file = {}) : file_(std::move(file)) {}
    void add(source_position where, const std::string& message);
    // Adds the message only the first time this key is given (per list).
    void add_once(const std::string& key, source_position where, const std::string& message);
    const std::vector<std::string>& texts() const { return texts_; }
    std::int64_t count() const { return count_; }
    void set_file(std::string file) { file_ = std::move(file); }
    const std::string& file() const { return file_; }
    // Adds what `other` holds as if its warnings had been added here, in
    // order: a part of a load made apart (on another thread) joins the
    // load's list, and a message given once there is still given once here.
    void take(const warning_list& other);
    static constexpr std::size_t kept_limit = 1000;

private:
    std::string file_;
    std::vector<std::string> texts_;
    std::vector<std::string> keys_;  // beside texts_: the once-key each was added with, or empty
    std::unordered_set<std::string> once_keys_;  // hashed: a file may give thousands of keys
    std::int64_t count_ = 0;
};

}  // namespace tessel::vrml
