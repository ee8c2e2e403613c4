#include "input/warnings.h"

#include "input/text.h"

namespace tessel::vrml {

namespace {

// Messages quote names and words from the file; a word may be megabytes
// long, or a line of some other file. A warning shows a short excerpt.
constexpr std::size_t message_limit = 240;

std::string_view shortened(std::string_view message) {
    if (message.size() <= message_limit) return message;
    std::size_t cut = message_limit;
    while (cut > 0 && (static_cast<unsigned char>(message[cut]) & 0xc0) == 0x80) --cut;  // a whole UTF-8 character
    return message.substr(0, cut);
}

}  // namespace

void warning_list::add(source_position where, const std::string& message) {
    ++count_;
    if (texts_.size() >= kept_limit) return;
    std::string text = file_;
    if (where.line > 0) {
        text += ':' + std::to_string(where.line) + ':' + std::to_string(where.column);
    }
    const std::string_view kept = shortened(message);
    text += ": ";
    text += kept;
    if (kept.size() < message.size()) text += "...";
    texts_.push_back(reader::printable(text));
    keys_.emplace_back();
}

void warning_list::add_once(const std::string& key, source_position where, const std::string& message) {
    if (!once_keys_.insert(key).second) return;
    const std::size_t kept = texts_.size();
    add(where, message);
    if (texts_.size() > kept) keys_.back() = key;
}

void warning_list::take(const warning_list& other) {
    for (std::size_t i = 0; i < other.texts_.size(); ++i) {
        const std::string& key = other.keys_[i];
        if (!key.empty() && !once_keys_.insert(key).second) continue;
        ++count_;
        if (texts_.size() >= kept_limit) continue;
        texts_.push_back(other.texts_[i]);
        keys_.push_back(key);
    }
    // Those the other list counted without keeping them.
    count_ += other.count_ - static_cast<std::int64_t>(other.texts_.size());
}

}  // namespace tessel::vrml
