#pragma once

#include "platform/WinErrors.h"
#include "platform/WinTypes.h"

#include <cstdint>
#include <string>

// The registry functions of the published interface. Keys come from a table of providers
// (see RegistryKeys.h): the dynamic statistics of the dial-up adapter and the performance data
// are synthesised from the stand-in dial-up service. Names compare without regard to ASCII
// case, as the registry compares them.

struct HKEY__;
typedef HKEY__* HKEY;
typedef HKEY* PHKEY;
typedef DWORD REGSAM;

inline const HKEY HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(uintptr_t{0x80000002u});
inline const HKEY HKEY_PERFORMANCE_DATA = reinterpret_cast<HKEY>(uintptr_t{0x80000004u});
inline const HKEY HKEY_DYN_DATA = reinterpret_cast<HKEY>(uintptr_t{0x80000006u});

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;

// Opens subKey below hKey (a predefined root or an open key); an empty name opens hKey again.
// Asking for the right to write (KEY_SET_VALUE or KEY_CREATE_SUB_KEY, as KEY_ALL_ACCESS does)
// fails with ERROR_ACCESS_DENIED where the key cannot be written.
LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
// With no data buffer, answers the value's type and size only. A buffer smaller than the
// value gets ERROR_MORE_DATA and the size needed; the buffer's contents are then undefined.
LONG RegQueryValueExA(
    HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
LONG RegCloseKey(HKEY hKey);

// Holds a key that RegOpenKeyExA opened and closes it (RegCloseKey) when it goes.
class TRegKey {
public:
    TRegKey() = default;
    ~TRegKey();
    TRegKey(const TRegKey&) = delete;
    TRegKey& operator=(const TRegKey&) = delete;

    // Where RegOpenKeyExA writes the key; a failed open leaves none to close.
    PHKEY Receive() { return &FKey; }
    HKEY Key() const { return FKey; }

private:
    HKEY FKey = nullptr;
};
// Counts and longest lengths of the key's subkeys and values; any output may be null.
LONG RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved, LPDWORD lpcSubKeys,
    LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen,
    LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime);
// The name of the subkey at dwIndex; lpcchName holds the buffer's size in characters with the
// NUL and receives the name's length without it. ERROR_NO_MORE_ITEMS past the last subkey.
LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved, LPSTR lpClass,
    LPDWORD lpcchClass, PFILETIME lpftLastWriteTime);
// Writes cbData bytes of data as the value's data; string data includes its terminating NUL.
// ERROR_ACCESS_DENIED on a key opened without KEY_SET_VALUE.
LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData, DWORD cbData);
// The same with the value's name and string data in UTF-16, for text that the ANSI code page
// cannot hold (a program path in Cyrillic letters, say).
LONG RegSetValueExW(
    HKEY hKey, const WCHAR* lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData, DWORD cbData);
LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);

// The machine-wide autostart keys under HKEY_LOCAL_MACHINE. Run is the desktop's autostart
// folder ($XDG_CONFIG_HOME/autostart, by default ~/.config/autostart): a value is a .desktop
// file named after it, whose Exec line is the value's data, and every .desktop file there is a
// value. RunOnce is kept in zeltix-registry/HKEY_LOCAL_MACHINE.ini beside it. A folder that
// cannot be written, or created, makes its key refuse KEY_ALL_ACCESS.
inline constexpr const char* RunKeyPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const char* RunOnceKeyPath = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
