#pragma once

#include "platform/Registry.h"

#include <QString>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

// What stands behind an open registry key. Each kind of key (the synthesised statistics, and
// later the file-backed ordinary keys) is a provider in the table in Registry.cpp.
class TRegistryKey {
public:
    virtual ~TRegistryKey();
    // ERROR_SUCCESS with the value's type and bytes, ERROR_FILE_NOT_FOUND when there is no such
    // value, or another code when the value exists but cannot be produced (Data may then hold
    // whatever was produced; the caller's buffer gets it as undefined contents).
    virtual LONG QueryValue(std::string_view Name, DWORD& Type, std::string& Data) = 0;
    virtual std::vector<std::string> SubKeyNames() { return {}; }
    virtual std::vector<std::string> ValueNames() { return {}; }
    // Whether the key may be opened for writing at the moment. The synthesised keys open with
    // any access, as they do on the systems that have them; their values still refuse writes.
    virtual bool Writable() { return true; }
    virtual LONG SetValue(std::string_view Name, DWORD Type, std::string_view Data);
    // A string value given in full Unicode (UTF-8 here). A key that keeps its values in the ANSI
    // code page takes only what that can hold.
    virtual LONG SetTextValue(std::string_view Name, DWORD Type, const QString& Text);
    virtual LONG DeleteValue(std::string_view Name);
};

// Opens the key at Path (below the root the provider was registered for; "" is the root
// itself), or answers nullptr when the provider holds no such key.
using TKeyOpener = std::unique_ptr<TRegistryKey> (*)(std::string_view Path);

// Registry names compare without regard to ASCII case.
bool SameRegistryName(std::string_view a, std::string_view b);
