// The clipboard as Win32 has it: the text in a block of movable global
// memory that the clipboard takes over once SetClipboardData succeeds.
#include "app/clipboard.h"

#include <cstring>

#include "bsp/level.h"

int CopyText(HWND owner, const std::string& text) {
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
  void* bytes = memory != nullptr ? GlobalLock(memory) : nullptr;
  if (bytes != nullptr) {
    memcpy(bytes, text.c_str(), text.size() + 1);
    GlobalUnlock(memory);
  }
  bool copied = false;
  if (bytes != nullptr && OpenClipboard(owner)) {
    copied = EmptyClipboard() && SetClipboardData(CF_TEXT, memory) != nullptr;
    CloseClipboard();
  }
  if (copied) return 0;
  if (memory != nullptr) GlobalFree(memory);
  ShowMessage("Error: cannot copy to the clipboard.");
  return 1;
}
