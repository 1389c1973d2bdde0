#include "sfx/EntryName.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "platform/WindowsPaths.h"

namespace {

String Upper(std::string_view text) {
    String upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(), FoldCase);
    return upper;
}

// COM and LPT take the digits 0-9 and the code page's superscripts one, two and three.
bool IsPortDigit(char c) {
    auto byte = static_cast<unsigned char>(c);
    return (c >= '0' && c <= '9') || byte == 0xB9 || byte == 0xB2 || byte == 0xB3;
}

bool IsDeviceName(std::string_view name) {
    // Windows takes the part before the first dot, less trailing spaces, as the device.
    std::string_view base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ') {
        base.remove_suffix(1);
    }
    String upper = Upper(base);
    static constexpr std::array<std::string_view, 6> plain = {"CON", "PRN",    "AUX",
                                                              "NUL", "CONIN$", "CONOUT$"};
    if (std::find(plain.begin(), plain.end(), upper) != plain.end()) {
        return true;
    }
    return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) &&
           IsPortDigit(upper[3]);
}

bool IsForbiddenCharacter(char c) {
    auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || std::string_view("\\/:<>\"|?*").find(c) != std::string_view::npos;
}

}  // namespace

const char* EntryNameFault(const String& name) {
    if (name.empty()) {
        return "the name is empty";
    }
    if (name == "." || name == "..") {
        return "the name means a folder";
    }
    if (std::any_of(name.begin(), name.end(), IsForbiddenCharacter)) {
        return "the name holds a character Windows refuses in file names";
    }
    if (name.size() > SFX_MAX_TARGET_NAME) {
        return "the name is too long for a path on Windows in the program's folders";
    }
    if (name.back() == '.' || name.back() == ' ') {
        return "the name ends in a dot or space, which Windows drops";
    }
    if (IsDeviceName(name)) {
        return "the name is a Windows device";
    }
    for (const char* reserved : SFX_RESERVED_NAMES) {
        if (SameEntryName(name, reserved)) {
            return "the name is a folder the installer makes";
        }
    }
    if (SameEntryName(name, SFX_KEPT_SETUP_NAME)) {
        return "the name is the setup program the installer keeps";
    }
    return nullptr;
}

bool SameEntryName(const String& a, const String& b) {
    return EqualsIgnoringCase(a, b);
}

bool FindDuplicateEntryNames(const std::vector<String>& names, std::size_t& first,
                             std::size_t& second) {
    // At most 256 names: comparing every pair is quick and needs nothing allocated. The pair
    // found is the first whose later name repeats an earlier one.
    for (second = 1; second < names.size(); ++second) {
        for (first = 0; first < second; ++first) {
            if (SameEntryName(names[first], names[second])) {
                return true;
            }
        }
    }
    return false;
}
