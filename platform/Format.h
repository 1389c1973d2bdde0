#pragma once

#include <string>

// Fills the program's fixed texts ("Query Code = %d\r\n", "%d files extracted successfully"):
// each "%d" takes the number, "%%" is a percent sign. Nothing else of printf is needed, and the
// C library's printf engine would be a fifth of the Windows program's size.
inline std::string Format(const char* text, long long number) {
    std::string out;
    for (const char* at = text; *at != '\0'; ++at) {
        if (at[0] == '%' && at[1] == 'd') {
            out += std::to_string(number);
            ++at;
        } else if (at[0] == '%' && at[1] == '%') {
            out += '%';
            ++at;
        } else {
            out += *at;
        }
    }
    return out;
}
