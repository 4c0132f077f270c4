// Watching the map's file by polling its attributes: cheap (one stat call a
// poll), and it sees a file deleted, rewritten in place or replaced by a
// rename alike, on Windows as elsewhere.
#include "app/watch.h"

ShownMap Shown;
std::array<WatchedFile, 3> Beside;

namespace {

bool SameTime(const FILETIME& a, const FILETIME& b) {
  return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

bool SameState(const FileState& a, const FileState& b) {
  if (a.present != b.present) return false;
  return !a.present || (a.sizeHigh == b.sizeHigh && a.sizeLow == b.sizeLow &&
                        SameTime(a.written, b.written) && SameTime(a.created, b.created));
}

// A change of the file `w` watches that has settled: 1, and from then on
// it counts as loaded. `W` is ShownMap or WatchedFile.
template <typename W>
int Settled(W& w, DWORD now) {
  const FileState state = FileStateOf(w.file);
  if (SameState(state, w.loaded)) {
    w.settling = false;  // changed and changed back
    return 0;
  }
  if (!w.settling || !SameState(state, w.seen)) {
    w.seen = state;
    w.seenSince = now;
    w.settling = true;
    return 0;
  }
  if (now - w.seenSince < kSettleTime) return 0;
  w.loaded = state;
  w.settling = false;
  return 1;
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
  return Settled(Shown, now);
}

void WatchBesideFiles(const std::array<std::string, 3>& files) {
  for (size_t i = 0; i < files.size(); ++i) Beside[i] = {files[i], FileStateOf(files[i]), {}, 0, false};
}

int PollBesideFiles(DWORD now) {
  if (Shown.settling) return 0;
  int changed = 0;
  for (size_t i = 0; i < Beside.size(); ++i) changed |= Settled(Beside[i], now) << i;
  return changed;
}
