// The fixed GL state, the projection, the starting view and the frame.
// The flat view of version 29/30 maps sends every face anew in immediate
// mode, in the order of the faces lump, as it always has. Every other view
// draws the surfaces built at load, only those the camera can see, from the
// corner arrays: flat colours, textures and light in passes over the same
// triangles, each later pass drawing exactly where the first one did
// (depth test GL_EQUAL).
#include "view/render.h"

#include <algorithm>
#include <utility>

#include "bsp/level.h"
#include "platform/gl.h"
#include "view/camera.h"
#include "view/cull.h"
#include "view/overlays.h"
#include "view/inspect.h"
#include "view/upload.h"
#include "view/views.h"

void InitGlState() {
  glEnable(GL_DEPTH_TEST);
  glFrontFace(GL_CW);
  glEnable(GL_CULL_FACE);
  glPolygonMode(GL_FRONT, GL_FILL);
}

void SetupProjection() {
  // Always 640 x 480 from the lower-left corner, whatever the client size.
  glViewport(0, 0, 640, 480);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(60.0, 1.3333333333333333, 1.0, 10000.0);
  glMatrixMode(GL_MODELVIEW);
}

void PlaceCamera() {
  const PlayerStart& start = Level.start;
  static const float kFixedEye[3] = {544.0f, 288.0f, 32.0f};
  SetCamera(start.found ? start.origin : kFixedEye, start.found ? start.angle : 90.0f, 0.0f);
}

