#include "setup/ProductEntry.h"

#include <utility>

#include "platform/WindowsPaths.h"
#include "res/ProductVersion.h"
#include "res/resource.h"
#include "setup/ProductPaths.h"

namespace {

// In the kept key, each value of the replaced entry goes under its name behind this prefix, so
// that no name of it can meet the mark below.
constexpr const char* KEPT_VALUE_PREFIX = "value:";
// Written last: the kept key is whole. 1: there was an entry; 0: there was none.
constexpr const char* KEPT_MARK = "kept";
// What the entry shows as its version: the end of the text by which the packaging finds the
// version in the installer (res/ProductVersion.h).
constexpr char VERSION_MARK[] = ZIL_PRODUCT_VERSION_MARK;
constexpr const char* DISPLAY_VERSION = VERSION_MARK + sizeof(ZIL_PRODUCT_VERSION_MARK_PREFIX) - 1;

bool Missing(Win32Error error) {
    return error == WIN_FILE_NOT_FOUND || error == WIN_PATH_NOT_FOUND;
}

// The programs and scripts that only setup needs, by their names in the program folder.
bool IsSetupOnly(std::string_view name) {
    for (const char* program : SETUP_ONLY_PROGRAMS) {
        if (EqualsIgnoringCase(name, program)) {
            return true;
        }
    }
    return MatchesWildcard(SETUP_ONLY_SCRIPTS, name);
}

// The bytes of the files in the folder and below it. Setup's own tools in the program folder
// are deleted once the service runs, after the entry is written: they are no part of the
// installation's size.
std::uint64_t FileBytes(FileSystem& files, const String& folder, bool programFolder) {
    std::uint64_t bytes = 0;
    std::vector<FolderItem> items;
    files.listItems(folder + "\\*", items);
    for (const FolderItem& item : items) {
        // A link is not counted through (one to a folder above would never end).
        if (IsListedFolder(files, item)) {
            bytes += FileBytes(files, item.path, false);
        } else if (!programFolder || !IsSetupOnly(item.path.c_str() + folder.size() + 1)) {
            bytes += item.size;
        }
    }
    return bytes;
}

// The mark that ends the kept key: whether the replaced entry existed.
RegistryValue KeptMark(bool existed) {
    return RegistryValue::Dword(KEPT_MARK, existed ? 1 : 0);
}

// A path in a command line: quoted, for the blanks of "Program Files (x86)".
String Quoted(const String& path) {
    return "\"" + path + "\"";
}

}  // namespace

ProductEntry::ProductEntry(Platform& platform)
    : m_registry(platform.registry()), m_files(platform.files()), m_clock(platform.clock()) {}

std::vector<RegistryValue> ProductEntry::Values() {
    // "YYYY-MM-DD HH:MM:SS" gives "YYYYMMDD".
    String date = m_clock.localTimestamp();
    date.erase(10).erase(7, 1).erase(4, 1);
    // Without an argument the kept setup program shows its dialog, where a person clicks
    // Uninstall.
    String uninstall = Quoted(SETUP_KEPT_SETUP);
    String quietUninstall = uninstall + " /U";
    // Made into values in one place: a String for each text here would cost each its own code.
    const char* const texts[][2] = {
        {"DisplayName", ZIL_PRODUCT_NAME},      {"DisplayVersion", DISPLAY_VERSION},
        {"Publisher", ZIL_PUBLISHER},           {"InstallLocation", SETUP_PROGRAM_DIR},
        {"DisplayIcon", SETUP_KEPT_SETUP},      {"InstallDate", date.c_str()},
        {"UninstallString", uninstall.c_str()}, {"QuietUninstallString", quietUninstall.c_str()},
    };
    std::vector<RegistryValue> values;
    for (const auto& [name, text] : texts) {
        values.push_back(RegistryValue::Text(name, text));
    }
    const std::pair<const char*, std::uint32_t> numbers[] = {
        {"EstimatedSize", InstalledKiB()}, {"NoModify", 1}, {"NoRepair", 1}};
    for (const auto& [name, number] : numbers) {
        values.push_back(RegistryValue::Dword(name, number));
    }
    return values;
}

Win32Error ProductEntry::Write() {
    std::vector<RegistryValue> replaced;
    Win32Error error = m_registry.readValues(SETUP_ENTRY_KEY, replaced);
    if (error != WIN_OK && !Missing(error)) {
        return error;
    }
    if (Win32Error kept = KeepReplaced(replaced, error == WIN_OK); kept != WIN_OK) {
        return kept;
    }
    return ReplaceValues(Values());
}

