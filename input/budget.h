#pragma once
// What one load may spend. A scene file is untrusted: a few kilobytes of
// nested USEs or PROTOs, a huge image or a thousand inlines can ask for more
// memory than the machine has. Every part of a load that grows with what the
// file asks for (text read, nodes, copies, coordinates and indices,
// triangles, glyphs, decoded pixels) takes its bytes from one budget as it
// grows, so that a hostile file is stopped early with one clear message,
// whatever mix of tricks it uses.

#include <cstdint>
#include <string>

namespace tessel::reader {

class load_budget {
public:
    // limit <= 0: the machine's own limit (load_budget_limit()).
    explicit load_budget(std::int64_t limit = 0);
    load_budget(const load_budget&) = delete;
    load_budget& operator=(const load_budget&) = delete;

    // Takes bytes for `what` ("triangles", "image pixels"...) when they fit
    // in what is left, and returns true; otherwise takes nothing, remembers
    // the first refusal and returns false.
    bool spend(std::int64_t bytes, const char* what);
    // Whether bytes would fit now, without taking them.
    bool fits(std::int64_t bytes) const { return bytes >= 0 && bytes <= left(); }
    // Records a refusal decided elsewhere (a text found too large before it
    // was read) as spend would.
    void refuse(const char* what);

    std::int64_t limit() const { return limit_; }
    std::int64_t spent() const { return spent_; }
    std::int64_t left() const { return limit_ - spent_; }
    // Whether anything was refused, and what the first refusal was for.
    bool exceeded() const { return !refused_.empty(); }
    const std::string& refused() const { return refused_; }

    // "the scene needs more memory than a load may use here (N MB; stopped
    // at its <what>)": the one message a refusal gives.
    std::string message() const;

private:
    std::int64_t limit_;
    std::int64_t spent_ = 0;
    std::string refused_;
};

// The most one load may use: a quarter of the physical memory and half of
// what the system reports available, lowered to the program's own budget
// when it set one (a thumbnailer's --max-size).
std::int64_t load_budget_limit();
// Sets the program's own budget; bytes <= 0 removes it.
void set_load_budget(std::int64_t bytes);
std::int64_t program_load_budget();

// Physical memory and what the kernel thinks can be allocated without
// swapping, in bytes (the largest int64 when unknown).
std::int64_t physical_memory();
std::int64_t available_memory();

// "12 MB" (rounded down; "less than 1 MB" below that).
std::string megabytes(std::int64_t bytes);

}  // namespace tessel::reader