namespace {

// The flat view of version 29/30 maps: every world face, one polygon each.
void DrawFlatLoop() {
  const int32_t faceTotal = Level.worldModel.faceTotal;
  if (faceTotal <= 0) return;
  const BspFace* faces = Level.faces + Level.worldModel.faceStart;
  const FaceColor* colors = Level.faceColors;  // entry i for the i-th face drawn
  for (int32_t i = 0; i < faceTotal; ++i) {
    const BspFace& face = faces[i];
    glColor3f(colors[i].red, colors[i].green, colors[i].blue);
    glBegin(GL_POLYGON);
    const SurfEdge* walk = Level.surfEdges + face.surfEdgeStart;
    for (int32_t j = 0; j < face.surfEdgeTotal; ++j) {
      // Each edge gives the corner its walk starts from, so the polygon
      // closes without repeating a corner. Zero walks edge 0 from its end.
      const SurfEdge s = walk[j];
      const uint16_t index = s > 0 ? Level.edges[s].startVertex : Level.edges[-s].endVertex;
      const BspVertex& v = Level.vertices[index];
      glVertex3f(v.x, v.z, -v.y);  // map z is up; GL y is up
    }
    glEnd();
  }
}

// Outlines, as the flat view draws them: one polygon a face, flat colour.
void DrawOutlines(const std::vector<uint32_t>& faces) {
  const Corners& c = Level.corners;
  for (uint32_t f : faces) {
    const Surface& surface = Level.surfaces[f];
    glColor3f(surface.color.red, surface.color.green, surface.color.blue);
    glBegin(GL_POLYGON);
    for (uint32_t k = 0; k < surface.cornerCount; ++k) {
      glVertex3fv(&c.positions[3 * size_t(surface.firstCorner + k)]);
    }
    glEnd();
  }
}

// The faces one draw sends, their corners copied together each frame: GL
// 1.1 reads client arrays afresh at every call, and Mesa copies every
// corner between the lowest and highest index a call names, so a call that
// names a few faces scattered over the level's arrays would send all of
// them. Textured, the faces go texture by texture, so that each texture's
// call names a short run of corners.
struct Batch {
  std::vector<uint32_t> faces;  // in drawing order, the nearest first within a texture
  std::vector<uint32_t> firsts;  // each face's first corner here
  std::vector<float> positions, colors, textureCoords, lightCoords;
};
Batch Frame;
std::vector<uint32_t> Indices;  // one call's triangles

// Grouping a frame's faces by a key (a texture, a light page): a counting
// sort over the keys the faces have. The slots are kept between frames,
// zero but at the keys being sorted, so a frame's work follows the faces
// drawn, never the number of textures a lump declares.
std::vector<uint32_t> KeySlots;
std::vector<int> KeysMet;

// Calls place(i, at) for the items i < n whose key(i) is 0 or more, `at`
// running over the items' weights group by group, the lowest key first and
// in item order within a group; then group(key, start, size) for each group.
template <typename Key, typename Weight, typename Place, typename Group>
void GroupByKey(size_t n, Key key, Weight weight, Place place, Group group) {
  KeysMet.clear();
  for (size_t i = 0; i < n; ++i) {
    const int k = key(i);
    if (k < 0) continue;
    if (size_t(k) >= KeySlots.size()) KeySlots.resize(size_t(k) + 1, 0);
    if (KeySlots[size_t(k)] == 0) KeysMet.push_back(k);
    KeySlots[size_t(k)] += weight(i);  // at least 1
  }
  std::sort(KeysMet.begin(), KeysMet.end());
  uint32_t at = 0;
  for (int k : KeysMet) at += std::exchange(KeySlots[size_t(k)], at);
  for (size_t i = 0; i < n; ++i) {
    const int k = key(i);
    if (k < 0) continue;
    place(i, KeySlots[size_t(k)]);
    KeySlots[size_t(k)] += weight(i);
  }
  uint32_t start = 0;
  for (int k : KeysMet) {
    const uint32_t end = std::exchange(KeySlots[size_t(k)], 0);
    group(k, start, end - start);
    start = end;
  }
}

template <typename T, size_t n>
void Append(std::vector<T>& to, const std::vector<T>& from, uint32_t first, uint32_t count) {
  to.insert(to.end(), from.begin() + n * first, from.begin() + n * (first + count));
}

void Compact(const std::vector<uint32_t>& faces, bool colors, bool textures, bool light) {
  Batch& b = Frame;
  if (textures) {
    // By texture, faces without one first, each texture's in their order.
    b.faces.resize(faces.size());
    GroupByKey(
        faces.size(), [&](size_t i) { return Level.surfaces[faces[i]].texture + 1; },
        [](size_t) { return 1u; }, [&](size_t i, uint32_t at) { b.faces[at] = faces[i]; },
        [](int, uint32_t, uint32_t) {});
  } else {
    b.faces = faces;
  }
  b.firsts.clear();
  b.positions.clear();
  b.colors.clear();
  b.textureCoords.clear();
  b.lightCoords.clear();
  const Corners& c = Level.corners;
  uint32_t at = 0;
  for (uint32_t f : b.faces) {
    const Surface& s = Level.surfaces[f];
    b.firsts.push_back(at);
    at += s.cornerCount;
    Append<float, 3>(b.positions, c.positions, s.firstCorner, s.cornerCount);
    if (colors) {
      for (uint32_t k = 0; k < s.cornerCount; ++k) {
        b.colors.insert(b.colors.end(), {s.color.red, s.color.green, s.color.blue});
      }
    }
    if (textures) Append<float, 2>(b.textureCoords, c.textureCoords, s.firstCorner, s.cornerCount);
    if (light) Append<float, 2>(b.lightCoords, c.lightCoords, s.firstCorner, s.cornerCount);
  }
  glVertexPointer(3, GL_FLOAT, 0, b.positions.data());
}

// Face i of the batch as a fan of triangles from its first corner.
void AddFan(size_t i, uint32_t* to) {
  const uint32_t first = Frame.firsts[i];
  const uint32_t n = Level.surfaces[Frame.faces[i]].cornerCount;
  for (uint32_t k = 1; k + 1 < n; ++k, to += 3) {
    to[0] = first;
    to[1] = first + k;
    to[2] = first + k + 1;
  }
}

// The batch's faces for which key(surface) is a group from 0 to groups - 1,
// one call a group after bind(group), each group's faces in batch order. A
// key of -1 leaves the face out, and so does a group past `groups`: one
// without a GL name (no context when the level loaded) draws nothing.
template <typename Key, typename Bind>
void DrawGroups(size_t groups, Key key, Bind bind) {
  const auto keyOf = [&](size_t i) {
    const int k = key(Level.surfaces[Frame.faces[i]]);
    return size_t(k) < groups ? k : -1;
  };
  const auto weight = [](size_t i) { return 3 * (Level.surfaces[Frame.faces[i]].cornerCount - 2); };
  size_t total = 0;
  for (size_t i = 0; i < Frame.faces.size(); ++i) total += keyOf(i) >= 0 ? weight(i) : 0;
  Indices.resize(total);
  GroupByKey(
      Frame.faces.size(), keyOf, weight, [](size_t i, uint32_t at) { AddFan(i, Indices.data() + at); },
      [&](int k, uint32_t start, uint32_t size) {
        bind(size_t(k));
        glDrawElements(GL_TRIANGLES, GLsizei(size), GL_UNSIGNED_INT, Indices.data() + start);
      });
}

// Flat colours, for the faces `keep` takes.
template <typename Keep>
void FlatPass(Keep keep) {
  glEnableClientState(GL_COLOR_ARRAY);
  glColorPointer(3, GL_FLOAT, 0, Frame.colors.data());
  DrawGroups(1, [keep](const Surface& s) { return keep(s) ? 0 : -1; }, [](size_t) {});
  glDisableClientState(GL_COLOR_ARRAY);
}

void BeginTextures(const std::vector<float>& coords) {
  glEnable(GL_TEXTURE_2D);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glTexCoordPointer(2, GL_FLOAT, 0, coords.data());
}

void EndTextures() {
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisable(GL_TEXTURE_2D);
}

void BindTexture(GLuint name) { glBindTexture(GL_TEXTURE_2D, name); }

// Texels as they are; faces without a usable texture in their flat colour.
void TexturePass() {
  FlatPass([](const Surface& s) { return s.texture < 0; });
  BeginTextures(Frame.textureCoords);
  DrawGroups(LevelTextures.textures.size(), [](const Surface& s) { return s.texture; },
             [](size_t g) { BindTexture(LevelTextures.textures[g]); });
  EndTextures();
}

// Over what the first pass drew, exactly where it drew: no new depth.
void BeginOverlay() {
  glDepthFunc(GL_EQUAL);
  glDepthMask(GL_FALSE);
}

void EndOverlay() {
  glDepthMask(GL_TRUE);
  glDepthFunc(GL_LESS);
}

// Multiplies what is there by 2 L / 255, clamped: the blend gives
// dst src + src dst. Full-bright faces (and, textured, the sky) keep
// their factor of 1.
void LightPass(bool skipSky) {
  BeginOverlay();
  glEnable(GL_BLEND);
  glBlendFunc(GL_DST_COLOR, GL_SRC_COLOR);
  BeginTextures(Frame.lightCoords);
  DrawGroups(
      LevelTextures.lightPages.size(),
      [skipSky](const Surface& s) {
        return s.light == kLightMapped && !(skipSky && s.sky) ? int{s.lightPage} : -1;
      },
      [](size_t g) { BindTexture(LevelTextures.lightPages[g]); });
  EndTextures();
  glDisable(GL_BLEND);
  EndOverlay();
}

// The texels light does not change, over the lit texture.
void BrightsPass() {
  BeginOverlay();
  glEnable(GL_ALPHA_TEST);
  glAlphaFunc(GL_GEQUAL, 0.5f);
  BeginTextures(Frame.textureCoords);
  DrawGroups(
      LevelTextures.brights.size(),
      [](const Surface& s) {
        return s.light == kLightMapped && !s.sky && s.texture >= 0 &&
                       LevelTextures.brights[size_t(s.texture)] != 0
                   ? s.texture
                   : -1;
      },
      [](size_t g) { BindTexture(LevelTextures.brights[g]); });
  EndTextures();
  glDisable(GL_ALPHA_TEST);
  EndOverlay();
}

// White times L / 255; full-bright faces white.
void LightOnlyPass() {
  glColor3f(1.0f, 1.0f, 1.0f);
  DrawGroups(1, [](const Surface& s) { return s.light == kFullBright ? 0 : -1; }, [](size_t) {});
  BeginTextures(Frame.lightCoords);
  DrawGroups(
      LevelTextures.lightPages.size(),
      [](const Surface& s) { return s.light == kLightMapped ? int{s.lightPage} : -1; },
      [](size_t g) { BindTexture(LevelTextures.lightPages[g]); });
  EndTextures();
}

void DrawFaces(const std::vector<uint32_t>& faces) {
  const bool lit = View.light != kFlatView;
  const bool textured = View.textures && View.light != kLightOnlyView;
  Compact(faces, View.light != kLightOnlyView, textured, lit);
  if (View.light == kLightOnlyView) {
    LightOnlyPass();
  } else if (textured) {
    TexturePass();
    if (lit) {
      LightPass(true);
      BrightsPass();
    }
  } else {
    FlatPass([](const Surface&) { return true; });
    if (lit) LightPass(false);
  }
}

std::vector<uint32_t> BrushFaces;

// Every view but the flat view of version 29/30 maps. Returns what it drew.
const DrawList& DrawSurfaces() {
  GLint modes[2] = {GL_FILL, GL_FILL};
  glGetIntegerv(GL_POLYGON_MODE, modes);
  const bool wireframe = modes[0] == GL_LINE;
  const DrawList& list = CollectFaces(wireframe);
  const bool brushes = !IsFlatView();
  if (!wireframe) glEnableClientState(GL_VERTEX_ARRAY);
  wireframe ? DrawOutlines(list.world) : DrawFaces(list.world);
  for (size_t b = 0; brushes && b < Level.brushes.size(); ++b) {
    if (!list.brushes[b]) continue;
    const BrushEntity& brush = Level.brushes[b];
    const BspModel& model = Level.models[brush.model];
    BrushFaces.clear();
    for (int32_t f = model.faceStart; f < model.faceStart + model.faceTotal; ++f) {
      if (Level.surfaces[size_t(f)].cornerCount != 0) BrushFaces.push_back(uint32_t(f));
    }
    glPushMatrix();
    glTranslatef(brush.origin[0], brush.origin[2], -brush.origin[1]);
    wireframe ? DrawOutlines(BrushFaces) : DrawFaces(BrushFaces);
    glPopMatrix();
  }
  if (!wireframe) glDisableClientState(GL_VERTEX_ARRAY);
  return list;
}

}  // namespace

void DrawLevel() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  const DrawList* list = nullptr;  // the flat loop draws every world face
  if (Level.format != kBsp2Format && (IsFlatView() || Level.surfaces.empty())) {
    DrawFlatLoop();
  } else {
    UploadForView();
    list = &DrawSurfaces();
  }
  DrawInspection(list);
  DrawOverlays();
}
