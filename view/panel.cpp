// The text of the numbers line and of the pick's panel, from the level's
// records as they were loaded.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "bsp/level.h"
#include "bsp/light.h"
#include "platform/gl.h"
#include "view/camera.h"
#include "view/inspect.h"

namespace {

double FrameTimes[16];  // milliseconds, the latest at FrameCount % 16
unsigned FrameCount = 0;

std::string Format(const char* format, auto... values) {
  char text[256];
  snprintf(text, sizeof text, format, values...);
  return text;
}

std::string ContentsName(int32_t contents) {
  static const char* const kNames[] = {"empty", "solid", "water", "slime", "lava", "sky"};
  if (contents <= -1 && contents >= -6) return kNames[-contents - 1];
  return Format("contents %d", contents);
}

std::string LeafText(const float point[3]) {
  const int64_t leaf = LeafAt(point);
  if (leaf < 0) return Level.tree.nodes.empty() ? "leaf ? (no tree)" : "leaf ? (damaged tree)";
  return Format("leaf %lld %s", static_cast<long long>(leaf),
                ContentsName(Level.tree.leaves[size_t(leaf)].contents).c_str());
}

// A face record's fields, whatever the format.
struct FaceFields {
  int64_t plane, side, texInfo;
  uint8_t styles[4];
  int32_t lightOffset;
};

FaceFields FieldsOf(uint32_t face) {
  FaceFields f{};
  auto copy = [&f](const auto& record) {
    f = {record.plane, record.side, record.texInfo, {}, record.lightOffset};
    memcpy(f.styles, record.styles, 4);
  };
  if (Level.format == kBsp2Format) {
    copy(Level.wideFaces[face]);
  } else {
    copy(Level.faces[face]);
  }
  return f;
}

// The face's owner: the world, or the first brush entity placing a model
// whose faces include it.
std::string OwnerText(uint32_t face, const float** origin) {
  static const float kNone[3] = {0, 0, 0};
  *origin = kNone;
  const BspModel& world = Level.worldModel;
  if (face >= uint32_t(world.faceStart) && int64_t{face} < int64_t{world.faceStart} + world.faceTotal) {
    return "owner: world";
  }
  for (const BrushEntity& brush : Level.brushes) {
    const BspModel& model = Level.models[brush.model];
    if (face < uint32_t(model.faceStart) || int64_t{face} >= int64_t{model.faceStart} + model.faceTotal) {
      continue;
    }
    *origin = brush.origin;
    const Entity& entity = Level.entities[brush.entity];
    const char* classname = ValueOf(entity, "classname");
    const char* target = ValueOf(entity, "targetname");
    return Format("owner: *%u %s%s%s", brush.model, classname ? classname : "(no classname)",
                  target ? ", targetname " : "", target ? target : "");
  }
  return "owner: no entity";
}

std::string TextureText(int32_t texture) {
  if (texture < 0 || size_t(texture) >= Level.textures.size()) {
    return Format("texture %d: none in the map", texture);
  }
  const Texture& t = Level.textures[size_t(texture)];
  if (t.fileWidth == 0) return Format("texture %d: damaged", texture);
  return Format("texture %d: %s, %u x %u%s", texture, t.name, t.fileWidth, t.fileHeight,
                t.width == 0 ? " (not shown)" : "");
}

// Where the face's light comes from, worked out as at load: the grid of
// samples its texture-space extent spans.
std::string LightText(uint32_t face, const FaceFields& f, const BspTexInfo* info) {
  const bool special = info != nullptr && (info->flags & kSpecialSurface) != 0;
  const bool noStyles = f.styles[0] == 255;
  if (Level.light.samples.empty()) return "light map: none, full bright (the map has no light)";
  if (info == nullptr) return "light map: none, full bright (no texture info to lay it out)";
  if (special && (f.lightOffset == -1 || noStyles)) return "light map: none, full bright (sky or liquid)";
  if (noStyles) return "light map: none, black (no light styles)";
  if (f.lightOffset == -1) return "light map: none, black (no light offset)";
  const Surface& s = Level.surfaces[face];
  const float* c = &Level.corners.positions[3 * size_t(s.firstCorner)];
  float sMin = INFINITY, sMax = -INFINITY, tMin = INFINITY, tMax = -INFINITY;
  for (uint32_t k = 0; k < s.cornerCount; ++k, c += 3) {
    const double x = c[0], y = -c[2], z = c[1];  // the corners are kept in GL's axes
    const float u = float(x * info->s[0] + y * info->s[1] + z * info->s[2] + info->s[3]);
    const float v = float(x * info->t[0] + y * info->t[1] + z * info->t[2] + info->t[3]);
    sMin = std::min(sMin, u), sMax = std::max(sMax, u), tMin = std::min(tMin, v), tMax = std::max(tMax, v);
  }
  const LightGrid grid = LightGridOf(face, true, special, f.styles, f.lightOffset, sMin, sMax, tMin, tMax);
  if (grid.width == 0) return "light map: none, full bright (its extent is beyond any grid)";
  const std::string size = Format("%d x %d samples at offset %d", grid.width, grid.height, f.lightOffset);
  if (grid.light == kFullBright) return "light map: " + size + ", past the light data: full bright";
  return "light map: " + size;
}

std::vector<std::string> FaceLines(uint32_t face) {
  std::vector<std::string> lines{Format("face %u", face)};
  const float* origin;
  lines.push_back(OwnerText(face, &origin));
  const FaceFields f = FieldsOf(face);
  const BspTexInfo* info = f.texInfo >= 0 && uint64_t(f.texInfo) < Level.texInfos.size()
                               ? &Level.texInfos[size_t(f.texInfo)]
                               : nullptr;
  if (info == nullptr) {
    lines.push_back(Format("texture info %lld: none in the map", static_cast<long long>(f.texInfo)));
  } else {
    lines.push_back(TextureText(info->texture));
    lines.push_back(Format("texture info %lld: flags %d%s", static_cast<long long>(f.texInfo), info->flags,
                           (info->flags & kSpecialSurface) != 0 ? " (sky or liquid)" : ""));
  }
  const std::vector<BspPlane>& planes = Level.tree.planes;
  if (f.plane >= 0 && uint64_t(f.plane) < planes.size()) {
    const BspPlane& p = planes[size_t(f.plane)];
    lines.push_back(Format("plane %lld, side %lld: normal %g %g %g, distance %g",
                           static_cast<long long>(f.plane), static_cast<long long>(f.side),
                           p.normal[0], p.normal[1], p.normal[2], p.dist));
  } else {
    lines.push_back(Format("plane %lld: none in the map", static_cast<long long>(f.plane)));
  }
  std::string styles = "light styles:";
  for (int k = 0; k < 4 && f.styles[k] != 255; ++k) styles += Format(" %d", f.styles[k]);
  lines.push_back(f.styles[0] == 255 ? "light styles: none" : styles);
  lines.push_back(LightText(face, f, info));
  // The leaf a unit in front of the face's middle, where it is seen from.
  const Surface& s = Level.surfaces[face];
  const float* c = &Level.corners.positions[3 * size_t(s.firstCorner)];
  double sum[3] = {0, 0, 0};
  for (uint32_t k = 0; k < s.cornerCount; ++k) sum[0] += c[3 * k], sum[1] -= c[3 * k + 2], sum[2] += c[3 * k + 1];
  float middle[3];
  for (int k = 0; k < 3; ++k) middle[k] = float(sum[k] / s.cornerCount) + s.normal[k] + origin[k];
  lines.push_back(LeafText(middle));
  return lines;
}

std::vector<std::string> EntityLines(const PointEntity& point) {
  std::vector<std::string> lines{Format("entity %u", point.entity)};
  const Entity& entity = Level.entities[point.entity];
  constexpr size_t kMostPairs = 30;
  for (size_t i = 0; i < entity.pairCount && i < kMostPairs; ++i) {
    const EntityPair& pair = entity.pairs[i];
    std::string line = "\"";
    line.append(std::string_view(pair.key).substr(0, 40)).append("\" \"");
    line.append(std::string_view(pair.value).substr(0, 80)).append("\"");
    lines.push_back(line);
  }
  if (entity.pairCount > kMostPairs) lines.push_back(Format("... %zu more", entity.pairCount - kMostPairs));
  return lines;
}

}  // namespace

