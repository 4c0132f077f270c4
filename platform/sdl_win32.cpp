// Everything here that touches SDL.
#include "platform/sdl_win32.h"

#include <SDL.h>

#include <cstdio>

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT) {
  const char* title = caption != nullptr ? caption : "Error";
  if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title, text, nullptr) == 0) return 1;
  fprintf(stderr, "%s\n", text);
  return 0;
}
