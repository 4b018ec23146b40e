#include "platform/Registry.h"

#include "base/Ansi.h"
#include "platform/PerfData.h"
#include "platform/PerfStats.h"
#include "platform/RegistryKeys.h"
#include "platform/RunKeys.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <string>

namespace {

struct TKeyProvider {
    HKEY Root;
    TKeyOpener Open;
};

// Every kind of key the registry knows, asked in order; the first that holds a path owns it.
const std::vector<TKeyProvider>& KeyProviders()
{
    static const std::vector<TKeyProvider> Providers = {
        {HKEY_PERFORMANCE_DATA, &OpenPerformanceDataKey},
        {HKEY_DYN_DATA, &OpenDynDataKey},
        {HKEY_LOCAL_MACHINE, &OpenPerfStatsEnumKey},
        {HKEY_LOCAL_MACHINE, &OpenRunKey},
        {HKEY_LOCAL_MACHINE, &OpenRunOnceKey},
    };
    return Providers;
}

bool IsPredefinedKey(HKEY hKey)
{
    return hKey == HKEY_LOCAL_MACHINE || hKey == HKEY_PERFORMANCE_DATA || hKey == HKEY_DYN_DATA;
}

// A root that no provider fills in: it exists, but holds nothing.
class TEmptyKey : public TRegistryKey {
public:
    LONG QueryValue(std::string_view, DWORD&, std::string&) override { return ERROR_FILE_NOT_FOUND; }
};

std::unique_ptr<TRegistryKey> OpenPath(HKEY Root, std::string_view Path)
{
    for (const TKeyProvider& Provider : KeyProviders())
        if (Provider.Root == Root)
            if (std::unique_ptr<TRegistryKey> Key = Provider.Open(Path))
                return Key;
    if (Path.empty())
        return std::make_unique<TEmptyKey>();
    return nullptr;
}

struct TOpenKey {
    HKEY Root;
    std::string Path;
    std::unique_ptr<TRegistryKey> Key;
    REGSAM Access = 0;
};

constexpr REGSAM WriteAccess = KEY_SET_VALUE | KEY_CREATE_SUB_KEY;

// The keys open in this process, by handle. Handles are small numbers, so they never meet the
// predefined roots.
struct TOpenKeyTable {
    std::map<uintptr_t, TOpenKey> Keys;
    uintptr_t NextHandle = 0x100;
};

TOpenKeyTable& OpenKeys()
{
    static TOpenKeyTable Table;
    return Table;
}

// The key a handle stands for. A predefined root is opened for the duration of one call.
struct TKeyRef {
    HKEY Root = nullptr;
    std::string Path;
    TRegistryKey* Key = nullptr;
    std::unique_ptr<TRegistryKey> Temporary;
    // The roots are read here, never written.
    REGSAM Access = KEY_READ;
};

std::optional<TKeyRef> Resolve(HKEY hKey)
{
    TKeyRef Ref;
    if (IsPredefinedKey(hKey)) {
        Ref.Root = hKey;
        Ref.Temporary = OpenPath(hKey, {});
        Ref.Key = Ref.Temporary.get();
        return Ref;
    }
    std::map<uintptr_t, TOpenKey>& Keys = OpenKeys().Keys;
    auto Found = Keys.find(reinterpret_cast<uintptr_t>(hKey));
    if (Found == Keys.end())
        return std::nullopt;
    Ref.Root = Found->second.Root;
    Ref.Path = Found->second.Path;
    Ref.Key = Found->second.Key.get();
    Ref.Access = Found->second.Access;
    return Ref;
}

void ClearFileTime(PFILETIME Time)
{
    if (Time)
        *Time = FILETIME{};
}

// Keys here have no class names.
void ClearClass(LPSTR Class, LPDWORD ClassLength)
{
    if (Class && ClassLength && *ClassLength > 0)
        Class[0] = '\0';
    if (ClassLength)
        *ClassLength = 0;
}

} // namespace

