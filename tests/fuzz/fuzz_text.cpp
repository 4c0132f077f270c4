// The fuzzer of the compiler's text files: each input is given, as exactly
// its bytes, to the point file's parser and to the portal file's, as any
// map's (the file's own leaf count) and as that of a map of as many leaves
// as its first byte says. The sanitizers catch reads outside the text and
// overflows; the checks here, what the drawing and a later flood through
// the portals rely on: every portal's polygon within the points, its sides
// and every leaf's cluster within the clusters, a leaf for every BSP leaf.
#include <cstdlib>
#include <string>
#include <vector>

#include "bsp/diagnostics.h"
#include "platform/win32.h"

// The loader that comes with the parsers shows nothing here.
int WINAPI MessageBoxA(HWND, LPCSTR, LPCSTR, UINT) { return IDOK; }
void WINAPI OutputDebugStringA(LPCSTR) {}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<char> text(data, data + size);  // its own allocation, exactly that long
  std::string problem;
  std::vector<float> points;
  if (ParsePointFile(text.data(), text.size(), &points, &problem) == 0 && points.size() % 3 != 0) abort();
  for (int64_t leaves : {int64_t{-1}, int64_t{size > 0 ? data[0] % 8 : 0}}) {
    PortalSet set{};
    if (ParsePortalFile(text.data(), text.size(), leaves, &set, &problem) != 0) continue;
    bool sound = set.points.size() % 3 == 0 && (leaves < 0 || set.clusterOfLeaf.size() == size_t(leaves) + 1);
    for (const Portal& p : set.portals) {
      sound = sound && p.pointCount >= 3 && size_t{p.firstPoint} + p.pointCount <= set.points.size() / 3 &&
              uint32_t(p.sides[0]) < set.clusterCount && uint32_t(p.sides[1]) < set.clusterCount;
    }
    for (int32_t cluster : set.clusterOfLeaf) sound = sound && cluster >= -1 && cluster < int64_t{set.clusterCount};
    if (!sound) abort();
  }
  return 0;
}
