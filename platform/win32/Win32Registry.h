#pragma once

#include "platform/Registry.h"

// HKEY_LOCAL_MACHINE through advapi32, always in the 32-bit view (KEY_WOW64_32KEY).
class Win32Registry : public Registry {
public:
    Win32Error createKey(TextRef key) override;
    Win32Error setValue(TextRef key, const RegistryValue& value) override;
    Win32Error readValues(TextRef key, std::vector<RegistryValue>& values) override;
    Win32Error deleteValue(TextRef key, TextRef name) override;
    Win32Error deleteKey(TextRef key) override;
    Win32Error deleteTree(TextRef key) override;
};
