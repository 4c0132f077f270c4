// The message box and the debugger's output of the SDL stand-in.
#ifndef _WIN32

#include <SDL.h>

#include <cstdio>

#include "platform/sdl_win32.h"

int WINAPI MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT) {
  if (text == nullptr) text = "";
  // A box without a caption of its own is titled "Error", as Windows does.
  const char* title = caption != nullptr ? caption : "Error";
  if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title, text, nullptr) == 0) return IDOK;
  // No box can be shown (no display): the user must still learn it.
  fprintf(stderr, "%s\n", text);
  return 0;
}

void WINAPI OutputDebugStringA(LPCSTR) {}

#endif  // _WIN32
