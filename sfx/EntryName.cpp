#include "sfx/EntryName.h"

#include <array>
#include <cctype>
#include <string_view>

namespace {

bool IsDeviceName(std::string_view name) {
    // Windows takes the part before the first dot, less trailing spaces, as the device.
    std::string_view base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ') {
        base.remove_suffix(1);
    }
    std::string upper;
    for (char c : base) {
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    static constexpr std::array<std::string_view, 6> plain = {"CON", "PRN",    "AUX",
                                                              "NUL", "CONIN$", "CONOUT$"};
    for (std::string_view device : plain) {
        if (upper == device) {
            return true;
        }
    }
    return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) &&
           upper[3] >= '1' && upper[3] <= '9';
}

bool IsForbiddenCharacter(char c) {
    auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || std::string_view("\\/:<>\"|?*").find(c) != std::string_view::npos;
}

}  // namespace

bool IsSafeEntryName(const std::string& name) {
    if (name.empty()) {
        return true;
    }
    if (name == "." || name == "..") {
        return false;
    }
    for (char c : name) {
        if (IsForbiddenCharacter(c)) {
            return false;
        }
    }
    if (name.back() == '.' || name.back() == ' ') {
        return false;
    }
    return !IsDeviceName(name);
}