TRegistryKey::~TRegistryKey() = default;

LONG TRegistryKey::SetValue(std::string_view, DWORD, std::string_view)
{
    return ERROR_ACCESS_DENIED;
}

LONG TRegistryKey::SetTextValue(std::string_view Name, DWORD Type, const QString& Text)
{
    const std::optional<std::string> Ansi = TryStringToAnsi(Text);
    if (!Ansi)
        return ERROR_INVALID_PARAMETER;
    return SetValue(Name, Type, std::string_view(Ansi->c_str(), Ansi->size() + 1));
}

LONG TRegistryKey::DeleteValue(std::string_view)
{
    return ERROR_ACCESS_DENIED;
}

bool SameRegistryName(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto Lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        return Lower(x) == Lower(y);
    });
}

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult)
{
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    std::optional<TKeyRef> Parent = Resolve(hKey);
    if (!Parent)
        return ERROR_INVALID_HANDLE;
    std::string Path = Parent->Path;
    const std::string_view SubKey = lpSubKey ? lpSubKey : "";
    if (!SubKey.empty())
        Path = Path.empty() ? std::string(SubKey) : Path + "\\" + std::string(SubKey);
    std::unique_ptr<TRegistryKey> Key = OpenPath(Parent->Root, Path);
    if (!Key)
        return ERROR_FILE_NOT_FOUND;
    if ((samDesired & WriteAccess) && !Key->Writable())
        return ERROR_ACCESS_DENIED;
    TOpenKeyTable& Table = OpenKeys();
    const uintptr_t Handle = Table.NextHandle;
    Table.NextHandle += 4;
    Table.Keys.emplace(Handle, TOpenKey{Parent->Root, std::move(Path), std::move(Key), samDesired});
    *phkResult = reinterpret_cast<HKEY>(Handle);
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    std::optional<TKeyRef> Ref = Resolve(hKey);
    if (!Ref)
        return ERROR_INVALID_HANDLE;
    if (lpData && !lpcbData)
        return ERROR_INVALID_PARAMETER;
    DWORD Type = REG_NONE;
    std::string Data;
    const LONG Result = Ref->Key->QueryValue(lpValueName ? lpValueName : "", Type, Data);
    if (Result == ERROR_FILE_NOT_FOUND)
        return Result;
    if (Result != ERROR_SUCCESS) {
        // Whatever was produced lands in the buffer, as undefined contents do on Windows.
        if (lpData)
            std::memcpy(lpData, Data.data(), std::min<size_t>(Data.size(), *lpcbData));
        return Result;
    }
    if (lpType)
        *lpType = Type;
    const DWORD Size = static_cast<DWORD>(Data.size());
    if (!lpData) {
        if (lpcbData)
            *lpcbData = Size;
        return ERROR_SUCCESS;
    }
    if (*lpcbData < Size) {
        *lpcbData = Size;
        return ERROR_MORE_DATA;
    }
    std::memcpy(lpData, Data.data(), Size);
    *lpcbData = Size;
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY hKey)
{
    if (IsPredefinedKey(hKey))
        return ERROR_SUCCESS;
    return OpenKeys().Keys.erase(reinterpret_cast<uintptr_t>(hKey)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

TRegKey::~TRegKey()
{
    if (FKey)
        RegCloseKey(FKey);
}

LONG RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD, LPDWORD lpcSubKeys,
    LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen,
    LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime)
{
    std::optional<TKeyRef> Ref = Resolve(hKey);
    if (!Ref)
        return ERROR_INVALID_HANDLE;
    const std::vector<std::string> SubKeys = Ref->Key->SubKeyNames();
    const std::vector<std::string> Values = Ref->Key->ValueNames();
    DWORD MaxSubKey = 0, MaxValueName = 0, MaxValue = 0;
    for (const std::string& Name : SubKeys)
        MaxSubKey = std::max(MaxSubKey, static_cast<DWORD>(Name.size()));
    for (const std::string& Name : Values) {
        MaxValueName = std::max(MaxValueName, static_cast<DWORD>(Name.size()));
        DWORD Type = REG_NONE;
        std::string Data;
        if (Ref->Key->QueryValue(Name, Type, Data) == ERROR_SUCCESS)
            MaxValue = std::max(MaxValue, static_cast<DWORD>(Data.size()));
    }
    ClearClass(lpClass, lpcchClass);
    if (lpcSubKeys)
        *lpcSubKeys = static_cast<DWORD>(SubKeys.size());
    if (lpcbMaxSubKeyLen)
        *lpcbMaxSubKeyLen = MaxSubKey;
    if (lpcbMaxClassLen)
        *lpcbMaxClassLen = 0;
    if (lpcValues)
        *lpcValues = static_cast<DWORD>(Values.size());
    if (lpcbMaxValueNameLen)
        *lpcbMaxValueNameLen = MaxValueName;
    if (lpcbMaxValueLen)
        *lpcbMaxValueLen = MaxValue;
    if (lpcbSecurityDescriptor)
        *lpcbSecurityDescriptor = 0;
    ClearFileTime(lpftLastWriteTime);
    return ERROR_SUCCESS;
}

LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD, LPSTR lpClass,
    LPDWORD lpcchClass, PFILETIME lpftLastWriteTime)
{
    std::optional<TKeyRef> Ref = Resolve(hKey);
    if (!Ref)
        return ERROR_INVALID_HANDLE;
    if (!lpName || !lpcchName)
        return ERROR_INVALID_PARAMETER;
    const std::vector<std::string> SubKeys = Ref->Key->SubKeyNames();
    if (dwIndex >= SubKeys.size())
        return ERROR_NO_MORE_ITEMS;
    const std::string& Name = SubKeys[dwIndex];
    if (Name.size() + 1 > *lpcchName)
        return ERROR_MORE_DATA;
    std::memcpy(lpName, Name.c_str(), Name.size() + 1);
    *lpcchName = static_cast<DWORD>(Name.size());
    ClearClass(lpClass, lpcchClass);
    ClearFileTime(lpftLastWriteTime);
    return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData)
{
    std::optional<TKeyRef> Ref = Resolve(hKey);
    if (!Ref)
        return ERROR_INVALID_HANDLE;
    if (!(Ref->Access & KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    if (!lpData && cbData)
        return ERROR_INVALID_PARAMETER;
    const std::string_view Data(reinterpret_cast<const char*>(lpData), lpData ? cbData : 0);
    return Ref->Key->SetValue(lpValueName ? lpValueName : "", dwType, Data);
}

LONG RegSetValueExW(HKEY hKey, const WCHAR* lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData)
{
    std::optional<TKeyRef> Ref = Resolve(hKey);
    if (!Ref)
        return ERROR_INVALID_HANDLE;
    if (!(Ref->Access & KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    if ((!lpData && cbData) || (dwType != REG_SZ && dwType != REG_EXPAND_SZ) || cbData % sizeof(WCHAR) != 0)
        return ERROR_INVALID_PARAMETER;
    const std::optional<std::string> Name = TryStringToAnsi(QString::fromUtf16(lpValueName ? lpValueName : u""));
    if (!Name)
        return ERROR_INVALID_PARAMETER;
    // The data ends at its terminating zero, or with the bytes given.
    std::u16string Units(cbData / sizeof(WCHAR), u'\0');
    if (cbData)
        std::memcpy(Units.data(), lpData, cbData);
    Units.resize(std::char_traits<char16_t>::length(Units.c_str()));
    return Ref->Key->SetTextValue(*Name, dwType, QString::fromStdU16String(Units));
}

LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName)
{
    std::optional<TKeyRef> Ref = Resolve(hKey);
    if (!Ref)
        return ERROR_INVALID_HANDLE;
    if (!(Ref->Access & KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    return Ref->Key->DeleteValue(lpValueName ? lpValueName : "");
}
