// Global memory and the clipboard of the SDL stand-in. A block is a
// header and its bytes in one allocation; the clipboard keeps the last
// block handed to it and puts its text on SDL's clipboard.
#ifndef _WIN32

#include <SDL.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "platform/sdl_win32.h"

namespace {

struct Block {
  SIZE_T size;
  unsigned locks;
};

Block* BlockOf(HGLOBAL memory) { return static_cast<Block*>(memory); }

bool ClipboardOpen = false;
HGLOBAL ClipboardBlock = nullptr;  // what the clipboard took over

}  // namespace

HGLOBAL WINAPI GlobalAlloc(UINT, SIZE_T bytes) {
  if (bytes > SIZE_MAX - sizeof(Block)) return nullptr;
  Block* block = static_cast<Block*>(malloc(sizeof(Block) + bytes));
  if (block == nullptr) return nullptr;
  *block = Block{bytes, 0};
  return block;
}

LPVOID WINAPI GlobalLock(HGLOBAL memory) {
  if (memory == nullptr) return nullptr;
  ++BlockOf(memory)->locks;
  return BlockOf(memory) + 1;
}

BOOL WINAPI GlobalUnlock(HGLOBAL memory) {
  if (memory == nullptr || BlockOf(memory)->locks == 0) return FALSE;
  return --BlockOf(memory)->locks > 0 ? TRUE : FALSE;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL memory) {
  if (memory != nullptr && memory == ClipboardBlock) return memory;
  free(memory);
  return nullptr;
}

BOOL WINAPI OpenClipboard(HWND) {
  if (ClipboardOpen) return FALSE;
  ClipboardOpen = true;
  return TRUE;
}

BOOL WINAPI EmptyClipboard() {
  if (!ClipboardOpen) return FALSE;
  free(std::exchange(ClipboardBlock, nullptr));
  return TRUE;
}

HANDLE WINAPI SetClipboardData(UINT format, HANDLE data) {
  if (!ClipboardOpen || format != CF_TEXT || data == nullptr || ClipboardBlock != nullptr) {
    return nullptr;
  }
  const Block* block = BlockOf(data);
  const char* bytes = reinterpret_cast<const char*>(block + 1);
  const std::string text(bytes, strnlen(bytes, block->size));
  if (SDL_SetClipboardText(text.c_str()) != 0) return nullptr;
  ClipboardBlock = data;
  return data;
}

BOOL WINAPI CloseClipboard() {
  if (!ClipboardOpen) return FALSE;
  ClipboardOpen = false;
  return TRUE;
}

#endif  // _WIN32
