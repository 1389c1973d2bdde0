#pragma once

#include <compare>
#include <concepts>
#include <cstddef>
#include <string_view>

// A byte string for the Windows setup program: the part of String's interface that the
// program uses, with every operation out of line in one small object. The library's own string
// is a template that compiles some 15 KB of code into a program that only builds paths, log
// lines and messages. Positions and counts behave as String's (npos, counts cut at the
// end); a position past the end is cut to the end instead of throwing, since nothing here
// throws. Always terminated by a zero byte, so c_str() is data().
class SmallString {
public:
    using value_type = char;
    using size_type = std::size_t;
    using iterator = char*;
    using const_iterator = const char*;
    static constexpr size_type npos = static_cast<size_type>(-1);

    SmallString() noexcept = default;
    SmallString(const char* text);
    SmallString(const char* bytes, size_type count);
    SmallString(size_type count, char c);
    // A range of bytes; a template, so that (bytes, 0) stays a count.
    template <class Byte>
    requires std::same_as<const Byte, const char> SmallString(Byte* first, Byte* last)
        : SmallString(first, static_cast<size_type>(last - first)) {}
    // Also takes String and string literals' views, without naming the library's string.
    template <class Bytes>
    requires requires(const Bytes& b) {
        { b.data() } -> std::convertible_to<const char*>;
        { b.size() } -> std::convertible_to<size_type>;
    }
    SmallString(const Bytes& bytes) : SmallString(bytes.data(), bytes.size()) {}
    SmallString(const SmallString& other);
    SmallString(SmallString&& other) noexcept;
    ~SmallString();

    SmallString& operator=(const SmallString& other);
    SmallString& operator=(SmallString&& other) noexcept;
    SmallString& operator=(const char* text);
    SmallString& operator=(char c);
    SmallString& assign(const char* bytes, size_type count);
    SmallString& assign(std::string_view text);
    SmallString& assign(std::string_view text, size_type position, size_type count = npos);
    SmallString& assign(size_type count, char c);
    template <class Byte>
    requires std::same_as<const Byte, const char> SmallString& assign(Byte* first, Byte* last) {
        return assign(first, static_cast<size_type>(last - first));
    }

    const char* data() const noexcept { return m_data; }
    char* data() noexcept { return m_data; }
    const char* c_str() const noexcept { return m_data; }
    size_type size() const noexcept { return m_size; }
    size_type length() const noexcept { return m_size; }
    bool empty() const noexcept { return m_size == 0; }
    size_type capacity() const noexcept { return m_capacity; }
    operator std::string_view() const noexcept { return {m_data, m_size}; }

    char& operator[](size_type index) noexcept { return m_data[index]; }
    const char& operator[](size_type index) const noexcept { return m_data[index]; }
    char& front() noexcept { return m_data[0]; }
    const char& front() const noexcept { return m_data[0]; }
    char& back() noexcept { return m_data[m_size - 1]; }
    const char& back() const noexcept { return m_data[m_size - 1]; }
    iterator begin() noexcept { return m_data; }
    iterator end() noexcept { return m_data + m_size; }
    const_iterator begin() const noexcept { return m_data; }
    const_iterator end() const noexcept { return m_data + m_size; }
    const_iterator cbegin() const noexcept { return m_data; }
    const_iterator cend() const noexcept { return m_data + m_size; }

    void reserve(size_type count);
    void resize(size_type count, char c = '\0');
    void clear() noexcept;
    void swap(SmallString& other) noexcept;

    SmallString& append(const char* bytes, size_type count);
    SmallString& append(std::string_view text);
    SmallString& append(size_type count, char c);
    SmallString& operator+=(std::string_view text) { return append(text); }
    SmallString& operator+=(const char* text);
    SmallString& operator+=(char c);
    void push_back(char c);
    void pop_back() noexcept;
    SmallString& insert(size_type position, std::string_view text);
    SmallString& insert(size_type position, size_type count, char c);
    iterator insert(const_iterator position, char c);
    SmallString& erase(size_type position = 0, size_type count = npos);
    iterator erase(const_iterator position);
    iterator erase(const_iterator first, const_iterator last);
    SmallString& replace(size_type position, size_type count, std::string_view text);

