#include "platform/sim/SimRegistry.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "paths/WindowsPaths.h"
#include "platform/sim/SimStateLock.h"

namespace {

using Key = SimRegistry::Key;

constexpr const char* HIVE = "HKLM\\";

bool Printable(char c) {
    return c >= 0x20 && c <= 0x7E;
}

// As an exported key writes texts: \\ and \" for the two that would end or escape them,
// \xNN for any byte outside printable ASCII.
std::string Quoted(std::string_view bytes) {
    std::string text = "\"";
    for (char c : bytes) {
        if (c == '"' || c == '\\') {
            text += '\\';
            text += c;
        } else if (Printable(c)) {
            text += c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(c));
            text += escaped;
        }
    }
    return text + "\"";
}

// The quoted text at `at` (which holds the opening quote); `at` ends past the closing one.
bool Unquote(const std::string& line, std::size_t& at, String& bytes) {
    if (at >= line.size() || line[at] != '"') {
        return false;
    }
    bytes.clear();
    for (++at; at < line.size(); ++at) {
        if (line[at] == '"') {
            ++at;
            return true;
        }
        if (line[at] == '\\' && at + 1 < line.size() &&
            (line[at + 1] == '\\' || line[at + 1] == '"')) {
            bytes += line[++at];
            continue;
        }
        if (line[at] == '\\') {
            if (at + 3 >= line.size() || line[at + 1] != 'x') {
                return false;
            }
            bytes += static_cast<char>(std::stoi(line.substr(at + 2, 2), nullptr, 16));
            at += 3;
            continue;
        }
        bytes += line[at];
    }
    return false;
}

std::string DataText(const RegistryValue& value) {
    const String& data = value.data;
    bool text = value.type == REG_VALUE_TEXT || value.type == REG_VALUE_EXPANDABLE;
    if (text && !data.empty() && data.back() == '\0') {
        return (value.type == REG_VALUE_TEXT ? "sz:" : "expand:") +
               Quoted(data.substr(0, data.size() - 1));
    }
    char number[40];
    if (value.type == REG_VALUE_DWORD && data.size() == 4) {
        std::uint32_t dword = 0;
        for (int i = 3; i >= 0; --i) {
            dword = dword << 8 | static_cast<unsigned char>(data[i]);
        }
        std::snprintf(number, sizeof number, "dword:%08x", dword);
        return number;
    }
    std::snprintf(number, sizeof number, "hex(%u):", value.type);
    std::string hex = number;
    for (std::size_t i = 0; i < data.size(); ++i) {
        std::snprintf(number, sizeof number, i == 0 ? "%02x" : ",%02x",
                      static_cast<unsigned char>(data[i]));
        hex += number;
    }
    return hex;
}

bool ParseData(const std::string& text, RegistryValue& value) {
    std::size_t at = text.find(':');
    if (at == std::string::npos) {
        return false;
    }
    std::string kind = text.substr(0, at++);
    if (kind == "sz" || kind == "expand") {
        value.type = kind == "sz" ? REG_VALUE_TEXT : REG_VALUE_EXPANDABLE;
        if (!Unquote(text, at, value.data)) {
            return false;
        }
        value.data += '\0';
        return true;
    }
    if (kind == "dword") {
        value = RegistryValue::Dword(value.name, std::stoul(text.substr(at), nullptr, 16));
        return true;
    }
    if (std::sscanf(kind.c_str(), "hex(%u)", &value.type) != 1) {
        return false;
    }
    value.data.clear();
    for (; at + 1 < text.size(); at += 3) {
        value.data += static_cast<char>(std::stoi(text.substr(at, 2), nullptr, 16));
    }
    return true;
}

std::vector<Key>::iterator FindKey(std::vector<Key>& keys, std::string_view path) {
    return std::find_if(keys.begin(), keys.end(),
                        [&](const Key& key) { return EqualsIgnoringCase(key.path, path); });
}

// Whether the key at `path` lies somewhere below the key at `above`.
bool IsBelow(std::string_view path, std::string_view above) {
    return path.size() > above.size() + 1 && path[above.size()] == '\\' &&
           EqualsIgnoringCase(path.substr(0, above.size()), above);
}

