#include "vrml/geometry.h"

namespace tessel::vrml {

void warning_list::add(source_position where, const std::string& message) {
    ++count_;
    if (texts_.size() >= kept_limit) return;
    std::string text = file_;
    if (where.line > 0) {
        text += ':' + std::to_string(where.line) + ':' + std::to_string(where.column);
    }
    text += ": " + message;
    texts_.push_back(std::move(text));
}

void warning_list::add_once(const std::string& key, source_position where, const std::string& message) {
    if (!once_keys_.insert(key).second) return;
    add(where, message);
}

}  // namespace tessel::vrml