    SmallString substr(size_type position = 0, size_type count = npos) const;
    int compare(std::string_view other) const noexcept;
    int compare(size_type position, size_type count, std::string_view other) const noexcept;
    bool starts_with(std::string_view prefix) const noexcept;
    bool starts_with(char c) const noexcept;
    bool ends_with(std::string_view suffix) const noexcept;
    bool ends_with(char c) const noexcept;
    bool contains(std::string_view text) const noexcept;
    bool contains(char c) const noexcept;

    size_type find(std::string_view text, size_type position = 0) const noexcept;
    size_type find(char c, size_type position = 0) const noexcept;
    size_type rfind(std::string_view text, size_type position = npos) const noexcept;
    size_type rfind(char c, size_type position = npos) const noexcept;
    size_type find_first_of(std::string_view set, size_type position = 0) const noexcept;
    size_type find_first_of(char c, size_type position = 0) const noexcept;
    size_type find_last_of(std::string_view set, size_type position = npos) const noexcept;
    size_type find_last_of(char c, size_type position = npos) const noexcept;
    size_type find_first_not_of(std::string_view set, size_type position = 0) const noexcept;
    size_type find_last_not_of(std::string_view set, size_type position = npos) const noexcept;

    // Found only with a SmallString operand, so that they never compete with the library's
    // operators for views and literals.
    friend SmallString operator+(const SmallString& left, std::string_view right);
    friend SmallString operator+(SmallString&& left, std::string_view right);
    friend SmallString operator+(const SmallString& left, const char* right);
    friend SmallString operator+(SmallString&& left, const char* right);
    friend SmallString operator+(const SmallString& left, char right);
    friend SmallString operator+(SmallString&& left, char right);
    friend SmallString operator+(std::string_view left, const SmallString& right);
    friend SmallString operator+(const char* left, const SmallString& right);
    friend SmallString operator+(char left, const SmallString& right);
    friend SmallString operator+(const SmallString& left, const SmallString& right);
    friend SmallString operator+(SmallString&& left, const SmallString& right);

    friend bool operator==(const SmallString& left, const SmallString& right) noexcept {
        return std::string_view(left) == std::string_view(right);
    }
    friend bool operator==(const SmallString& left, std::string_view right) noexcept {
        return std::string_view(left) == right;
    }
    friend bool operator==(const SmallString& left, const char* right) noexcept {
        return std::string_view(left) == std::string_view(right);
    }
    friend std::strong_ordering operator<=>(const SmallString& left,
                                            const SmallString& right) noexcept {
        return std::string_view(left) <=> std::string_view(right);
    }
    friend std::strong_ordering operator<=>(const SmallString& left,
                                            std::string_view right) noexcept {
        return std::string_view(left) <=> right;
    }
    friend std::strong_ordering operator<=>(const SmallString& left, const char* right) noexcept {
        return std::string_view(left) <=> std::string_view(right);
    }

private:
    // Grows the buffer to hold at least count bytes and the terminator, keeping the contents.
    void Grow(size_type count);
    // Makes room for count bytes at position, moving the tail behind them; returns where they go.
    char* OpenGap(size_type position, size_type count);

    static char theEmpty[1];
    char* m_data = theEmpty;  // theEmpty until the first byte is stored; never null
    size_type m_size = 0;
    size_type m_capacity = 0;  // bytes m_data holds before its terminator; 0 for theEmpty
};

// Decimal text of a number, as ToString gives it.
SmallString SmallToString(long long value);
SmallString SmallToString(unsigned long long value);
inline SmallString SmallToString(int value) {
    return SmallToString(static_cast<long long>(value));
}
inline SmallString SmallToString(long value) {
    return SmallToString(static_cast<long long>(value));
}
inline SmallString SmallToString(unsigned value) {
    return SmallToString(static_cast<unsigned long long>(value));
}
inline SmallString SmallToString(unsigned long value) {
    return SmallToString(static_cast<unsigned long long>(value));
}
