// `mivo --info`: the map's format, the lumps the viewer reads, its world,
// whether its references are sound, where its player starts and the
// compiler's files beside it; or a pak's entries, maps first.
#include "app/info.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bsp/diagnostics.h"
#include "bsp/level.h"
#include "bsp/pak.h"

namespace {

int PrintPak(const char* path) {
  std::vector<PakEntry> entries;
  const char* message = nullptr;
  if (ReadPakDirectory(path, &entries, &message) != 0) {
    ShowMessage(message);
    return 1;
  }
  printf("%s: pak of %zu entries\n", path, entries.size());
  for (bool maps : {true, false}) {
    for (const PakEntry& entry : entries) {
      if ((strncmp(entry.name, "maps/", 5) == 0) == maps) {
        printf("  %-56s %10d bytes\n", entry.name, entry.length);
      }
    }
  }
  return 0;
}

const char* FormatName(int32_t version) {
  switch (version) {
    case 29:
      return "version 29 (Quake)";
    case 30:
      return "version 30 (Half-Life)";
    case kBsp2Version:
      return "BSP2";
    case k2psbVersion:
      return "2PSB";
    default:
      return nullptr;
  }
}

}  // namespace

int PrintInfo(const char* path) {
  MessagesOnStderr = true;
  if (IsPakPath(path) && IsFile(path)) return PrintPak(path);
  if (OpenMap(path) != 0) return 1;
  if (!OpenedMap.entry.empty()) {
    printf("%s: entry %s of %s, %lld bytes at %lld\n", path, OpenedMap.entry.c_str(),
           OpenedMap.file.c_str(), static_cast<long long>(BspFile.size),
           static_cast<long long>(BspFile.start));
  }
  const BspHeader& header = BspFile.header;
  const char* format = FormatName(header.version);
  printf("format: %s\n", format != nullptr ? format : "not a map this viewer shows");
  if (format != nullptr) {
    const bool wide = FormatOf(header.version) == kBsp2Format;
    const struct {
      int lump;
      const char* name;
      uint32_t records;  // as the viewer counts them
    } lumps[] = {{kEntitiesLump, "entities", header.lumps[kEntitiesLump].length},
                 {kVerticesLump, "vertices", wide ? CountBsp2Vertices() : CountVertices()},
                 {kFacesLump, "faces", wide ? CountBsp2Faces() : CountFaces()},
                 {kEdgesLump, "edges", wide ? CountBsp2Edges() : CountEdges()},
                 {kSurfEdgesLump, "surface edges", CountSurfEdges()},
                 {kModelsLump, "models", header.lumps[kModelsLump].length / 64}};
    printf("lump              offset      length     records\n");
    for (const auto& l : lumps) {
      printf("%2d %-13s %10d %11u %11u%s\n", l.lump, l.name, header.lumps[l.lump].offset,
             header.lumps[l.lump].length, l.records, l.lump == kEntitiesLump ? " bytes" : "");
    }
  }
  if (LoadLevel() != 0) return 1;
  printf("world model: %d faces\nreferences: all sound\n", Level.worldModel.faceTotal);
  printf("brush entities: %zu shown in every view but flat\n", Level.brushes.size());
  int families[kOtherFamily + 1] = {};
  for (const PointEntity& point : Level.points) ++families[point.family];
  printf("point entities: %zu (%d lights, %d monsters, %d items, %d others)\n", Level.points.size(),
         families[kLightFamily], families[kMonsterFamily], families[kItemFamily],
         families[kStartFamily] + families[kOtherFamily]);
  printf("light: %s\n", Level.light.source.empty() ? "none (unlit)" : Level.light.source.c_str());
  printf("textures: %d of %d shown\n", Level.texturesShown, Level.textureEntryCount);
  if (!Level.wads.empty()) {
    std::string found, missing;
    for (const WadUse& wad : Level.wads) {
      if (!wad.found) {
        missing += " " + wad.name;
        continue;
      }
      found += (found.empty() ? " " : ", ") + wad.name +
               (wad.damaged ? " (damaged)" : " (" + std::to_string(wad.texturesUsed) + " textures used)");
    }
    printf("wads:%s%s%s\n", found.empty() ? " none found" : found.c_str(),
           missing.empty() ? "" : "; missing:", missing.c_str());
  }
  printf("palette: %s\n", Level.paletteSource.empty() ? "none found" : Level.paletteSource.c_str());
  const Tree& tree = Level.tree;
  printf("leaves: %zu; visibility: %s\n", tree.leaves.size(),
         tree.trusted ? "yes" : tree.visibility.empty() ? "none" : "damaged");
  const PlayerStart& start = Level.start;
  if (start.found) {
    const auto shown = [](float value) { return value == 0.0f ? 0.0f : value; };  // never "-0"
    printf("player start: %g %g %g, angle %g\n", shown(start.origin[0]), shown(start.origin[1]),
           shown(start.origin[2]), shown(start.angle));
  } else {
    printf("player start: none; the view starts at 544 288 32, looking along +y\n");
  }
  const auto files = CompilerFilesOf(OpenedMap);
  LoadTrail(files[0], files[1]);
  LoadPortals(files[2]);
  if (Trail.path.empty()) {
    printf("leak trail: none\n");
  } else {
    printf("leak trail: %zu points (%s)\n", Trail.points.size() / 3, Trail.path.c_str());
  }
  static const char* const kForms[] = {"PRT1", "PRT2", "PRT1-AM"};
  if (!Portals.path.empty()) {
    printf("portals: %zu (%s, %s)\n", Portals.portals.size(), Portals.path.c_str(),
           kForms[Portals.form]);
  } else if (!Portals.ignored.empty()) {
    printf("portals: ignored (%s)\n", Portals.ignored.c_str());
  } else {
    printf("portals: none\n");
  }
  // What every view but the flat view of version 29/30 maps culls by.
  const bool portals = tree.sound && !Portals.path.empty();
  printf("culling: %s\n", tree.trusted && portals ? "visible sets and portals"
                          : portals                ? "portals only (no vis data)"
                          : tree.trusted           ? "visible sets"
                                                   : "none");
  FreeLevel();
  return 0;
}
