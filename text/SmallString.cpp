#include "text/SmallString.h"

#include <cstring>

char SmallString::theEmpty[1] = {'\0'};

namespace {

using size_type = SmallString::size_type;

// How many of count bytes from position are there: count cut at the end, nothing past it.
size_type Available(size_type size, size_type position, size_type count) {
    if (position >= size) {
        return 0;
    }
    return count < size - position ? count : size - position;
}

size_type Clamp(size_type position, size_type size) {
    return position < size ? position : size;
}

bool InSet(std::string_view set, char c) {
    return set.find(c) != std::string_view::npos;
}

}  // namespace

SmallString::SmallString(const char* text) : SmallString(text, std::strlen(text)) {}

SmallString::SmallString(const char* bytes, size_type count) {
    append(bytes, count);
}

SmallString::SmallString(size_type count, char c) {
    append(count, c);
}

SmallString::SmallString(const SmallString& other) : SmallString(other.m_data, other.m_size) {}

SmallString::SmallString(SmallString&& other) noexcept {
    swap(other);
}

SmallString::~SmallString() {
    if (m_capacity != 0) {
        delete[] m_data;
    }
}

SmallString& SmallString::operator=(const SmallString& other) {
    return assign(other.m_data, other.m_size);
}

SmallString& SmallString::operator=(SmallString&& other) noexcept {
    SmallString taken(static_cast<SmallString&&>(other));
    swap(taken);
    return *this;
}

SmallString& SmallString::operator=(const char* text) {
    return assign(text, std::strlen(text));
}

SmallString& SmallString::operator=(char c) {
    return assign(1, c);
}

SmallString& SmallString::assign(const char* bytes, size_type count) {
    // The bytes may be this string's own: copy them before the old ones go.
    if (bytes >= m_data && bytes <= m_data + m_size) {
        SmallString copy(bytes, count);
        swap(copy);
        return *this;
    }
    clear();
    return append(bytes, count);
}

SmallString& SmallString::assign(std::string_view text) {
    return assign(text.data(), text.size());
}

SmallString& SmallString::assign(std::string_view text, size_type position, size_type count) {
    return assign(text.data() + Clamp(position, text.size()),
                  Available(text.size(), position, count));
}

SmallString& SmallString::assign(size_type count, char c) {
    clear();
    return append(count, c);
}

void SmallString::Grow(size_type count) {
    if (count <= m_capacity) {
        return;
    }
    // Doubling keeps a string built byte by byte linear.
    size_type capacity = m_capacity * 2 > count ? m_capacity * 2 : count;
    if (capacity < 15) {
        capacity = 15;
    }
    char* grown = new char[capacity + 1];
    std::memcpy(grown, m_data, m_size + 1);
    if (m_capacity != 0) {
        delete[] m_data;
    }
    m_data = grown;
    m_capacity = capacity;
}

void SmallString::reserve(size_type count) {
    Grow(count);
}

void SmallString::resize(size_type count, char c) {
    if (count > m_size) {
        append(count - m_size, c);
    } else if (m_capacity != 0) {
        m_size = count;
        m_data[m_size] = '\0';
    }
}

void SmallString::clear() noexcept {
    resize(0);
}

void SmallString::swap(SmallString& other) noexcept {
    char* data = m_data;
    size_type size = m_size;
    size_type capacity = m_capacity;
    m_data = other.m_data;
    m_size = other.m_size;
    m_capacity = other.m_capacity;
    other.m_data = data;
    other.m_size = size;
    other.m_capacity = capacity;
}

char* SmallString::OpenGap(size_type position, size_type count) {
    position = Clamp(position, m_size);
    Grow(m_size + count);
    std::memmove(m_data + position + count, m_data + position, m_size - position + 1);
    m_size += count;
    return m_data + position;
}

SmallString& SmallString::append(const char* bytes, size_type count) {
    return insert(m_size, std::string_view(bytes, count));
}

SmallString& SmallString::append(std::string_view text) {
    return insert(m_size, text);
}

SmallString& SmallString::append(size_type count, char c) {
    return insert(m_size, count, c);
}

SmallString& SmallString::operator+=(const char* text) {
    return append(text, std::strlen(text));
}

SmallString& SmallString::operator+=(char c) {
    return append(1, c);
}

