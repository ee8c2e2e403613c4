#pragma once
// The corners of a shape's primitives, each the number of one of its points.
// Most shapes have fewer than 65,536 points: their corners are kept in 16
// bits, half the memory of 32 and an index type every GL draws directly.
// Builders fill and renumber the 32-bit form, then pack() the finished list.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <span>
#include <vector>

namespace tessel {

// Walks anything that answers [i] with a corner, in order.
template <typename List>
class indexed_iterator {
public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = std::uint32_t;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = std::uint32_t;
    indexed_iterator() = default;
    indexed_iterator(const List* list, std::size_t i) : list_(list), i_(i) {}
    std::uint32_t operator*() const { return (*list_)[i_]; }
    indexed_iterator& operator++() {
        ++i_;
        return *this;
    }
    indexed_iterator operator++(int) {
        indexed_iterator before = *this;
        ++i_;
        return before;
    }
    bool operator==(const indexed_iterator& other) const { return i_ == other.i_; }

private:
    const List* list_ = nullptr;
    std::size_t i_ = 0;
};

// Corners in whichever width they are kept, without owning them: what a
// frame draws from.
class corner_view {
public:
    corner_view() = default;
    corner_view(std::span<const std::uint16_t> corners) : narrow_(corners.data()), size_(corners.size()) {}
    corner_view(std::span<const std::uint32_t> corners) : wide_(corners.data()), size_(corners.size()) {}

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    bool narrow() const { return narrow_ != nullptr; }
    // The first corner, as the GL takes an index array.
    const void* data() const { return narrow_ ? static_cast<const void*>(narrow_) : wide_; }
    std::size_t corner_bytes() const { return narrow_ ? sizeof(std::uint16_t) : sizeof(std::uint32_t); }
    std::uint32_t operator[](std::size_t i) const { return narrow_ ? narrow_[i] : wide_[i]; }
    corner_view first(std::size_t n) const {
        return narrow_ ? corner_view(std::span(narrow_, n)) : corner_view(std::span(wide_, n));
    }

    // Calls f with a span of the corners as they are kept, so that a loop
    // over many of them chooses the width once.
    template <typename F>
    decltype(auto) visit(F&& f) const {
        return narrow_ ? f(std::span<const std::uint16_t>(narrow_, size_))
                       : f(std::span<const std::uint32_t>(wide_, size_));
    }

    using iterator = indexed_iterator<corner_view>;
    iterator begin() const { return {this, 0}; }
    iterator end() const { return {this, size_}; }

private:
    const std::uint16_t* narrow_ = nullptr;
    const std::uint32_t* wide_ = nullptr;
    std::size_t size_ = 0;
};

class corner_list {
public:
    corner_list() = default;
    corner_list(std::initializer_list<std::uint32_t> corners) : wide_(corners) {}
    corner_list& operator=(std::initializer_list<std::uint32_t> corners) {
        wide_ = corners;
        narrow_ = std::vector<std::uint16_t>();
        return *this;
    }

    // The 32-bit form, to fill or renumber; a packed list is widened first.
    std::vector<std::uint32_t>& wide() {
        if (!narrow_.empty()) {
            wide_.assign(narrow_.begin(), narrow_.end());
            narrow_ = std::vector<std::uint16_t>();
        }
        return wide_;
    }
    void push_back(std::uint32_t corner) { wide().push_back(corner); }
    void append(std::initializer_list<std::uint32_t> corners) {
        std::vector<std::uint32_t>& w = wide();
        for (const std::uint32_t c : corners) w.push_back(c);
    }
    void reserve(std::size_t n) { wide().reserve(n); }

    // Keeps the corners in 16 bits when every one fits.
    void pack() {
        if (wide_.empty()) return;
        for (const std::uint32_t c : wide_)
            if (c > UINT16_MAX) return;
        narrow_.assign(wide_.begin(), wide_.end());
        wide_ = std::vector<std::uint32_t>();
    }

    corner_view view() const { return narrow_.empty() ? corner_view(wide_) : corner_view(narrow_); }
    std::size_t size() const { return narrow_.empty() ? wide_.size() : narrow_.size(); }
    bool empty() const { return size() == 0; }
    bool narrow() const { return !narrow_.empty(); }
    std::uint32_t operator[](std::size_t i) const { return narrow_.empty() ? wide_[i] : narrow_[i]; }
    // The memory the list holds.
    std::size_t bytes() const {
        return wide_.capacity() * sizeof(std::uint32_t) + narrow_.capacity() * sizeof(std::uint16_t);
    }

    template <typename F>
    decltype(auto) visit(F&& f) const {
        return view().visit(static_cast<F&&>(f));
    }

    // Reading in order, whatever the width; valid while the list is unchanged.
    using iterator = indexed_iterator<corner_list>;
    iterator begin() const { return {this, 0}; }
    iterator end() const { return {this, size()}; }

    friend bool operator==(const corner_list& a, const std::vector<std::uint32_t>& b) {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < b.size(); ++i)
            if (a[i] != b[i]) return false;
        return true;
    }

private:
    std::vector<std::uint32_t> wide_;
    std::vector<std::uint16_t> narrow_;
};

}  // namespace tessel
