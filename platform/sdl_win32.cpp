// The calls of the SDL stand-in that need no window: the message box, the
// debugger's output and renaming a file.
#ifndef _WIN32

#include <SDL.h>
#include <strings.h>

#include <cerrno>
#include <cstdio>

#include "platform/sdl_win32.h"

int WINAPI MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT) {
  if (text == nullptr) text = "";
  // A box without a caption of its own is titled "Error", as Windows does.
  const char* title = caption != nullptr ? caption : "Error";
  // A program asked to run unseen must not stop for a box on the display
  // anyway (SDL would still open one there): it is reading its stderr.
  const char* driver = SDL_GetHint(SDL_HINT_VIDEODRIVER);
  bool unseen = driver != nullptr && strcasecmp(driver, "offscreen") == 0;
  if (!unseen && SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title, text, nullptr) == 0) {
    return IDOK;
  }
  // No box can be shown (no display): the user must still learn it.
  fprintf(stderr, "%s\n", text);
  return 0;
}

BOOL WINAPI MoveFileExA(LPCSTR existingName, LPCSTR newName, DWORD flags) {
  if (existingName == nullptr || newName == nullptr || flags != MOVEFILE_REPLACE_EXISTING) {
    errno = EINVAL;
    return FALSE;
  }
  return rename(existingName, newName) == 0 ? TRUE : FALSE;
}

void WINAPI OutputDebugStringA(LPCSTR) {}

#endif  // _WIN32