void NoteFrameTime(double milliseconds) { FrameTimes[FrameCount++ % std::size(FrameTimes)] = milliseconds; }

std::string PositionText() {
  float origin[3], yaw, pitch;
  CameraPosition(origin, &yaw, &pitch);
  const float values[5] = {origin[0], origin[1], origin[2], yaw, pitch};
  std::string text;
  for (int i = 0; i < 5; ++i) {
    std::string number = Format("%.2f", double(values[i]));
    // Rounding leaves no minus on zero, and a full turn is none.
    if (number == "-0.00" || (i == 3 && number == "360.00")) number = "0.00";
    if (i > 0) text += ' ';
    text += number;
  }
  return text;
}

std::string NumbersLine(const DrawList* list) {
  const size_t count = std::min<size_t>(FrameCount, std::size(FrameTimes));
  double sum = 0;
  for (size_t i = 0; i < count; ++i) sum += FrameTimes[i];
  const std::string frame = count == 0 ? "- ms" : Format("%.2f ms", sum / double(count));
  const size_t total = size_t(std::max(Level.worldModel.faceTotal, 0));
  GLfloat m[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, m);
  float eye[3];
  EyeOf(m, eye);
  const std::string leaves = list != nullptr && list->culled ? Format("%u", list->leaves) : "all";
  return Format("%s  faces %zu/%zu  %s  leaves %s  at %s", frame.c_str(),
                list != nullptr ? list->world.size() : total, total, LeafText(eye).c_str(),
                leaves.c_str(), PositionText().c_str());
}

std::vector<std::string> PanelLines(const Pick& pick) {
  if (pick.kind == kFacePicked) return FaceLines(pick.index);
  if (pick.kind == kMarkerPicked) return EntityLines(Level.points[pick.index]);
  return {};
}
