#pragma once
// LevelArray: one array of a level, either a view of its entries where they
// lie in the level file's bytes (how the reader leaves every block the
// converter does not interpret, and the texture pages) or values of its own
// (how tests and tools build a level in memory).
//
// A view leaves the file's little-endian entries untouched and decodes an
// element only when it is read, so a view may start at any byte offset and
// reads the same on any host; an unread view costs nothing. A view borrows
// its bytes: they belong to the LevelData's fileBytes and stay valid as long
// as that LevelData lives. Copying an array that views copies the view.

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <type_traits>
#include <utility>
#include <vector>

template <typename T> class LevelArray {
    static_assert(std::is_unsigned_v<T>, "entries are unsigned little-endian integers");

public:
    using value_type = T;

    // Yields elements by value, decoded from a view as they are reached.
    class const_iterator {
    public:
        using iterator_category = std::input_iterator_tag;
        using value_type = T;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = T;

        const_iterator() = default;
        const_iterator(const LevelArray* array, size_t index) : array_(array), index_(index) {}
        T operator*() const { return (*array_)[index_]; }
        const_iterator& operator++() {
            ++index_;
            return *this;
        }
        const_iterator operator++(int) {
            const_iterator before = *this;
            ++index_;
            return before;
        }
        bool operator==(const const_iterator& other) const { return index_ == other.index_; }

    private:
        const LevelArray* array_ = nullptr;
        size_t index_ = 0;
    };

    LevelArray() = default;
    LevelArray(std::vector<T> values) : owned_(std::move(values)) {}

    // A view of `count` entries of sizeof(T) bytes each, starting at `bytes`.
    static LevelArray View(const uint8_t* bytes, size_t count) {
        LevelArray array;
        if (count > 0) {
            array.view_ = bytes;
            array.viewCount_ = count;
        }
        return array;
    }

    bool isView() const { return view_ != nullptr; }
    size_t size() const { return isView() ? viewCount_ : owned_.size(); }
    bool empty() const { return size() == 0; }

    T operator[](size_t i) const {
        assert(i < size());
        if (!isView()) {
            return owned_[i];
        }
        const uint8_t* entry = view_ + i * sizeof(T);
        T value = 0;
        for (size_t b = 0; b < sizeof(T); ++b) {
            value = static_cast<T>(value | (static_cast<T>(entry[b]) << (8 * b)));
        }
        return value;
    }
    T front() const { return (*this)[0]; }
    T back() const { return (*this)[size() - 1]; }
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }

    // Bytes can be used in place, viewed or not.
    const uint8_t* data() const requires std::is_same_v<T, uint8_t> {
        return isView() ? view_ : owned_.data();
    }
    // For writing: a view is first copied into bytes of the array's own, so
    // the file's bytes are never written. The converter only reads.
    uint8_t* data() requires std::is_same_v<T, uint8_t> {
        if (isView()) {
            owned_.assign(view_, view_ + viewCount_);
            view_ = nullptr;
            viewCount_ = 0;
        }
        return owned_.data();
    }

    void assign(size_t count, T value) {
        owned_.assign(count, value);
        view_ = nullptr;
        viewCount_ = 0;
    }
    void clear() { assign(0, T{}); }

    friend bool operator==(const LevelArray& a, const LevelArray& b) { return Equal(a, b); }
    friend bool operator==(const LevelArray& a, const std::vector<T>& b) { return Equal(a, b); }

private:
    template <typename Other> static bool Equal(const LevelArray& a, const Other& b) {
        if (a.size() != b.size()) {
            return false;
        }
        for (size_t i = 0; i < a.size(); ++i) {
            if (a[i] != b[i]) {
                return false;
            }
        }
        return true;
    }

    std::vector<T> owned_;          // the values, when not a view
    const uint8_t* view_ = nullptr; // the first entry's bytes, when a view
    size_t viewCount_ = 0;          // entries in the view
};
