// The Win32 calls the program makes. On Windows they are the system's own;
// elsewhere sdl_win32.h declares our stand-ins, written on SDL2, with the
// same names, types, constants and values.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>  // the drop calls, which a lean windows.h leaves out
#else
#include "platform/sdl_win32.h"
#endif
