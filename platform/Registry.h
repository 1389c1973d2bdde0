#pragma once

#include <cstdint>
#include "text/StringType.h"
#include <vector>

#include "text/TextRef.h"
#include "platform/Win32Error.h"

// Value types, as the registry numbers them.
enum : std::uint32_t {
    REG_VALUE_TEXT = 1,        // REG_SZ
    REG_VALUE_EXPANDABLE = 2,  // REG_EXPAND_SZ
    REG_VALUE_BINARY = 3,      // REG_BINARY
    REG_VALUE_DWORD = 4,       // REG_DWORD, little-endian
};

// One value of a key: its data exactly as the registry holds it, so that a value read can be
// written back byte for byte (a text carries its terminating NUL).
struct RegistryValue {
    String name;
    std::uint32_t type = REG_VALUE_BINARY;
    String data;

    static RegistryValue Text(const String& name, const String& text) {
        return {name, REG_VALUE_TEXT, text + '\0'};
    }
    static RegistryValue Dword(const String& name, std::uint32_t value) {
        String data(4, '\0');
        for (int i = 0; i < 4; ++i) {
            data[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
        }
        return {name, REG_VALUE_DWORD, data};
    }
    bool operator==(const RegistryValue&) const = default;
};

// Keys under HKEY_LOCAL_MACHINE, in the 32-bit view: where a 32-bit product belongs (64-bit
// Windows keeps that view under WOW6432Node). Keys are paths below HKLM ("SOFTWARE\..."). Each
// call is one registry operation and returns its Win32 error.
class Registry {
public:
    virtual ~Registry() = default;
    // Creates the key and any missing key above it; an existing key keeps its values.
    virtual Win32Error createKey(TextRef key) = 0;
    // Writes one value of an existing key, replacing a value of that name.
    virtual Win32Error setValue(TextRef key, const RegistryValue& value) = 0;
    // Every value of the key, in the registry's order; 2 when the key is not there.
    virtual Win32Error readValues(TextRef key, std::vector<RegistryValue>& values) = 0;
    // Deletes one value of the key; 2 when the key or the value is not there.
    virtual Win32Error deleteValue(TextRef key, TextRef name) = 0;
    // Deletes the key with its values; 2 when it is not there, 5 when it has keys below it.
    virtual Win32Error deleteKey(TextRef key) = 0;
    // Deletes the key with every key below it, whoever made them, and all their values; 2 when
    // it is not there.
    virtual Win32Error deleteTree(TextRef key) = 0;
};