bool HasSubkey(const std::vector<Key>& keys, std::string_view path) {
    return std::any_of(keys.begin(), keys.end(),
                       [&](const Key& key) { return IsBelow(key.path, path); });
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

std::string SimRegistry::Format(const std::vector<Key>& keys) {
    std::string text;
    for (const Key& key : keys) {
        text += "[" + std::string(HIVE) + key.path + "]\n";
        for (const RegistryValue& value : key.values) {
            text += Quoted(value.name) + "=" + DataText(value) + "\n";
        }
    }
    return text;
}

std::vector<Key> SimRegistry::Parse(const std::string& text) {
    std::vector<Key> keys;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.size() > 2 + std::string(HIVE).size() && line.front() == '[' &&
            line.back() == ']') {
            keys.push_back({line.substr(1 + std::string(HIVE).size(),
                                        line.size() - 2 - std::string(HIVE).size()),
                            {}});
            continue;
        }
        // A hand-edited line that cannot be read is skipped, like any line not understood.
        try {
            RegistryValue value;
            std::size_t at = 0;
            if (!keys.empty() && Unquote(line, at, value.name) && at < line.size() &&
                line[at] == '=' && ParseData(line.substr(at + 1), value)) {
                keys.back().values.push_back(value);
            }
        } catch (const std::exception&) {
        }
    }
    return keys;
}

std::vector<Key> SimRegistry::keys() const {
    return Parse(ReadFile(path()));
}

template <typename Change>
Win32Error SimRegistry::transact(const char* request, const String& detail, Change change) {
    SimStateLock lock(m_machine.root() + "/registry.lock");
    Win32Error error = WIN_ACCESS_DENIED;
    if (lock.held()) {
        std::vector<Key> keys = Parse(ReadFile(path()));
        bool changed = false;
        error = change(keys, changed);
        if (changed) {
            // A reader without the lock (a person, a test) never sees half a file.
            std::string temporary = path() + ".new";
            std::ofstream(temporary, std::ios::binary | std::ios::trunc) << Format(keys);
            std::rename(temporary.c_str(), path().c_str());
        }
    }
    m_machine.journal("registry", String(request) + " " + HIVE + detail + " -> " + ToString(error));
    return error;
}

Win32Error SimRegistry::createKey(TextRef keyText) {
    const String key(keyText);
    return transact("create", key, [&](std::vector<Key>& keys, bool& changed) {
        // Every key on the way exists afterwards, as RegCreateKeyEx leaves them.
        for (std::size_t end = key.find('\\');; end = key.find('\\', end + 1)) {
            String path = key.substr(0, end);
            if (FindKey(keys, path) == keys.end()) {
                keys.push_back({std::string(path), {}});
                changed = true;
            }
            if (end == String::npos) {
                return WIN_OK;
            }
        }
    });
}

Win32Error SimRegistry::setValue(TextRef keyText, const RegistryValue& value) {
    const String key(keyText);
    return transact("set", key + " " + value.name, [&](std::vector<Key>& keys, bool& changed) {
        auto found = FindKey(keys, key);
        if (found == keys.end()) {
            return WIN_FILE_NOT_FOUND;
        }
        auto old = std::find_if(
            found->values.begin(), found->values.end(),
            [&](const RegistryValue& v) { return EqualsIgnoringCase(v.name, value.name); });
        if (old == found->values.end()) {
            found->values.push_back(value);
        } else {
            *old = value;
        }
        changed = true;
        return WIN_OK;
    });
}

Win32Error SimRegistry::readValues(TextRef keyText, std::vector<RegistryValue>& values) {
    const String key(keyText);
    values.clear();
    return transact("read", key, [&](std::vector<Key>& keys, bool&) {
        auto found = FindKey(keys, key);
        if (found == keys.end()) {
            return WIN_FILE_NOT_FOUND;
        }
        values = found->values;
        return WIN_OK;
    });
}

Win32Error SimRegistry::deleteValue(TextRef keyText, TextRef nameText) {
    const String key(keyText);
    const String name(nameText);
    return transact("delete-value", key + " " + name, [&](std::vector<Key>& keys, bool& changed) {
        auto found = FindKey(keys, key);
        if (found == keys.end()) {
            return WIN_FILE_NOT_FOUND;
        }
        changed = std::erase_if(found->values, [&](const RegistryValue& v) {
                      return EqualsIgnoringCase(v.name, name);
                  }) > 0;
        return changed ? WIN_OK : WIN_FILE_NOT_FOUND;
    });
}

Win32Error SimRegistry::deleteKey(TextRef keyText) {
    const String key(keyText);
    return transact("delete", key, [&](std::vector<Key>& keys, bool& changed) {
        auto found = FindKey(keys, key);
        if (found == keys.end()) {
            return WIN_FILE_NOT_FOUND;
        }
        if (HasSubkey(keys, key)) {
            return WIN_ACCESS_DENIED;
        }
        keys.erase(found);
        changed = true;
        return WIN_OK;
    });
}

Win32Error SimRegistry::deleteTree(TextRef keyText) {
    const String key(keyText);
    return transact("delete-tree", key, [&](std::vector<Key>& keys, bool& changed) {
        if (FindKey(keys, key) == keys.end()) {
            return WIN_FILE_NOT_FOUND;
        }
        std::erase_if(keys, [&](const Key& below) {
            return EqualsIgnoringCase(below.path, key) || IsBelow(below.path, key);
        });
        changed = true;
        return WIN_OK;
    });
}
