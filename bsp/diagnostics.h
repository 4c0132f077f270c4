// The map compiler's diagnostics, text files it leaves beside the map:
//
//   MAP.pts (else MAP.lin)  the trail of a leak, from the entity that leaked
//                           to the void (or the other way round, as the
//                           compiler chooses): one point "x y z" a line
//   MAP.prt                 the portals between the map's leaves: "PRT1",
//                           "PRT2" or "PRT1-AM", counts, then one portal a
//                           line, "N A B (x y z) ..." with N corners
//
// Each is decoded here into plain arrays of its own record, apart from the
// level, since either may change while the map stays. A file that does not
// decode, or a portal file made for another map, is ignored as a whole:
// the map shows as without it. The parsers take the text as bytes, so any
// input is safe to give them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "bsp/pak.h"

struct LeakTrail {
  std::string path;           // the file it came from; empty: none
  std::vector<float> points;  // x, y, z a point, map units, in the file's order; no two
                              // consecutive points equal (compilers write most twice)
  uint32_t loads;             // counts the reads, so what is made from it can follow
};

enum PortalForm { kPrt1, kPrt2, kPrt1Am };

struct Portal {
  int32_t sides[2];     // the clusters it joins (PRT1: file leaves, each its own cluster)
  uint32_t firstPoint;  // its polygon: a run of PortalSet::points
  uint32_t pointCount;  // at least 3
};

struct PortalSet {
  std::string path;     // the file it came from; empty: none
  std::string ignored;  // "PATH: line L: WHY" when the file beside the map was ignored
  PortalForm form;
  uint32_t clusterCount;
  std::vector<Portal> portals;
  std::vector<float> points;  // x, y, z a point, map units
  // Per BSP leaf, 0 (the solid leaf, which files leave out) to the world's
  // visible leaves: its cluster, or -1. File leaf k is BSP leaf k + 1.
  std::vector<int32_t> clusterOfLeaf;
  uint32_t loads;  // counts the reads
};

extern LeakTrail Trail;
extern PortalSet Portals;

// More than this many points, portals, leaves or clusters is no real file.
constexpr uint32_t kMaxDiagnosticRecords = 1000000;

// Decodes a point file's text. Returns 0 with its points; or 1, leaving
// `points` as it was, with `problem` naming the line and what is wrong with
// it ("line 7: not three finite numbers").
int ParsePointFile(const char* text, size_t size, std::vector<float>* points,
                   std::string* problem);

// Decodes a portal file's text into `portals` (form, cluster count,
// portals, points and clusters of leaves). With `mapLeaves` from 0 up the
// file must count that many leaves, the world's visible leaves, to belong
// to the map; -1 takes any count. Returns 0; or 1, leaving `portals` as it
// was, with `problem` as above.
int ParsePortalFile(const char* text, size_t size, int64_t mapLeaves, PortalSet* portals,
                    std::string* problem);

// The compiler's files beside the loose map `source` names (MAP.pts,
// MAP.lin, MAP.prt, beside the path as given); empty names for a map
// inside a pak, which has none.
std::array<std::string, 3> CompilerFilesOf(const MapSource& source);

// Reads Trail from the file `points` (MAP.pts), or when there is no such
// file from `lines` (MAP.lin). A file that cannot be read or decoded leaves
// no trail and says why in one line on stderr and to a debugger.
void LoadTrail(const std::string& points, const std::string& lines);

// Reads Portals from `path` (MAP.prt), for the level loaded: it belongs to
// the map when it counts the world model's visible leaves. A file ignored
// says why as LoadTrail does, and in Portals.ignored.
void LoadPortals(const std::string& path);
