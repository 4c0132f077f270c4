// Stand-ins for the Win32 types, constants and calls the program makes,
// for systems without Win32. Everything here that touches SDL lives in
// sdl_win32.cpp.
#pragma once

#include <cstdint>

typedef int BOOL;
typedef unsigned int UINT;
typedef const char* LPCSTR;
typedef struct HWND__* HWND;

constexpr UINT MB_OK = 0x00000000;

// Shows `text` in a box with one OK button, titled "Error" when no caption
// is given, and waits for OK. When no box can be shown (no display), writes
// the text to stderr instead so the user still learns it. Returns IDOK (1),
// or 0 when no box could be shown.
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
