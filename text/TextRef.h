#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

#include "text/StringType.h"

// A zero-terminated text that a call only reads: a path, a key or a name handed to the platform.
// It is one pointer, as cheap to pass as a reference, but a literal or a constant passed for it
// builds no String (and destroys none) at the call, and the Windows calls take its c_str() as
// it stands. The text it points at must outlive the call, as a temporary String does.
class TextRef {
public:
    TextRef(const char* text) noexcept : m_text(text) {}
    TextRef(const String& text) noexcept : m_text(text.c_str()) {}

    const char* c_str() const noexcept { return m_text; }
    const char* data() const noexcept { return m_text; }
    std::size_t size() const noexcept { return std::strlen(m_text); }
    operator std::string_view() const noexcept { return m_text; }

private:
    const char* m_text;
};
