#pragma once

#include <cstdint>

// The basic types of the operating system's published interfaces, with their published widths.
typedef uint32_t DWORD;
typedef DWORD* LPDWORD;
typedef int32_t BOOL;
typedef uint32_t UINT;
typedef int32_t LONG;
typedef uint8_t BYTE;
typedef BYTE* LPBYTE;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* HMODULE;
typedef void (*FARPROC)();

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
