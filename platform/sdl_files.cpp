// The file calls of the SDL stand-in, on POSIX's stat.
#ifndef _WIN32

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdint>

#include "platform/sdl_win32.h"

namespace {

// Windows counts from 1601 in 100-nanosecond steps, POSIX from 1970 in seconds.
FILETIME FileTimeOf(int64_t seconds, uint32_t nanoseconds) {
  constexpr int64_t kSecondsFrom1601To1970 = 11644473600;
  const auto ticks =
      static_cast<uint64_t>((seconds + kSecondsFrom1601To1970) * 10000000 + nanoseconds / 100);
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

}  // namespace

BOOL WINAPI GetFileAttributesExA(LPCSTR name, GET_FILEEX_INFO_LEVELS level, LPVOID information) {
  if (name == nullptr || level != GetFileExInfoStandard || information == nullptr) return FALSE;
  struct statx s;
  if (statx(AT_FDCWD, name, 0, STATX_BASIC_STATS | STATX_BTIME, &s) != 0) return FALSE;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (S_ISDIR(s.stx_mode)) data.dwFileAttributes |= FILE_ATTRIBUTE_DIRECTORY;
  if ((s.stx_mode & 0222) == 0) data.dwFileAttributes |= FILE_ATTRIBUTE_READONLY;
  if (data.dwFileAttributes == 0) data.dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
  // A file moved over the old name brings its own creation time.
  if ((s.stx_mask & STATX_BTIME) != 0) {
    data.ftCreationTime = FileTimeOf(s.stx_btime.tv_sec, s.stx_btime.tv_nsec);
  }
  data.ftLastAccessTime = FileTimeOf(s.stx_atime.tv_sec, s.stx_atime.tv_nsec);
  data.ftLastWriteTime = FileTimeOf(s.stx_mtime.tv_sec, s.stx_mtime.tv_nsec);
  if (!S_ISDIR(s.stx_mode)) {
    data.nFileSizeHigh = static_cast<DWORD>(s.stx_size >> 32);
    data.nFileSizeLow = static_cast<DWORD>(s.stx_size);
  }
  *static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(information) = data;
  return TRUE;
}

#endif  // _WIN32
