#pragma once

#include <cstdint>

// The basic types of the operating system's published interfaces, with their published widths.
typedef uint32_t DWORD;
typedef DWORD* LPDWORD;
typedef int32_t BOOL;
typedef int32_t INT;
typedef uint32_t UINT;
typedef int32_t LONG;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef int64_t LONGLONG;
typedef char16_t WCHAR;
typedef BYTE* LPBYTE;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* HMODULE;
typedef HMODULE HINSTANCE;
// A window handle; the stand-in's windows are opaque pointers.
typedef void* HWND;
typedef void (*FARPROC)();

// A 64-bit number in two halves, aligned as a 64-bit value inside records.
typedef union _LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
} LARGE_INTEGER;

typedef struct _SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
} SYSTEMTIME;

// 100-nanosecond intervals since 1601-01-01, in two halves.
typedef struct _FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME, *PFILETIME;

static_assert(sizeof(LARGE_INTEGER) == 8 && alignof(LARGE_INTEGER) == 8);
static_assert(sizeof(SYSTEMTIME) == 16);
static_assert(sizeof(FILETIME) == 8);

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
