// Text to the system's clipboard.
#pragma once

#include <string>

#include "platform/win32.h"

// Puts `text` on the clipboard as CF_TEXT, for the window `owner`. Returns
// 0; or 1 after saying that it could not.
int CopyText(HWND owner, const std::string& text);
