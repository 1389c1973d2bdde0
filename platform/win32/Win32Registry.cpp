#include "platform/win32/Win32Registry.h"

#include <windows.h>

#include "platform/win32/Win32Handle.h"

namespace {

using KeyHandle = Win32Handle<HKEY, RegCloseKey>;

// The registry calls return their error rather than setting the last error.
Win32Error Result(LONG status) {
    return static_cast<Win32Error>(status);
}

Win32Error OpenKey(TextRef key, REGSAM access, KeyHandle& handle) {
    return Result(RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, access | KEY_WOW64_32KEY,
                                handle.address()));
}

}  // namespace

Win32Error Win32Registry::createKey(TextRef key) {
    KeyHandle handle;
    return Result(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr,
                                  REG_OPTION_NON_VOLATILE, KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr,
                                  handle.address(), nullptr));
}

Win32Error Win32Registry::setValue(TextRef key, const RegistryValue& value) {
    KeyHandle handle;
    if (Win32Error error = OpenKey(key, KEY_SET_VALUE, handle); error != WIN_OK) {
        return error;
    }
    return Result(RegSetValueExA(handle.get(), value.name.c_str(), 0, value.type,
                                 reinterpret_cast<const BYTE*>(value.data.data()),
                                 static_cast<DWORD>(value.data.size())));
}

Win32Error Win32Registry::readValues(TextRef key, std::vector<RegistryValue>& values) {
    values.clear();
    KeyHandle handle;
    if (Win32Error error = OpenKey(key, KEY_QUERY_VALUE, handle); error != WIN_OK) {
        return error;
    }
    DWORD count = 0, longestName = 0, longestData = 0;
    LONG status = RegQueryInfoKeyA(handle.get(), nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, &count, &longestName, &longestData, nullptr, nullptr);
    if (status != ERROR_SUCCESS) {
        return Result(status);
    }
    String name(longestName + 1, '\0');
    String data(longestData, '\0');
    for (DWORD index = 0; index < count; ++index) {
        DWORD nameSize = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = 0;
        status = RegEnumValueA(handle.get(), index, name.data(), &nameSize, nullptr, &type,
                               reinterpret_cast<BYTE*>(data.data()), &dataSize);
        if (status != ERROR_SUCCESS) {
            // A value written meanwhile would come back whole only from a fresh read: an entry
            // that cannot be given back exactly is not read at all.
            values.clear();
            return Result(status);
        }
        values.push_back({String(name.data(), nameSize), type, data.substr(0, dataSize)});
    }
    return WIN_OK;
}

Win32Error Win32Registry::deleteValue(TextRef key, TextRef name) {
    KeyHandle handle;
    if (Win32Error error = OpenKey(key, KEY_SET_VALUE, handle); error != WIN_OK) {
        return error;
    }
    return Result(RegDeleteValueA(handle.get(), name.c_str()));
}

Win32Error Win32Registry::deleteKey(TextRef key) {
    return Result(RegDeleteKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), KEY_WOW64_32KEY, 0));
}

// The keys below go first, with their values (RegDeleteTree, in the view the key was opened in),
// then the key itself.
Win32Error Win32Registry::deleteTree(TextRef key) {
    KeyHandle handle;
    if (Win32Error error =
            OpenKey(key, DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | KEY_SET_VALUE, handle);
        error != WIN_OK) {
        return error;
    }
    if (Win32Error error = Result(RegDeleteTreeA(handle.get(), nullptr)); error != WIN_OK) {
        return error;
    }
    return deleteKey(key);
}
