#pragma once

#include <string>
#include <vector>

#include "platform/Registry.h"
#include "platform/sim/SimMachine.h"

// The simulated machine's HKEY_LOCAL_MACHINE (its 32-bit view, the only one a 32-bit program
// sees). It lives in $ZIL_MACHINE/registry.txt, which a person can read, in the shape of an
// exported registry file:
//
//   [HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\ZIL]
//   "DisplayName"=sz:"ZIL"
//   "NoModify"=dword:00000001
//   "Blob"=hex(3):00,ff
//
// Texts write '"' and '\' as \" and \\, bytes outside printable ASCII as \xNN. Key names compare
// without case, as Windows compares them; a key's values keep the order they were first written in.
// Every request reads, changes and writes the file back under a lock, and is a journal line
// ("registry: set HKLM\...\ZIL DisplayName -> 0"; a key deleted with everything below it:
// "registry: delete-tree HKLM\...\ZIL -> 0").
class SimRegistry : public Registry {
public:
    explicit SimRegistry(SimMachine& machine) : m_machine(machine) {}

    Win32Error createKey(TextRef key) override;
    Win32Error setValue(TextRef key, const RegistryValue& value) override;
    Win32Error readValues(TextRef key, std::vector<RegistryValue>& values) override;
    Win32Error deleteValue(TextRef key, TextRef name) override;
    Win32Error deleteKey(TextRef key) override;
    Win32Error deleteTree(TextRef key) override;

    struct Key {
        std::string path;  // below HKLM, as first created
        std::vector<RegistryValue> values;
        bool operator==(const Key&) const = default;
    };
    // The whole registry as the file holds it now (for tests and the demo).
    std::vector<Key> keys() const;
    std::string path() const { return m_machine.root() + "/registry.txt"; }

    // The file's text for these keys, and the keys a text describes; what cannot be read is
    // skipped.
    static std::string Format(const std::vector<Key>& keys);
    static std::vector<Key> Parse(const std::string& text);

private:
    template <typename Change>
    Win32Error transact(const char* request, const String& detail, Change change);

    SimMachine& m_machine;
};