// Whatever an earlier run left kept is stale by now (a resume has given it back before this):
// it goes before this run keeps its own.
Win32Error ProductEntry::KeepReplaced(const std::vector<RegistryValue>& replaced, bool existed) {
    if (Win32Error error = m_registry.deleteKey(SETUP_ENTRY_REPLACED_KEY);
        error != WIN_OK && !Missing(error)) {
        return error;
    }
    if (Win32Error error = m_registry.createKey(SETUP_ENTRY_REPLACED_KEY); error != WIN_OK) {
        return error;
    }
    for (RegistryValue value : replaced) {
        value.name.insert(0, KEPT_VALUE_PREFIX);
        if (Win32Error error = m_registry.setValue(SETUP_ENTRY_REPLACED_KEY, value);
            error != WIN_OK) {
            return error;
        }
    }
    return m_registry.setValue(SETUP_ENTRY_REPLACED_KEY, KeptMark(existed));
}

// The entry's values become exactly these, in this order: none of the old ones stays.
Win32Error ProductEntry::ReplaceValues(const std::vector<RegistryValue>& values) {
    std::vector<RegistryValue> old;
    Win32Error error = m_registry.readValues(SETUP_ENTRY_KEY, old);
    if (error != WIN_OK && !Missing(error)) {
        return error;
    }
    for (const RegistryValue& value : old) {
        if (error = m_registry.deleteValue(SETUP_ENTRY_KEY, value.name);
            error != WIN_OK && !Missing(error)) {
            return error;
        }
    }
    if (error = m_registry.createKey(SETUP_ENTRY_KEY); error != WIN_OK) {
        return error;
    }
    for (const RegistryValue& value : values) {
        if (error = m_registry.setValue(SETUP_ENTRY_KEY, value); error != WIN_OK) {
            return error;
        }
    }
    return WIN_OK;
}

// A kept key without its mark was cut off while it was written, before the entry itself was
// touched: the entry is as it was, and only the key goes.
Win32Error ProductEntry::GiveBack() {
    std::vector<RegistryValue> kept;
    Win32Error error = m_registry.readValues(SETUP_ENTRY_REPLACED_KEY, kept);
    if (Missing(error)) {
        return WIN_OK;
    }
    if (error != WIN_OK) {
        return error;
    }
    std::vector<RegistryValue> replaced;
    bool marked = false;
    bool existed = false;
    for (RegistryValue& value : kept) {
        if (value.name == KEPT_MARK) {
            marked = true;
            existed = value == KeptMark(true);
        } else if (value.name.starts_with(KEPT_VALUE_PREFIX)) {
            value.name.erase(0, std::string_view(KEPT_VALUE_PREFIX).size());
            replaced.push_back(std::move(value));
        }
    }
    // The entry's values go back first, the kept key last: cut off anywhere, the next run
    // still finds what to give back. Where there was no entry, an empty key stays until the
    // end, which no one lists.
    if (!existed) {
        replaced.clear();
    }
    if (marked && (error = ReplaceValues(replaced)) != WIN_OK) {
        return error;
    }
    if (error = m_registry.deleteKey(SETUP_ENTRY_REPLACED_KEY);
        error != WIN_OK && !Missing(error)) {
        return error;
    }
    if (marked && !existed && !Missing(error = m_registry.deleteKey(SETUP_ENTRY_KEY))) {
        return error;
    }
    return WIN_OK;
}

Win32Error ProductEntry::Commit() {
    Win32Error error = m_registry.deleteKey(SETUP_ENTRY_REPLACED_KEY);
    return Missing(error) ? WIN_OK : error;
}

Win32Error ProductEntry::Remove() {
    for (const char* key : {SETUP_ENTRY_REPLACED_KEY, static_cast<const char*>(SETUP_ENTRY_KEY)}) {
        if (Win32Error error = m_registry.deleteKey(key); error != WIN_OK && !Missing(error)) {
            return error;
        }
    }
    return WIN_OK;
}

// The installed files' size (setup's own tools left out), rounded up to whole KiB, as Apps &
// features shows it.
std::uint32_t ProductEntry::InstalledKiB() {
    return static_cast<std::uint32_t>((FileBytes(m_files, SETUP_PROGRAM_DIR, true) + 1023) / 1024);
}
