#pragma once

// What a simulated machine's folders hold, and where an install puts the payload's files: shared
// by the sequence tests and the fault sweep.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "setup/ProductPaths.h"
#include "tests/unit/ScratchFolder.h"

// Every path below a host folder (after PREFIX) with what it is: "folder", "link <target>" or
// "file <content>".
using Listing = std::map<std::string, std::string>;

inline Listing ListBelow(const std::filesystem::path& folder, const std::string& prefix = "") {
    namespace fs = std::filesystem;
    Listing listing;
    if (!fs::is_directory(folder)) {
        return listing;
    }
    for (auto it = fs::recursive_directory_iterator(folder); it != fs::end(it); ++it) {
        std::string path = prefix + fs::relative(it->path(), folder).string();
        if (it->is_symlink()) {
            listing[path] = "link " + fs::read_symlink(it->path()).string();
        } else if (it->is_directory()) {
            listing[path] = "folder";
        } else {
            listing[path] = "file " + test_support::ReadHostFile(it->path());
        }
    }
    return listing;
}

// Where an install leaves a payload file, relative to the program folder: the images in ICONs;
// "" for setup's own programs and scripts, which it leaves nowhere.
inline std::string InstalledPath(const std::string& name) {
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    if (std::find(std::begin(SETUP_ONLY_PROGRAMS), std::end(SETUP_ONLY_PROGRAMS), name) !=
            std::end(SETUP_ONLY_PROGRAMS) ||
        lower.ends_with(".mof")) {
        return "";
    }
    return lower.ends_with(".bmp") || lower.ends_with(".ico") ? "ICONs/" + name : name;
}

// The service control manager's table holds one service, JovixZIL: sets one of its fields
// ("account NT AUTHORITY\LocalService"), or adds a line when no line has that field.
inline void SetServiceField(const std::filesystem::path& machine, const std::string& field,
                            const std::string& value) {
    std::istringstream table(test_support::ReadHostFile(machine / "services.txt"));
    std::string edited;
    bool set = false;
    for (std::string line; std::getline(table, line);) {
        if (line.starts_with(field + " ")) {
            line = field + " " + value;
            set = true;
        }
        edited += line + "\n";
    }
    if (!set) {
        edited += field + " " + value + "\n";
    }
    std::ofstream(machine / "services.txt", std::ios::trunc) << edited;
}