void SmallString::push_back(char c) {
    append(1, c);
}

void SmallString::pop_back() noexcept {
    if (m_size != 0) {
        m_data[--m_size] = '\0';
    }
}

SmallString& SmallString::insert(size_type position, std::string_view text) {
    if (text.empty()) {
        return *this;
    }
    // The text may lie in this string, which the gap moves or reallocates: take a copy first.
    if (text.data() >= m_data && text.data() <= m_data + m_size) {
        SmallString copy(text.data(), text.size());
        std::memcpy(OpenGap(position, copy.m_size), copy.m_data, copy.m_size);
        return *this;
    }
    std::memcpy(OpenGap(position, text.size()), text.data(), text.size());
    return *this;
}

SmallString& SmallString::insert(size_type position, size_type count, char c) {
    if (count != 0) {
        std::memset(OpenGap(position, count), c, count);
    }
    return *this;
}

SmallString::iterator SmallString::insert(const_iterator position, char c) {
    size_type index = static_cast<size_type>(position - m_data);
    insert(index, 1, c);
    return m_data + index;
}

SmallString& SmallString::erase(size_type position, size_type count) {
    count = Available(m_size, position, count);
    if (count != 0) {
        std::memmove(m_data + position, m_data + position + count, m_size - position - count + 1);
        m_size -= count;
    }
    return *this;
}

SmallString::iterator SmallString::erase(const_iterator position) {
    return erase(position, position + 1);
}

SmallString::iterator SmallString::erase(const_iterator first, const_iterator last) {
    size_type index = static_cast<size_type>(first - m_data);
    erase(index, static_cast<size_type>(last - first));
    return m_data + index;
}

SmallString& SmallString::replace(size_type position, size_type count, std::string_view text) {
    SmallString replaced(m_data, Clamp(position, m_size));
    replaced.append(text);
    size_type tail = Clamp(position, m_size) + Available(m_size, position, count);
    replaced.append(m_data + tail, m_size - tail);
    swap(replaced);
    return *this;
}

SmallString SmallString::substr(size_type position, size_type count) const {
    return SmallString(m_data + Clamp(position, m_size), Available(m_size, position, count));
}

int SmallString::compare(std::string_view other) const noexcept {
    return std::string_view(*this).compare(other);
}

int SmallString::compare(size_type position, size_type count,
                         std::string_view other) const noexcept {
    return std::string_view(m_data + Clamp(position, m_size), Available(m_size, position, count))
        .compare(other);
}

bool SmallString::starts_with(std::string_view prefix) const noexcept {
    return std::string_view(*this).starts_with(prefix);
}

bool SmallString::starts_with(char c) const noexcept {
    return m_size != 0 && m_data[0] == c;
}

bool SmallString::ends_with(std::string_view suffix) const noexcept {
    return std::string_view(*this).ends_with(suffix);
}

bool SmallString::ends_with(char c) const noexcept {
    return m_size != 0 && m_data[m_size - 1] == c;
}

bool SmallString::contains(std::string_view text) const noexcept {
    return find(text) != npos;
}

bool SmallString::contains(char c) const noexcept {
    return find(c) != npos;
}

SmallString::size_type SmallString::find(std::string_view text, size_type position) const noexcept {
    if (position > m_size || text.size() > m_size - position) {
        return npos;
    }
    for (size_type at = position; at + text.size() <= m_size; ++at) {
        if (std::memcmp(m_data + at, text.data(), text.size()) == 0) {
            return at;
        }
    }
    return npos;
}

SmallString::size_type SmallString::find(char c, size_type position) const noexcept {
    return find(std::string_view(&c, 1), position);
}

SmallString::size_type SmallString::rfind(std::string_view text,
                                          size_type position) const noexcept {
    if (text.size() > m_size) {
        return npos;
    }
    size_type at = Clamp(position, m_size - text.size());
    for (;; --at) {
        if (std::memcmp(m_data + at, text.data(), text.size()) == 0) {
            return at;
        }
        if (at == 0) {
            return npos;
        }
    }
}

SmallString::size_type SmallString::rfind(char c, size_type position) const noexcept {
    return rfind(std::string_view(&c, 1), position);
}

