#pragma once

#include "StringType.h"
#include <vector>

#include "platform/Platform.h"

// The product's entry in Apps & features: what Windows, a person in Settings and deployment
// tools (which detect the product by its DisplayVersion and remove it with its
// QuietUninstallString) see of the installation.
//
// The entry is part of an install's transaction. Write keeps the entry it replaces (or that
// there was none) in a key below the entry until Commit; GiveBack puts that one back exactly, value
// for value, byte for byte. A run cut off between Write and Commit leaves the kept entry for the
// next run, which gives it back when it resumes the interrupted upgrade and lets it go
// otherwise (the upgrade's record, not this key, tells whether the install was committed).
class ProductEntry {
public:
    explicit ProductEntry(Platform& platform);

    // The values of the entry for the installation now in the program folder, dated today.
    std::vector<RegistryValue> Values();
    // The entry, written over whatever is there; the replaced entry is kept below it first.
    Win32Error Write();
    // The entry as it was before Write (none, if there was none); nothing to do when nothing is
    // kept.
    Win32Error GiveBack();
    // The written entry stays; the replaced one kept below it goes.
    Win32Error Commit();
    // The entry goes, with anything kept below it (an uninstall).
    Win32Error Remove();

private:
    Win32Error KeepReplaced(const std::vector<RegistryValue>& replaced, bool existed);
    Win32Error ReplaceValues(const std::vector<RegistryValue>& values);
    std::uint32_t InstalledKiB();

    Registry& m_registry;
    FileSystem& m_files;
    Clock& m_clock;
};
