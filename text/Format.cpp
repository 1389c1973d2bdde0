#include "text/Format.h"

void AppendFormatted(String& out, const char* text, std::initializer_list<long long> numbers) {
    const long long* next = numbers.begin();
    for (const char* at = text; *at != '\0'; ++at) {
        if (at[0] == '%' && at[1] == 'd' && next != numbers.end()) {
            out += ToString(*next++);
            ++at;
        } else if (at[0] == '%' && at[1] == '%') {
            out += '%';
            ++at;
        } else {
            out += *at;
        }
    }
}

void FormatNumbersInto(String& out, const char* text, std::initializer_list<long long> numbers) {
    out.clear();
    AppendFormatted(out, text, numbers);
}

String FormatNumbers(const char* text, std::initializer_list<long long> numbers) {
    String out;
    FormatNumbersInto(out, text, numbers);
    return out;
}
