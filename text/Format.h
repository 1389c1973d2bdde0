#pragma once

#include <initializer_list>
#include "text/StringType.h"

// Fills the program's fixed texts ("Query Code = %d\r\n", "entry %d starts at %d"): each "%d"
// takes the next number, "%%" is a percent sign. Nothing else of printf is needed, and the C
// library's printf engine would be a fifth of the Windows program's size. A "%d" without a number
// left stays as it is. This one appends to `out`.
void AppendFormatted(String& out, const char* text, std::initializer_list<long long> numbers);
// The same, replacing what `out` held.
void FormatNumbersInto(String& out, const char* text, std::initializer_list<long long> numbers);
// The same, as a new string.
String FormatNumbers(const char* text, std::initializer_list<long long> numbers);

template <class... Numbers>
String Format(const char* text, Numbers... numbers) {
    return FormatNumbers(text, {static_cast<long long>(numbers)...});
}

// Format written straight into `out`, replacing what it held: where the text only goes into an
// existing string, this spares a temporary, its move and its destruction at every call.
template <class... Numbers>
void FormatTo(String& out, const char* text, Numbers... numbers) {
    FormatNumbersInto(out, text, {static_cast<long long>(numbers)...});
}

// Format appended to `out`: a text that follows another part needs no temporary either.
template <class... Numbers>
void AppendFormat(String& out, const char* text, Numbers... numbers) {
    AppendFormatted(out, text, {static_cast<long long>(numbers)...});
}
