// Watching the map's file by polling its attributes: cheap (one stat call a
// poll), and it sees a file deleted, rewritten in place or replaced by a
// rename alike, on Windows as elsewhere.
#include "app/watch.h"

ShownMap Shown;

namespace {

bool SameTime(const FILETIME& a, const FILETIME& b) {
  return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

bool SameState(const FileState& a, const FileState& b) {
  if (a.present != b.present) return false;
  return !a.present || (a.sizeHigh == b.sizeHigh && a.sizeLow == b.sizeLow &&
                        SameTime(a.written, b.written) && SameTime(a.created, b.created));
}

}  // namespace

FileState FileStateOf(const std::string& file) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (file.empty() || GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &data) == 0) {
    return FileState{};
  }
  return FileState{true, data.nFileSizeHigh, data.nFileSizeLow, data.ftLastWriteTime,
                   data.ftCreationTime};
}

void WatchFile(const std::string& file, const FileState& state) {
  Shown.file = file;
  Shown.loaded = state;
  Shown.settling = false;
}

int PollWatchedFile(DWORD now) {
  if (Shown.file.empty()) return 0;
  const FileState state = FileStateOf(Shown.file);
  if (SameState(state, Shown.loaded)) {
    Shown.settling = false;  // changed and changed back
    return 0;
  }
  if (!Shown.settling || !SameState(state, Shown.seen)) {
    Shown.seen = state;
    Shown.seenSince = now;
    Shown.settling = true;
    return 0;
  }
  if (now - Shown.seenSince < kSettleTime) return 0;
  WatchFile(Shown.file, state);
  return 1;
}
