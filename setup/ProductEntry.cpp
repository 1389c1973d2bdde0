#include "setup/ProductEntry.h"

#include <array>
#include <cstddef>
#include <utility>

#include "paths/WindowsPaths.h"
#include "res/ProductVersion.h"
#include "res/resource.h"
#include "setup/FileOperations.h"
#include "setup/ProductPaths.h"
#include "setup/StepLine.h"

namespace {

// In the kept key, each value of the replaced entry goes under its name behind this prefix, so
// that no name of it can meet the two below.
constexpr const char* KEPT_VALUE_PREFIX = "value:";
// Written first: the upgrade whose run kept the copy (Upgrade::Id(); none without a record). Only
// a resume of that upgrade gives the copy back.
constexpr const char* KEPT_UPGRADE = "upgrade";
// Written last: the kept key is whole. 1: there was an entry; 0: there was none.
constexpr const char* KEPT_MARK = "kept";
// What the entry shows as its version: the end of the text by which the packaging finds the
// version in the installer (res/ProductVersion.h).
constexpr char VERSION_MARK[] = ZIL_PRODUCT_VERSION_MARK;
constexpr const char* DISPLAY_VERSION = VERSION_MARK + sizeof(ZIL_PRODUCT_VERSION_MARK_PREFIX) - 1;

// The entry's two commands, by which setup knows an entry for its own.
constexpr const char* ENTRY_UNINSTALL = "UninstallString";
constexpr const char* ENTRY_QUIET_UNINSTALL = "QuietUninstallString";
constexpr const char* ENTRY_LEFT_ALONE = "another product's entry, left alone";

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
std::uint64_t FileBytes(FileSystem& files, TextRef folder, bool programFolder) {
    std::uint64_t bytes = 0;
    std::vector<FolderItem> items;
    files.listItems(PathIn(folder, "*"), items);
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

// The value of that name (names compare without case, as the registry's do), or none.
const RegistryValue* Find(const std::vector<RegistryValue>& values, std::string_view name) {
    for (const RegistryValue& value : values) {
        if (EqualsIgnoringCase(value.name, name)) {
            return &value;
        }
    }
    return nullptr;
}

// The kept setup program, quoted for the blanks of "Program Files (x86)", and its arguments:
// joined when the program is compiled.
template <std::size_t N>
constexpr auto KeptSetupCommand(const char (&arguments)[N]) {
    std::array<char, SETUP_KEPT_SETUP_PATH.size() + 1 + N> command{};
    std::size_t at = 0;
    command[at++] = '"';
    for (std::size_t i = 0; i + 1 < SETUP_KEPT_SETUP_PATH.size(); ++i) {
        command[at++] = SETUP_KEPT_SETUP_PATH[i];
    }
    command[at++] = '"';
    for (std::size_t i = 0; i < N; ++i) {
        command[at++] = arguments[i];
    }
    return command;
}

// Without an argument the kept program shows its dialog, where a person clicks Uninstall; with
// /U it removes the product unattended.
constexpr auto UNINSTALL_COMMAND = KeptSetupCommand("");
constexpr auto QUIET_UNINSTALL_COMMAND = KeptSetupCommand(" /U");

// One of the entry's commands is the kept setup program's, as every release of setup wrote it
// (the case aside: a person or a tool may have retyped it).
bool NamesKeptSetup(const std::vector<RegistryValue>& values) {
    const char* const commands[][2] = {{ENTRY_UNINSTALL, UNINSTALL_COMMAND.data()},
                                       {ENTRY_QUIET_UNINSTALL, QUIET_UNINSTALL_COMMAND.data()}};
    for (const auto& [name, text] : commands) {
        const RegistryValue* command = Find(values, name);
        if (command != nullptr &&
            (command->type == REG_VALUE_TEXT || command->type == REG_VALUE_EXPANDABLE) &&
            !command->data.empty() && command->data.back() == '\0' &&
            EqualsIgnoringCase(std::string_view(command->data).substr(0, command->data.size() - 1),
                               text)) {
            return true;
        }
    }
    return false;
}

// Every value setup writes is there.
bool IsWhole(const std::vector<RegistryValue>& found, const std::vector<RegistryValue>& written) {
    for (const RegistryValue& value : written) {
        if (Find(found, value.name) == nullptr) {
            return false;
        }
    }
    return true;
}

// A kept key as read: the upgrade it belongs to, its mark, and the replaced entry's values.
struct KeptCopy {
    String upgrade;
    bool marked = false;
    bool existed = false;
    std::vector<RegistryValue> replaced;
};

KeptCopy ParseKept(std::vector<RegistryValue>& kept) {
    KeptCopy copy;
    for (RegistryValue& value : kept) {
        if (value.name == KEPT_MARK) {
            copy.marked = true;
            copy.existed = value == KeptMark(true);
        } else if (value.name == KEPT_UPGRADE) {
            copy.upgrade = value.data;
        } else if (value.name.starts_with(KEPT_VALUE_PREFIX)) {
            value.name.erase(0, std::string_view(KEPT_VALUE_PREFIX).size());
            copy.replaced.push_back(std::move(value));
        }
    }
    return copy;
}

}  // namespace

ProductEntry::ProductEntry(Platform& platform)
    : m_registry(platform.registry()), m_files(platform.files()), m_clock(platform.clock()) {}

std::vector<RegistryValue> ProductEntry::Values() {
    // "YYYY-MM-DD HH:MM:SS" gives "YYYYMMDD".
    String date = m_clock.localTimestamp();
    date.erase(10).erase(7, 1).erase(4, 1);
    // Made into values in one place: a String for each text here would cost each its own code.
    const char* const texts[][2] = {
        {"DisplayName", ZIL_PRODUCT_NAME},
        {"DisplayVersion", DISPLAY_VERSION},
        {"Publisher", ZIL_PUBLISHER},
        {"InstallLocation", SETUP_PROGRAM_DIR},
        {"DisplayIcon", SETUP_KEPT_SETUP},
        {"InstallDate", date.c_str()},
        {ENTRY_UNINSTALL, UNINSTALL_COMMAND.data()},
        {ENTRY_QUIET_UNINSTALL, QUIET_UNINSTALL_COMMAND.data()},
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

// The entry's values (none where there is no key) and whether a whole kept copy of setup's lies
// below it.
Win32Error ProductEntry::Read(std::vector<RegistryValue>& values, bool& keptBelow) {
    keptBelow = false;
    Win32Error error = m_registry.readValues(SETUP_ENTRY_KEY, values);
    if (IsMissing(error)) {
        return WIN_OK;
    }
    std::vector<RegistryValue> kept;
    if (error == WIN_OK) {
        error = m_registry.readValues(SETUP_ENTRY_REPLACED_KEY, kept);
        keptBelow = error == WIN_OK && Find(kept, KEPT_MARK) != nullptr;
    }
    return IsMissing(error) ? WIN_OK : error;
}

// Setup's own: it names the kept setup program, it is a key without values (a run cut off once
// it made the key), or setup's copy below says that a run was cut off while it wrote or gave
// back these values.
bool ProductEntry::IsOwn(const std::vector<RegistryValue>& values, bool keptBelow) {
    return values.empty() || keptBelow || NamesKeptSetup(values);
}

EntryOutcome ProductEntry::LeftAlone() {
    return {WIN_OK, NoteLine(String("HKLM\\") + SETUP_ENTRY_KEY, ENTRY_LEFT_ALONE),
            ENTRY_LEFT_ALONE};
}

EntryOutcome ProductEntry::Write(const String& upgrade) {
    std::vector<RegistryValue> found;
    bool keptBelow = false;
    if (Win32Error error = Read(found, keptBelow); error != WIN_OK) {
        return {error, {}, {}};
    }
    if (!IsOwn(found, keptBelow)) {
        return LeftAlone();
    }
    std::vector<RegistryValue> values = Values();
    // What a run cut off while it wrote these values left is no entry to give back: a failure of
    // this run leaves none rather than half of one.
    m_existed = !found.empty() && (!keptBelow || IsWhole(found, values));
    if (m_existed) {
        m_replaced = std::move(found);
    } else {
        m_replaced.clear();
    }
    if (Win32Error kept = KeepReplaced(upgrade); kept != WIN_OK) {
        return {kept, {}, {}};
    }
    m_kept = true;
    return {ReplaceValues(values), {}, {}};
}

// Whatever an earlier run left kept is stale by now (a resume has given back the one it could):
// it goes, never given back, before this run keeps its own.
Win32Error ProductEntry::KeepReplaced(const String& upgrade) {
    if (Win32Error error = m_registry.deleteTree(SETUP_ENTRY_REPLACED_KEY);
        error != WIN_OK && !IsMissing(error)) {
        return error;
    }
    // From here on a give-back has something to do.
    m_keeping = true;
    if (Win32Error error = m_registry.createKey(SETUP_ENTRY_REPLACED_KEY); error != WIN_OK) {
        return error;
    }
    std::vector<RegistryValue> kept;
    if (!upgrade.empty()) {
        kept.push_back({KEPT_UPGRADE, REG_VALUE_BINARY, upgrade});
    }
    for (RegistryValue value : m_replaced) {
        value.name.insert(0, KEPT_VALUE_PREFIX);
        kept.push_back(std::move(value));
    }
    kept.push_back(KeptMark(m_existed));
    for (const RegistryValue& value : kept) {
        if (Win32Error error = m_registry.setValue(SETUP_ENTRY_REPLACED_KEY, value);
            error != WIN_OK) {
            return error;
        }
    }
    return WIN_OK;
}

// The entry's values become exactly these, in this order: none of the old ones stays.
Win32Error ProductEntry::ReplaceValues(const std::vector<RegistryValue>& values) {
    std::vector<RegistryValue> old;
    Win32Error error = m_registry.readValues(SETUP_ENTRY_KEY, old);
    if (error != WIN_OK && !IsMissing(error)) {
        return error;
    }
    for (const RegistryValue& value : old) {
        if (error = m_registry.deleteValue(SETUP_ENTRY_KEY, value.name);
            error != WIN_OK && !IsMissing(error)) {
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

// The key goes whole: whatever a run made where there was no entry, and whatever is below it.
Win32Error ProductEntry::DeleteEntryKey() {
    Win32Error error = m_registry.deleteTree(SETUP_ENTRY_KEY);
    return IsMissing(error) ? WIN_OK : error;
}

// The kept copy goes, once what it kept is given back or no longer needed.
Win32Error ProductEntry::DeleteKeptKey() {
    Win32Error error = m_registry.deleteKey(SETUP_ENTRY_REPLACED_KEY);
    return IsMissing(error) ? WIN_OK : error;
}

// From what this run knows, not from the key below: a copy that is not this run's is never
// given back. The entry's values go back first, the kept key last: cut off anywhere, the next
// run still finds what to give back.
Win32Error ProductEntry::GiveBack() {
    if (!m_keeping) {
        return WIN_OK;
    }
    if (!m_existed) {
        return DeleteEntryKey();
    }
    if (m_kept) {
        if (Win32Error error = ReplaceValues(m_replaced); error != WIN_OK) {
            return error;
        }
    }
    return DeleteKeptKey();
}

// A kept key without its mark was cut off while it was written, before the entry's values were
// touched: only the key goes, and the entry key with it when the cut-off run made it (it has no
// values of its own).
Win32Error ProductEntry::GiveBackInterrupted(const String& upgrade) {
    std::vector<RegistryValue> kept;
    Win32Error error = m_registry.readValues(SETUP_ENTRY_REPLACED_KEY, kept);
    if (IsMissing(error)) {
        return WIN_OK;
    }
    if (error != WIN_OK) {
        return error;
    }
    KeptCopy copy = ParseKept(kept);
    if (upgrade.empty() || copy.upgrade != upgrade) {
        return WIN_OK;  // another run's, stale: it goes when the entry is next written
    }
    if (!copy.marked) {
        std::vector<RegistryValue> values;
        if (error = m_registry.readValues(SETUP_ENTRY_KEY, values);
            error != WIN_OK && !IsMissing(error)) {
            return error;
        }
        copy.existed = !values.empty();
    }
    if (!copy.existed) {
        return DeleteEntryKey();
    }
    if (copy.marked && (error = ReplaceValues(copy.replaced)) != WIN_OK) {
        return error;
    }
    return DeleteKeptKey();
}

Win32Error ProductEntry::Commit() {
    if (!m_keeping) {
        return WIN_OK;
    }
    return DeleteKeptKey();
}

EntryOutcome ProductEntry::Remove() {
    std::vector<RegistryValue> values;
    bool keptBelow = false;
    Win32Error error = Read(values, keptBelow);
    if (error != WIN_OK) {
        return {error, {}, {}};
    }
    return IsOwn(values, keptBelow) ? EntryOutcome{DeleteEntryKey(), {}, {}} : LeftAlone();
}

// The installed files' size (setup's own tools left out), rounded up to whole KiB, as Apps &
// features shows it.
std::uint32_t ProductEntry::InstalledKiB() {
    return static_cast<std::uint32_t>((FileBytes(m_files, SETUP_PROGRAM_DIR, true) + 1023) / 1024);
}