SmallString::size_type SmallString::find_first_of(std::string_view set,
                                                  size_type position) const noexcept {
    for (size_type at = position; at < m_size; ++at) {
        if (InSet(set, m_data[at])) {
            return at;
        }
    }
    return npos;
}

SmallString::size_type SmallString::find_first_of(char c, size_type position) const noexcept {
    return find(c, position);
}

SmallString::size_type SmallString::find_last_of(std::string_view set,
                                                 size_type position) const noexcept {
    for (size_type at = Clamp(position, m_size - 1) + 1; m_size != 0 && at-- > 0;) {
        if (InSet(set, m_data[at])) {
            return at;
        }
    }
    return npos;
}

SmallString::size_type SmallString::find_last_of(char c, size_type position) const noexcept {
    return rfind(c, position);
}

SmallString::size_type SmallString::find_first_not_of(std::string_view set,
                                                      size_type position) const noexcept {
    for (size_type at = position; at < m_size; ++at) {
        if (!InSet(set, m_data[at])) {
            return at;
        }
    }
    return npos;
}

SmallString::size_type SmallString::find_last_not_of(std::string_view set,
                                                     size_type position) const noexcept {
    for (size_type at = Clamp(position, m_size - 1) + 1; m_size != 0 && at-- > 0;) {
        if (!InSet(set, m_data[at])) {
            return at;
        }
    }
    return npos;
}

namespace {

// A new string of the two parts, allocated once.
SmallString Joined(std::string_view left, std::string_view right) {
    SmallString joined;
    joined.reserve(left.size() + right.size());
    joined.append(left);
    joined.append(right);
    return joined;
}

}  // namespace

SmallString operator+(const SmallString& left, std::string_view right) {
    return Joined(left, right);
}
SmallString operator+(SmallString&& left, std::string_view right) {
    return static_cast<SmallString&&>(left.append(right));
}
SmallString operator+(const SmallString& left, const char* right) {
    return left + std::string_view(right);
}
SmallString operator+(SmallString&& left, const char* right) {
    return static_cast<SmallString&&>(left) + std::string_view(right);
}
SmallString operator+(const SmallString& left, char right) {
    return left + std::string_view(&right, 1);
}
SmallString operator+(SmallString&& left, char right) {
    return static_cast<SmallString&&>(left.append(1, right));
}
SmallString operator+(std::string_view left, const SmallString& right) {
    return Joined(left, right);
}
SmallString operator+(const char* left, const SmallString& right) {
    return std::string_view(left) + right;
}
SmallString operator+(char left, const SmallString& right) {
    return std::string_view(&left, 1) + right;
}
SmallString operator+(const SmallString& left, const SmallString& right) {
    return left + std::string_view(right);
}
SmallString operator+(SmallString&& left, const SmallString& right) {
    return static_cast<SmallString&&>(left) + std::string_view(right);
}

namespace {

// Divides value by ten and returns the remainder, a 16-bit piece at a time: each step's
// dividend fits 32 bits, so the 32-bit program needs no 64-bit division routine (some 750
// bytes of the compiler's library).
unsigned DivideByTen(unsigned long long& value) {
    unsigned remainder = 0;
    unsigned long long quotient = 0;
    for (int shift = 48; shift >= 0; shift -= 16) {
        unsigned part = remainder << 16 | static_cast<unsigned>(value >> shift & 0xFFFF);
        quotient |= static_cast<unsigned long long>(part / 10) << shift;
        remainder = part % 10;
    }
    value = quotient;
    return remainder;
}

}  // namespace

namespace {

// The decimal digits of magnitude, behind a minus sign when negative.
SmallString Decimal(unsigned long long magnitude, bool negative) {
    char digits[21];
    char* first = digits + sizeof digits;
    do {
        *--first = static_cast<char>('0' + DivideByTen(magnitude));
    } while (magnitude != 0);
    if (negative) {
        *--first = '-';
    }
    return SmallString(first, digits + sizeof digits);
}

}  // namespace

SmallString SmallToString(unsigned long long value) {
    return Decimal(value, false);
}

SmallString SmallToString(long long value) {
    // The magnitude of the most negative value does not fit its own type.
    auto magnitude = static_cast<unsigned long long>(value);
    return Decimal(value < 0 ? 0ull - magnitude : magnitude, value < 0);
}
