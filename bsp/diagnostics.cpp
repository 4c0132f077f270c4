// Decoding the compiler's point and portal files. The text is read a line
// at a time, each line a few numbers between blanks, through a cursor that
// never passes the end of the line or of the text; numbers are read with
// from_chars, which needs no terminating zero and ignores the locale, or,
// most of them, by a quicker way that gives the same floats.
#include "bsp/diagnostics.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <type_traits>

#include "bsp/level.h"
#include "platform/win32.h"

LeakTrail Trail;
PortalSet Portals;

namespace {

// A file larger than this is refused unread.
constexpr long kMaxFileBytes = 256L << 20;
// Corners of all portals together: eight a portal at the most portals.
constexpr uint32_t kMaxPortalPoints = 8 * kMaxDiagnosticRecords;

struct Scanner {
  const char* next;     // where the line after this one starts
  const char* end;      // of the text
  const char* at;       // in this line
  const char* lineEnd;  // of this line, before its '\n'
  uint32_t line;        // its number, from 1
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

void SkipBlanks(Scanner& s) {
  while (s.at < s.lineEnd && IsBlank(*s.at)) ++s.at;
}

// Moves to the next line that holds more than blanks; false at the end,
// where the line's number is that of the line that would come next.
bool NextLine(Scanner& s) {
  while (s.next < s.end) {
    s.at = s.next;
    const auto* newline = static_cast<const char*>(memchr(s.at, '\n', size_t(s.end - s.at)));
    s.lineEnd = newline != nullptr ? newline : s.end;
    s.next = newline != nullptr ? newline + 1 : s.end;
    ++s.line;
    SkipBlanks(s);
    if (s.at < s.lineEnd) return true;
  }
  s.at = s.lineEnd = s.end;
  ++s.line;
  return false;
}

bool AtLineEnd(Scanner& s) {
  SkipBlanks(s);
  return s.at == s.lineEnd;
}

bool ReadChar(Scanner& s, char c) {
  SkipBlanks(s);
  if (s.at == s.lineEnd || *s.at != c) return false;
  ++s.at;
  return true;
}

// Most numbers in these files are short decimals ("-272", "16.5"): when
// its digits, without the zeros that end its fraction, make a whole number
// below 2^24, it is that number over a power of ten, each exact as a float,
// and one division rounds it as from_chars would. Returns the end of the
// number, or null to leave it to from_chars.
const char* ShortDecimal(const char* at, const char* end, float* value) {
  static const float kTens[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
  constexpr uint32_t kExact = 1u << 24;
  const bool negative = at < end && *at == '-';
  at += negative;
  uint32_t whole = 0;
  int decimals = 0, zeros = 0;  // zeros: those ending the fraction so far
  bool point = false, digit = false;
  for (; at < end && (*at == '.' ? !point : *at >= '0' && *at <= '9'); ++at) {
    if (*at == '.') {
      point = true;
      continue;
    }
    digit = true;
    if (point && *at == '0') {
      ++zeros;
      continue;
    }
    // Zeros inside the fraction count after all; each digit keeps the
    // whole number below kExact.
    for (zeros += 1; zeros > 0; --zeros, decimals += point) {
      if (whole >= kExact / 10) return nullptr;
      whole *= 10;
    }
    whole += uint32_t(*at - '0');
    if (decimals > 10) return nullptr;
  }
  if (!digit || (at < end && (*at == 'e' || *at == 'E'))) return nullptr;
  const float v = float(whole) / kTens[decimals];
  *value = negative ? -v : v;
  return at;
}

// A number ends at a blank, a bracket or the line's end: "1-2" is not two.
template <typename T>
bool ReadNumber(Scanner& s, T* value) {
  SkipBlanks(s);
  const char* first = s.at;
  if (first + 1 < s.lineEnd && first[0] == '+' && first[1] != '-') ++first;
  T read{};
  std::from_chars_result parsed{nullptr, std::errc()};
  if constexpr (std::is_same_v<T, float>) parsed.ptr = ShortDecimal(first, s.lineEnd, &read);
  if (parsed.ptr == nullptr) parsed = std::from_chars(first, s.lineEnd, read);
  const auto [last, error] = parsed;
  if (error != std::errc() || (last < s.lineEnd && !IsBlank(*last) && *last != '(' && *last != ')')) {
    return false;
  }
  if constexpr (std::is_floating_point_v<T>) {
    if (!std::isfinite(read)) return false;
  }
  s.at = last;
  *value = read;
  return true;
}

// Three finite numbers.
bool ReadPoint(Scanner& s, std::vector<float>* points) {
  float p[3];
  if (!ReadNumber(s, &p[0]) || !ReadNumber(s, &p[1]) || !ReadNumber(s, &p[2])) return false;
  points->insert(points->end(), p, p + 3);
  return true;
}

int Fail(const Scanner& s, const std::string& why, std::string* problem) {
  *problem = "line " + std::to_string(s.line) + ": " + why;
  return 1;
}

// A header line holding one count, at most kMaxDiagnosticRecords.
int ReadCount(Scanner& s, const char* what, uint32_t* count, std::string* problem) {
  int64_t n = 0;
  if (!NextLine(s) || !ReadNumber(s, &n) || !AtLineEnd(s) || n < 0) {
    return Fail(s, std::string("no count of ") + what, problem);
  }
  if (n > kMaxDiagnosticRecords) return Fail(s, std::string("more than 1,000,000 ") + what, problem);
  *count = uint32_t(n);
  return 0;
}

// A side of a portal, a leaf or a cluster: from 0 to below `count`.
bool ReadIndex(Scanner& s, uint32_t count, int32_t* index) {
  int64_t n = -1;
  if (!ReadNumber(s, &n) || n < 0 || n >= count) return false;
  *index = int32_t(n);
  return true;
}

// "N A B (x y z) ..." with N from 3 up and both sides below `sides`.
int ReadPortal(Scanner& s, uint32_t sides, const char* side, PortalSet* set, std::string* problem) {
  int64_t n = 0;
  Portal portal{{}, uint32_t(set->points.size() / 3), 0};
  if (!ReadNumber(s, &n)) return Fail(s, "not a portal (N A B (x y z) ...)", problem);
  if (n < 3) return Fail(s, "a polygon of fewer than 3 points", problem);
  if (n > kMaxPortalPoints - portal.firstPoint) return Fail(s, "more than 8,000,000 portal points", problem);
  for (int32_t& to : portal.sides) {
    if (!ReadIndex(s, sides, &to)) return Fail(s, std::string("a ") + side + " out of range", problem);
  }
  for (int64_t k = 0; k < n; ++k) {
    if (!ReadChar(s, '(') || !ReadPoint(s, &set->points) || !ReadChar(s, ')')) {
      return Fail(s, "a point that is not (x y z), three finite numbers", problem);
    }
  }
  if (!AtLineEnd(s)) return Fail(s, "more than its " + std::to_string(n) + " points", problem);
  portal.pointCount = uint32_t(n);
  set->portals.push_back(portal);
  return 0;
}

std::string Counted(uint32_t done, uint32_t count, const char* what) {
  return "the file ends after " + std::to_string(done) + " of its " + std::to_string(count) + " " + what;
}

// 0 with the file's bytes; 1 when there is no such file; 2 when it cannot
// be read whole or is too large (then `problem` says which).
int ReadTextFile(const std::string& path, std::vector<char>* text, std::string* problem) {
  if (path.empty() || !IsFile(path)) return 1;
  FILE* file = fopen(path.c_str(), "rb");
  const long size = file != nullptr && fseek(file, 0, SEEK_END) == 0 ? ftell(file) : -1;
  bool read = false;
  if (size > kMaxFileBytes) {
    *problem = "larger than 256 MB";
  } else if (size >= 0 && fseek(file, 0, SEEK_SET) == 0) {
    text->resize(size_t(size));
    read = size == 0 || fread(text->data(), 1, text->size(), file) == text->size();
  }
  if (file != nullptr) fclose(file);
  if (read) return 0;
  if (problem->empty()) *problem = "cannot be read";
  return 2;
}

void Report(const std::string& path, const std::string& problem) {
  const std::string message = "Ignoring " + path + ": " + problem + "\n";
  fputs(message.c_str(), stderr);
  OutputDebugStringA(message.c_str());  // Windows has no stderr to see
}

}  // namespace

int ParsePointFile(const char* text, size_t size, std::vector<float>* points,
                   std::string* problem) {
  Scanner s{text, text + size, text, text, 0};
  std::vector<float> read;
  for (uint32_t count = 0; NextLine(s);) {
    if (++count > kMaxDiagnosticRecords) return Fail(s, "more than 1,000,000 points", problem);
    if (!ReadPoint(s, &read) || !AtLineEnd(s)) return Fail(s, "not three finite numbers", problem);
    const size_t n = read.size();
    if (n >= 6 && std::equal(read.end() - 3, read.end(), read.end() - 6)) read.resize(n - 3);
  }
  *points = std::move(read);
  return 0;
}

int ParsePortalFile(const char* text, size_t size, int64_t mapLeaves, PortalSet* portals,
                    std::string* problem) {
  Scanner s{text, text + size, text, text, 0};
  PortalSet p{};
  if (!NextLine(s)) s.line = 1;  // an empty file has no header either
  const std::string_view head(s.at, size_t(s.lineEnd - s.at));
  const size_t trimmed = head.find_last_not_of(" \t\r\v\f") + 1;
  const std::string_view form = head.substr(0, trimmed);
  if (form == "PRT1") {
    p.form = kPrt1;
  } else if (form == "PRT2") {
    p.form = kPrt2;
  } else if (form == "PRT1-AM") {
    p.form = kPrt1Am;
  } else {
    return Fail(s, "not PRT1, PRT2 or PRT1-AM", problem);
  }
  // The header's counts, in the form's order.
  uint32_t leaves = 0, clusters = 0, count = 0;
  const struct {
    const char* what;
    uint32_t* value;
  } prt1[] = {{"leaves", &leaves}, {"portals", &count}},
    prt2[] = {{"leaves", &leaves}, {"clusters", &clusters}, {"portals", &count}},
    am[] = {{"clusters", &clusters}, {"portals", &count}, {"leaves", &leaves}};
  const auto read = [&](const auto& counts) {
    for (const auto& c : counts) {
      if (ReadCount(s, c.what, c.value, problem) != 0) return 1;
      if (c.value == &leaves && mapLeaves >= 0 && leaves != mapLeaves) {
        return Fail(s, std::to_string(leaves) + " leaves, not the map's " + std::to_string(mapLeaves),
                    problem);
      }
    }
    return 0;
  };
  if ((p.form == kPrt1 ? read(prt1) : p.form == kPrt2 ? read(prt2) : read(am)) != 0) return 1;
  // Each leaf of a PRT1 file is a cluster of its own.
  p.clusterCount = p.form == kPrt1 ? leaves : clusters;
  p.clusterOfLeaf.assign(size_t{leaves} + 1, -1);
  if (p.form == kPrt1) {
    for (uint32_t k = 0; k < leaves; ++k) p.clusterOfLeaf[k + 1] = int32_t(k);
  }
  const char* side = p.form == kPrt1 ? "leaf" : "cluster";
  for (uint32_t i = 0; i < count; ++i) {
    if (!NextLine(s)) return Fail(s, Counted(i, count, "portals"), problem);
    if (ReadPortal(s, p.clusterCount, side, &p, problem) != 0) return 1;
  }
  // PRT2: each cluster's leaves on a line, ending in -1.
  for (uint32_t c = 0; p.form == kPrt2 && c < clusters; ++c) {
    if (!NextLine(s)) return Fail(s, Counted(c, clusters, "clusters' lines of leaves"), problem);
    int64_t leaf = 0;
    while (ReadNumber(s, &leaf) && leaf != -1) {
      if (leaf < 0 || leaf >= leaves) return Fail(s, "a leaf out of range", problem);
      int32_t& cluster = p.clusterOfLeaf[size_t(leaf) + 1];
      if (cluster >= 0) return Fail(s, "leaf " + std::to_string(leaf) + " in two clusters", problem);
      cluster = int32_t(c);
    }
    if (leaf != -1 || !AtLineEnd(s)) return Fail(s, "not a list of leaves ending in -1", problem);
  }
  // PRT1-AM: each leaf's cluster on a line.
  for (uint32_t leaf = 0; p.form == kPrt1Am && leaf < leaves; ++leaf) {
    if (!NextLine(s)) return Fail(s, Counted(leaf, leaves, "leaves' clusters"), problem);
    if (!ReadIndex(s, clusters, &p.clusterOfLeaf[leaf + 1]) || !AtLineEnd(s)) {
      return Fail(s, "not a cluster in range", problem);
    }
  }
  if (NextLine(s)) return Fail(s, "more lines than its counts", problem);
  *portals = std::move(p);
  return 0;
}

std::array<std::string, 3> CompilerFilesOf(const MapSource& source) {
  return {LooseFileBeside(source, ".pts"), LooseFileBeside(source, ".lin"),
          LooseFileBeside(source, ".prt")};
}

void LoadTrail(const std::string& points, const std::string& lines) {
  Trail.path.clear();
  Trail.points.clear();
  ++Trail.loads;
  std::vector<char> text;
  std::string problem;
  for (const std::string& path : {points, lines}) {
    const int read = ReadTextFile(path, &text, &problem);
    if (read == 1) continue;
    if (read != 0 || ParsePointFile(text.data(), text.size(), &Trail.points, &problem) != 0) {
      Report(path, problem);
    } else {
      Trail.path = path;
    }
    return;
  }
}

void LoadPortals(const std::string& path) {
  const uint32_t loads = Portals.loads + 1;
  Portals = {};
  Portals.loads = loads;
  std::vector<char> text;
  std::string problem;
  const int read = ReadTextFile(path, &text, &problem);
  if (read == 1) return;
  const int64_t leaves = std::max(Level.worldModel.visLeafCount, 0);
  if (read != 0 || ParsePortalFile(text.data(), text.size(), leaves, &Portals, &problem) != 0) {
    Portals.ignored = path + ": " + problem;
    Report(path, problem);
    return;
  }
  Portals.path = path;
  Portals.loads = loads;
}
