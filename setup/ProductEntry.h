#pragma once

#include "text/StringType.h"
#include <vector>

#include "platform/Platform.h"

// What writing or removing the entry did: its error, and where the key holds another product's
// entry, which setup left alone, the run log's line and the log details' words that say so.
struct EntryOutcome {
    Win32Error error = WIN_OK;
    String note;
    String detail;
};

// The product's entry in Apps & features: what Windows, a person in Settings and deployment
// tools (which detect the product by its DisplayVersion and remove it with its
// QuietUninstallString) see of the installation.
//
// Setup changes and removes only an entry that is its own: one whose uninstall command is the
// kept setup program, a key without values, or one with setup's kept copy below it (cut off while
// it was written). Another product's entry at the key is never changed or removed.
//
// The entry is part of an install's transaction. Write keeps the entry it replaces (or that
// there was none) in a key below the entry until Commit, bound to the upgrade the run records;
// GiveBack puts back exactly what this run replaced, value for value, byte for byte, and removes
// what this run made where there was no entry. A run cut off between Write and Commit leaves the
// kept entry for the next run, which gives it back when it resumes that very upgrade; any other
// kept copy is stale (a commit that could not drop it) and goes, never given back, when the next
// entry is written or removed.
class ProductEntry {
public:
    explicit ProductEntry(Platform& platform);

    // The values of the entry for the installation now in the program folder, dated today.
    std::vector<RegistryValue> Values();
    // The entry, written over an entry of setup's own; the replaced entry is kept below it first,
    // bound to `upgrade` (Upgrade::Id(); empty for a run without a record). Another product's
    // entry is left as it is, and named in the outcome.
    EntryOutcome Write(const String& upgrade);
    // What Write changed, given back: the entry as it was before (none, if there was none, and
    // no key); nothing to do when Write changed nothing.
    Win32Error GiveBack();
    // The entry as it was before the upgrade `upgrade` (Upgrade::Resumption::id), cut off after
    // it kept it; a copy kept by any other run is not given back.
    Win32Error GiveBackInterrupted(const String& upgrade);
    // The written entry stays; the replaced one this run kept below it goes.
    Win32Error Commit();
    // An entry of setup's own goes whole, with whatever is below it (an uninstall); another
    // product's stays, named in the outcome.
    EntryOutcome Remove();

private:
    Win32Error Read(std::vector<RegistryValue>& values, bool& keptBelow);
    static bool IsOwn(const std::vector<RegistryValue>& values, bool keptBelow);
    EntryOutcome LeftAlone();
    Win32Error KeepReplaced(const String& upgrade);
    Win32Error ReplaceValues(const std::vector<RegistryValue>& values);
    Win32Error DeleteEntryKey();
    Win32Error DeleteKeptKey();
    std::uint32_t InstalledKiB();

    Registry& m_registry;
    FileSystem& m_files;
    Clock& m_clock;
    // What this run's Write did: whether it began the kept copy, and whether the copy was
    // whole (from then on the entry's values change); the entry it replaces, with its values
    // (none: there was no entry of setup's own, whole, and the key goes on a give-back).
    bool m_keeping = false;
    bool m_kept = false;
    bool m_existed = false;
    std::vector<RegistryValue> m_replaced;
};
