#include "sfx/EntryName.h"

#include <array>
#include <string_view>

#include "paths/WindowsPaths.h"

using namespace std::string_view_literals;

namespace {

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
    static constexpr std::array<std::string_view, 6> plain = {"CON", "PRN",    "AUX",
                                                              "NUL", "CONIN$", "CONOUT$"};
    for (std::string_view device : plain) {
        if (EqualsIgnoringCase(base, device)) {
            return true;
        }
    }
    if (base.size() != 4 || !IsPortDigit(base[3])) {
        return false;
    }
    base.remove_suffix(1);
    return EqualsIgnoringCase(base, "COM"sv) || EqualsIgnoringCase(base, "LPT"sv);
}

bool IsForbiddenCharacter(char c) {
    auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || "\\/:<>\"|?*"sv.find(c) != std::string_view::npos;
}

}  // namespace

const char* EntryNameFault(const String& name) {
    if (name.empty()) {
        return "the name is empty";
    }
    if (name == "."sv || name == ".."sv) {
        return "the name means a folder";
    }
    for (char c : name) {
        if (IsForbiddenCharacter(c)) {
            return "the name holds a character Windows refuses in file names";
        }
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
    if (SameEntryName(name, SETUP_KEPT_SETUP_NAME)) {
        return "the name is the setup program the installer keeps";
    }
    return nullptr;
}

bool SameEntryName(std::string_view a, std::string_view b) {
    return EqualsIgnoringCase(a, b);
}
