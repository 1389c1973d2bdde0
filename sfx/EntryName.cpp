#include "sfx/EntryName.h"

#include <algorithm>
#include <array>
#include <numeric>
#include <string_view>

namespace {

char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string UpperAscii(std::string_view text) {
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) { return UpperAscii(c); });
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
    std::string upper = UpperAscii(base);
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

std::string EntryNameFault(const std::string& name) {
    if (name.empty()) {
        return "the name is empty";
    }
    if (name == "." || name == "..") {
        return "the name \"" + name + "\" means a folder";
    }
    if (std::any_of(name.begin(), name.end(), IsForbiddenCharacter)) {
        return "the name \"" + name + "\" holds a character Windows refuses in file names";
    }
    if (name.back() == '.' || name.back() == ' ') {
        return "the name \"" + name + "\" ends in a dot or space, which Windows drops";
    }
    if (IsDeviceName(name)) {
        return "the name \"" + name + "\" is a Windows device";
    }
    if (SameEntryName(name, SFX_ICON_FOLDER_NAME)) {
        return "the name \"" + name + "\" is the folder the installer makes for images";
    }
    return "";
}

bool SameEntryName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && UpperAscii(a) == UpperAscii(b);
}

bool FindDuplicateEntryNames(const std::vector<std::string>& names, std::size_t& first,
                             std::size_t& second) {
    // Sorted by folded name, duplicates stand side by side; the sort is stable, so the pair
    // found is the earliest clash in entry order for that name.
    std::vector<std::size_t> order(names.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::vector<std::string> folded;
    folded.reserve(names.size());
    for (const std::string& name : names) {
        folded.push_back(UpperAscii(name));
    }
    std::stable_sort(order.begin(), order.end(),
                     [&folded](std::size_t a, std::size_t b) { return folded[a] < folded[b]; });
    for (std::size_t i = 1; i < order.size(); ++i) {
        if (folded[order[i - 1]] == folded[order[i]]) {
            first = order[i - 1];
            second = order[i];
            return true;
        }
    }
    return false;
}
