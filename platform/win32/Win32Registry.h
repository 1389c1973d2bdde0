#pragma once

#include "platform/Registry.h"

// HKEY_LOCAL_MACHINE through advapi32, always in the 32-bit view (KEY_WOW64_32KEY).
class Win32Registry : public Registry {
public:
    Win32Error createKey(const String& key) override;
    Win32Error setValue(const String& key, const RegistryValue& value) override;
    Win32Error readValues(const String& key, std::vector<RegistryValue>& values) override;
    Win32Error deleteValue(const String& key, const String& name) override;
    Win32Error deleteKey(const String& key) override;
};
