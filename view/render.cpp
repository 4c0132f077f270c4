// The fixed GL state, the projection, the starting view and the frame.
// The flat view of version 29/30 maps sends every face anew in immediate
// mode, in the order of the faces lump, as it always has. Every other view
// draws the surfaces built at load, only those the camera can see, from the
// corner arrays: flat colours, textures and light in passes over the same
// triangles, each later pass drawing exactly where the first one did
// (depth test GL_EQUAL).
#include "view/render.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "bsp/level.h"
#include "platform/gl.h"
#include "view/camera.h"
#include "view/cull.h"
#include "view/overlays.h"
#include "view/inspect.h"
#include "view/motion.h"
#include "view/upload.h"
#include "view/views.h"

bool UseMultitexture = true;

namespace {

// ARB_multitexture's and ARB_texture_env_combine's names, which an OpenGL
// 1.1 header does not have.
constexpr GLenum kTexture0 = 0x84C0, kTexture1 = 0x84C1, kMaxTextureUnits = 0x84E2;
constexpr GLenum kCombine = 0x8570, kCombineRgb = 0x8571, kCombineAlpha = 0x8572;
constexpr GLenum kRgbScale = 0x8573, kPrimaryColor = 0x8577, kPrevious = 0x8578;
constexpr GLenum kSource0Rgb = 0x8580, kSource1Rgb = 0x8581, kSource0Alpha = 0x8588;
constexpr GLenum kOperand0Rgb = 0x8590, kOperand1Rgb = 0x8591, kOperand0Alpha = 0x8598;

using SelectTextureUnit = void(APIENTRY*)(GLenum unit);
struct MultitextureCalls {
  SelectTextureUnit active;        // glActiveTextureARB: the unit texture calls go to
  SelectTextureUnit clientActive;  // glClientActiveTextureARB: the unit of the coordinate array
};
MultitextureCalls Multi;

bool HasExtension(const char* extensions, const char* name) {
  const size_t length = strlen(name);
  for (const char* at = extensions; at != nullptr && (at = strstr(at, name)) != nullptr; at += length) {
    if ((at == extensions || at[-1] == ' ') && (at[length] == ' ' || at[length] == '\0')) return true;
  }
  return false;
}

SelectTextureUnit Call(const char* name) {
  // Through the generic function pointer type, as a cast between two
  // others' signatures would be.
  return reinterpret_cast<SelectTextureUnit>(reinterpret_cast<void (*)()>(wglGetProcAddress(name)));
}

}  // namespace

void InitGlState() {
  glEnable(GL_DEPTH_TEST);
  glFrontFace(GL_CW);
  glEnable(GL_CULL_FACE);
  glPolygonMode(GL_FRONT, GL_FILL);
  Multi = {};
  const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
  GLint units = 0;
  if (HasExtension(extensions, "GL_ARB_multitexture") &&
      HasExtension(extensions, "GL_ARB_texture_env_combine")) {
    glGetIntegerv(kMaxTextureUnits, &units);
  }
  if (units >= 2) Multi = {Call("glActiveTextureARB"), Call("glClientActiveTextureARB")};
  if (Multi.active == nullptr || Multi.clientActive == nullptr) Multi = {};
}

bool MultitextureOffered() { return Multi.active != nullptr; }

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
  std::vector<float> layerCoords;  // the sky's near layer, while the sky moves; 0 elsewhere
};
Batch Frame;
std::vector<uint32_t> Indices;  // one call's triangles

// What the frame being drawn makes of the map's clock and its look.
struct FrameLook {
  bool moving;       // the clock has started and textures show: liquids warp, skies move
  uint8_t shown;     // what of kMovingLight and kMovingTexels the view shows
  bool moves;        // something drawn changes with the clock
  bool translucent;  // some liquids are drawn over what lies behind them
  bool fog;          // the game view of a map with fog
};
FrameLook Look;

// A translucent face, drawn after every opaque one, the farthest first.
struct Translucent {
  uint32_t face;
  float shift[3];  // where its entity moves it, in map axes
  float distance;  // squared, from the eye to its box's middle
};
std::vector<Translucent> Translucents;
std::vector<uint32_t> Opaque;
const float kNoShift[3] = {0, 0, 0};

float AlphaOf(const Surface& s) {
  return IsLiquid(s.look) ? Level.look.liquidAlpha[s.look - kWaterLook] : 1.0f;
}

// Whether the face is drawn from its pieces.
bool InPieces(const Surface& s) { return Look.moving && s.cut >= 0; }

uint32_t TrianglesOf(const Surface& s) {
  if (!InPieces(s)) return s.cornerCount - 2;
  const SurfaceCut& cut = Level.corners.cuts[size_t(s.cut)];
  return cut.cornerCount - 2 * cut.pieceCount;
}

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

// Face f's corners into the batch, moved by `shift` (map axes); `eye` in
// the same space as its corners so moved.
void AppendFace(uint32_t f, const float shift[3], const float eye[3], bool colors, bool textures,
                bool light) {
  Batch& b = Frame;
  const Surface& s = Level.surfaces[f];
  const Corners& c = Level.corners;
  const bool pieces = InPieces(s);
  const uint32_t first = pieces ? c.cuts[size_t(s.cut)].firstCorner : s.firstCorner;
  const uint32_t count = pieces ? c.cuts[size_t(s.cut)].cornerCount : s.cornerCount;
  const size_t at = b.positions.size();
  b.firsts.push_back(uint32_t(at / 3));
  Append<float, 3>(b.positions, c.positions, first, count);
  const float glShift[3] = {shift[0], shift[2], -shift[1]};  // map z is up; GL y is up
  for (size_t k = at; k < b.positions.size(); ++k) b.positions[k] += glShift[k % 3];
  if (colors) {
    for (uint32_t k = 0; k < count; ++k) {
      b.colors.insert(b.colors.end(), {s.color.red, s.color.green, s.color.blue});
    }
  }
  if (textures) {
    const bool warped = Look.moving && IsLiquid(s.look), sky = Look.moving && s.look == kSkyLook;
    if (!warped && !sky) Append<float, 2>(b.textureCoords, c.textureCoords, first, count);
    for (uint32_t k = 0; k < count && (warped || sky); ++k) {
      float out[2], layer[2];
      if (warped) {
        Warp(Level.textures[size_t(s.texture)], &c.textureCoords[2 * size_t(first + k)], out);
      } else {
        const float* p = &b.positions[at + 3 * k];  // GL axes
        const float d[3] = {p[0] - eye[0], -p[2] - eye[1], p[1] - eye[2]};
        SkyCoords(d, 8, out);
        SkyCoords(d, 16, layer);
        b.layerCoords.insert(b.layerCoords.end(), {layer[0], layer[1]});
      }
      b.textureCoords.insert(b.textureCoords.end(), {out[0], out[1]});
    }
    if (Look.moving && !sky) b.layerCoords.resize(b.textureCoords.size(), 0.0f);
  }
  if (light) Append<float, 2>(b.lightCoords, c.lightCoords, first, count);
}

void ClearBatch() {
  Batch& b = Frame;
  b.firsts.clear();
  b.positions.clear();
  b.colors.clear();
  b.textureCoords.clear();
  b.lightCoords.clear();
  b.layerCoords.clear();
}

void EyeInModel(float eye[3]) {
  float m[16] = {};
  glGetFloatv(GL_MODELVIEW_MATRIX, m);
  EyeOf(m, eye);
}

void Compact(const std::vector<uint32_t>& faces, bool colors, bool textures, bool light) {
  Batch& b = Frame;
  if (textures) {
    // By texture, faces without one first, each texture's in their order.
    b.faces.resize(faces.size());
    GroupByKey(
        faces.size(), [&](size_t i) { return TextureNow(Level.surfaces[faces[i]].texture) + 1; },
        [](size_t) { return 1u; }, [&](size_t i, uint32_t at) { b.faces[at] = faces[i]; },
        [](int, uint32_t, uint32_t) {});
  } else {
    b.faces = faces;
  }
  ClearBatch();
  float eye[3] = {0, 0, 0};
  if (Look.moving) EyeInModel(eye);
  for (uint32_t f : b.faces) AppendFace(f, kNoShift, eye, colors, textures, light);
  glVertexPointer(3, GL_FLOAT, 0, b.positions.data());
}

// Face i of the batch as fans of triangles, each from its first corner: one
// fan, or one a piece.
uint32_t* AddFan(size_t i, uint32_t* to) {
  uint32_t first = Frame.firsts[i];
  const Surface& s = Level.surfaces[Frame.faces[i]];
  const auto fan = [&](uint32_t n) {
    for (uint32_t k = 1; k + 1 < n; ++k, to += 3) {
      to[0] = first;
      to[1] = first + k;
      to[2] = first + k + 1;
    }
    first += n;
  };
  if (!InPieces(s)) {
    fan(s.cornerCount);
    return to;
  }
  const SurfaceCut& cut = Level.corners.cuts[size_t(s.cut)];
  for (uint32_t p = 0; p < cut.pieceCount; ++p) fan(Level.corners.pieces[cut.firstPiece + p]);
  return to;
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
  const auto weight = [](size_t i) { return 3 * TrianglesOf(Level.surfaces[Frame.faces[i]]); };
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

// A fence's holes are left undrawn.
void AlphaTestFor(size_t texture) {
  if (Level.textures[texture].look == kFenceLook) {
    glEnable(GL_ALPHA_TEST);
  } else {
    glDisable(GL_ALPHA_TEST);
  }
}

// Texels as they are, of the faces `keep` takes that have a usable texture.
template <typename Keep>
void TexturePass(Keep keep) {
  BeginTextures(Frame.textureCoords);
  glAlphaFunc(GL_GEQUAL, 0.5f);
  DrawGroups(
      LevelTextures.textures.size(),
      [keep](const Surface& s) { return keep(s) ? TextureNow(s.texture) : -1; },
      [](size_t g) {
        BindTexture(LevelTextures.textures[g]);
        AlphaTestFor(g);
      });
  glDisable(GL_ALPHA_TEST);
  EndTextures();
}

// Faces whose light comes from a page and multiplies what they show.
bool Lit(const Surface& s, bool textured) {
  return s.light == kLightMapped && !(textured && s.sky);
}

// The active unit set to give `first` times its texture, twice, clamped:
// the light pass's blend, dst src + src dst, in one pass.
void CombineTimesTexture(GLenum first) {
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, kCombine);
  glTexEnvi(GL_TEXTURE_ENV, kCombineRgb, GL_MODULATE);
  glTexEnvi(GL_TEXTURE_ENV, kSource0Rgb, first);
  glTexEnvi(GL_TEXTURE_ENV, kOperand0Rgb, GL_SRC_COLOR);
  glTexEnvi(GL_TEXTURE_ENV, kSource1Rgb, GL_TEXTURE);
  glTexEnvi(GL_TEXTURE_ENV, kOperand1Rgb, GL_SRC_COLOR);
  glTexEnvf(GL_TEXTURE_ENV, kRgbScale, 2.0f);
}

// Unit 1 set to take what unit 0 gave times the light. Its coordinates are
// the light's.
void BeginLightUnit() {
  Multi.clientActive(kTexture1);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glTexCoordPointer(2, GL_FLOAT, 0, Frame.lightCoords.data());
  Multi.active(kTexture1);
  glEnable(GL_TEXTURE_2D);
  CombineTimesTexture(kPrevious);
  glTexEnvi(GL_TEXTURE_ENV, kCombineAlpha, GL_REPLACE);  // a fence's alpha, for its test
  glTexEnvi(GL_TEXTURE_ENV, kSource0Alpha, kPrevious);
  glTexEnvi(GL_TEXTURE_ENV, kOperand0Alpha, GL_SRC_ALPHA);
  Multi.active(kTexture0);
  Multi.clientActive(kTexture0);
}

void EndLightUnit() {
  Multi.clientActive(kTexture1);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  Multi.active(kTexture1);
  glTexEnvf(GL_TEXTURE_ENV, kRgbScale, 1.0f);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glBindTexture(GL_TEXTURE_2D, 0);
  glDisable(GL_TEXTURE_2D);
  Multi.active(kTexture0);
  Multi.clientActive(kTexture0);
}

// More pairs of a texture and a light page than this, and the texels and
// the light go in passes of their own.
constexpr size_t kMaxPairs = size_t{1} << 22;

// The textured faces that light multiplies, texels times light in one pass:
// a call for each texture and light page they pair. False when the pairs
// are too many to group (then nothing is drawn).
bool TexelsTimesLightPass() {
  const size_t pages = LevelTextures.lightPages.size(), textures = LevelTextures.textures.size();
  if (pages == 0 || textures > kMaxPairs / pages) return false;
  BeginLightUnit();
  BeginTextures(Frame.textureCoords);
  glAlphaFunc(GL_GEQUAL, 0.5f);
  DrawGroups(
      textures * pages,
      [pages](const Surface& s) {
        const int32_t texture = TextureNow(s.texture);
        return texture >= 0 && Lit(s, true) ? int(size_t(texture) * pages + size_t(s.lightPage)) : -1;
      },
      [pages](size_t g) {
        Multi.active(kTexture1);
        BindTexture(LevelTextures.lightPages[g % pages]);
        Multi.active(kTexture0);
        BindTexture(LevelTextures.textures[g / pages]);
        AlphaTestFor(g / pages);
      });
  glDisable(GL_ALPHA_TEST);
  EndTextures();
  EndLightUnit();
  return true;
}

// Flat colours times light in one pass, on unit 0 alone, for the faces
// `keep` takes that light multiplies: what the lit view gets from a flat
// pass and a light pass.
template <typename Keep>
void ColoursTimesLightPass(Keep keep) {
  glEnableClientState(GL_COLOR_ARRAY);
  glColorPointer(3, GL_FLOAT, 0, Frame.colors.data());
  BeginTextures(Frame.lightCoords);
  CombineTimesTexture(kPrimaryColor);
  DrawGroups(
      LevelTextures.lightPages.size(),
      [keep](const Surface& s) { return Lit(s, false) && keep(s) ? int{s.lightPage} : -1; },
      [](size_t g) { BindTexture(LevelTextures.lightPages[g]); });
  glTexEnvf(GL_TEXTURE_ENV, kRgbScale, 1.0f);
  EndTextures();
  glDisableClientState(GL_COLOR_ARRAY);
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

// The sky's near layer over its far one, where it is not clear.
void SkyLayerPass() {
  BeginOverlay();
  glEnable(GL_ALPHA_TEST);
  glAlphaFunc(GL_GEQUAL, 0.5f);
  BeginTextures(Frame.layerCoords);
  const std::vector<GLuint>& layers = LevelTextures.skyLayers;
  DrawGroups(
      layers.size(),
      [&](const Surface& s) {
        return s.look == kSkyLook && size_t(s.texture) < layers.size() &&
                       layers[size_t(s.texture)] != 0
                   ? s.texture
                   : -1;
      },
      [&](size_t g) { BindTexture(layers[g]); });
  EndTextures();
  glDisable(GL_ALPHA_TEST);
  EndOverlay();
}

// Multiplies what is there by 2 L / 255, clamped, for the faces light
// multiplies: the blend gives dst src + src dst. Full-bright faces (and,
// textured, the sky) keep their factor of 1.
void LightPass(bool textured) {
  BeginOverlay();
  glEnable(GL_BLEND);
  glBlendFunc(GL_DST_COLOR, GL_SRC_COLOR);
  BeginTextures(Frame.lightCoords);
  DrawGroups(
      LevelTextures.lightPages.size(),
      [textured](const Surface& s) { return Lit(s, textured) ? int{s.lightPage} : -1; },
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
        const int32_t texture = TextureNow(s.texture);
        return s.light == kLightMapped && !s.sky && texture >= 0 &&
                       LevelTextures.brights[size_t(texture)] != 0
                   ? texture
                   : -1;
      },
      [](size_t g) { BindTexture(LevelTextures.brights[g]); });
  EndTextures();
  glDisable(GL_ALPHA_TEST);
  EndOverlay();
}

// Fog over what the passes before drew, the sky left clear: GL's fog
// factor f of each pixel's depth turns colour x into f x + (1 - f) fog, in
// two passes: what is there times f, then plus (1 - f) fog.
void FogPass() {
  const auto keep = [](const Surface& s) { return s.sky ? -1 : 0; };
  const float* fog = Level.look.fogColor;
  const float black[4] = {0, 0, 0, 0}, color[4] = {fog[0], fog[1], fog[2], 1};
  BeginOverlay();
  glEnable(GL_BLEND);
  glEnable(GL_FOG);
  glFogfv(GL_FOG_COLOR, black);
  glColor3f(1, 1, 1);
  glBlendFunc(GL_ZERO, GL_SRC_COLOR);
  DrawGroups(1, keep, [](size_t) {});
  glFogfv(GL_FOG_COLOR, color);
  glColor3f(0, 0, 0);
  glBlendFunc(GL_ONE, GL_ONE);
  DrawGroups(1, keep, [](size_t) {});
  glDisable(GL_FOG);
  glDisable(GL_BLEND);
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

// `faces` of the world, or of a brush entity that `shift` moves.
void DrawFaces(const std::vector<uint32_t>& faces, const float shift[3]) {
  const bool lit = View.light != kFlatView;
  const bool textured = View.textures && View.light != kLightOnlyView;
  // Something that moves is in view, as far as the faces' boxes tell.
  for (size_t i = 0; i < faces.size() && !Look.moves; ++i) {
    const Surface& s = Level.surfaces[faces[i]];
    if ((s.moving & Look.shown) == 0) continue;
    float mins[3], maxs[3];
    for (int k = 0; k < 3; ++k) mins[k] = s.mins[k] + shift[k], maxs[k] = s.maxs[k] + shift[k];
    Look.moves = BoxMeetsView(mins, maxs);
  }
  const std::vector<uint32_t>* opaque = &faces;
  if (Look.translucent) {
    Opaque.clear();
    for (uint32_t f : faces) {
      if (AlphaOf(Level.surfaces[f]) < 1) {
        Translucents.push_back({f, {shift[0], shift[1], shift[2]}, 0});
      } else {
        Opaque.push_back(f);
      }
    }
    opaque = &Opaque;
  }
  Compact(*opaque, View.light != kLightOnlyView, textured, lit);
  if (View.light == kLightOnlyView) {
    LightOnlyPass();
  } else if (textured) {
    const auto all = [](const Surface&) { return true; };
    const auto untextured = [](const Surface& s) { return s.texture < 0; };
    // Texels or colours times light in one pass where the context can;
    // then what light does not multiply.
    if (lit && UseMultitexture && MultitextureOffered() && TexelsTimesLightPass()) {
      ColoursTimesLightPass(untextured);
      FlatPass([](const Surface& s) { return s.texture < 0 && !Lit(s, false); });
      TexturePass([](const Surface& s) { return !Lit(s, true); });
      if (Look.moving) SkyLayerPass();
      BrightsPass();
    } else {
      FlatPass(untextured);
      TexturePass(all);
      if (Look.moving) SkyLayerPass();
      if (lit) {
        LightPass(true);
        BrightsPass();
      }
    }
    if (Look.fog) FogPass();
  } else if (lit && UseMultitexture && MultitextureOffered()) {
    FlatPass([](const Surface& s) { return !Lit(s, false); });
    ColoursTimesLightPass([](const Surface&) { return true; });
  } else {
    FlatPass([](const Surface&) { return true; });
    if (lit) LightPass(false);
  }
}

// The translucent faces, the farthest first, each over what lies behind it
// and hiding nothing: their texels alone, unlit, at their liquid's opacity,
// through the fog there is.
void DrawTranslucent() {
  if (Translucents.empty()) return;
  float eye[3];
  EyeInModel(eye);
  for (Translucent& t : Translucents) {
    const Surface& s = Level.surfaces[t.face];
    t.distance = 0;
    for (int k = 0; k < 3; ++k) {
      const float d = (s.mins[k] + s.maxs[k]) / 2 + t.shift[k] - eye[k];
      t.distance += d * d;
    }
  }
  std::stable_sort(
      Translucents.begin(), Translucents.end(),
      [](const Translucent& a, const Translucent& b) { return a.distance > b.distance; });
  Frame.faces.clear();
  ClearBatch();
  for (const Translucent& t : Translucents) {
    Frame.faces.push_back(t.face);
    AppendFace(t.face, t.shift, eye, false, true, false);
  }
  glVertexPointer(3, GL_FLOAT, 0, Frame.positions.data());
  BeginTextures(Frame.textureCoords);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glDepthMask(GL_FALSE);
  if (Look.fog) {
    const float* fog = Level.look.fogColor;
    const float color[4] = {fog[0], fog[1], fog[2], 1};
    glFogfv(GL_FOG_COLOR, color);
    glEnable(GL_FOG);
  }
  // One call for each run of faces of one texture and opacity.
  Indices.clear();
  for (size_t i = 0, run = 0; i < Frame.faces.size(); ++i) {
    const Surface& s = Level.surfaces[Frame.faces[i]];
    Indices.resize(Indices.size() + 3 * TrianglesOf(s));
    AddFan(i, Indices.data() + Indices.size() - 3 * TrianglesOf(s));
    const bool last = i + 1 == Frame.faces.size();
    const Surface* next = last ? nullptr : &Level.surfaces[Frame.faces[i + 1]];
    if (!last && next->texture == s.texture && AlphaOf(*next) == AlphaOf(s)) continue;
    const size_t texture = size_t(TextureNow(s.texture));
    if (texture < LevelTextures.textures.size()) {
      BindTexture(LevelTextures.textures[texture]);
      glColor4f(1, 1, 1, AlphaOf(s));
      glDrawElements(GL_TRIANGLES, GLsizei(Indices.size() - run), GL_UNSIGNED_INT,
                     Indices.data() + run);
    }
    run = Indices.size();
  }
  glDisable(GL_FOG);
  glDepthMask(GL_TRUE);
  glDisable(GL_BLEND);
  EndTextures();
  Translucents.clear();
}

std::vector<uint32_t> BrushFaces;

// The faces of brush entity b that are drawn.
const std::vector<uint32_t>& FacesOfBrush(size_t b) {
  const BspModel& model = Level.models[Level.brushes[b].model];
  BrushFaces.clear();
  for (int32_t f = model.faceStart; f < model.faceStart + model.faceTotal; ++f) {
    if (Level.surfaces[size_t(f)].cornerCount != 0) BrushFaces.push_back(uint32_t(f));
  }
  return BrushFaces;
}

// The light of the faces in `list` brought up to date, before the frame
// starts: a page changed while a frame that uses it is being drawn would
// make GL wait for that frame.
void RefreshLightOf(const DrawList& list) {
  RefreshLight(list.world);
  for (size_t b = 0; b < Level.brushes.size(); ++b) {
    if (list.brushes[b]) RefreshLight(FacesOfBrush(b));
  }
}

// Every view but the flat view of version 29/30 maps: the faces in `list`.
void DrawSurfaces(const DrawList& list, bool wireframe) {
  const bool brushes = !IsFlatView();
  if (!wireframe) glEnableClientState(GL_VERTEX_ARRAY);
  wireframe ? DrawOutlines(list.world) : DrawFaces(list.world, kNoShift);
  for (size_t b = 0; brushes && b < Level.brushes.size(); ++b) {
    if (!list.brushes[b]) continue;
    const BrushEntity& brush = Level.brushes[b];
    glPushMatrix();
    glTranslatef(brush.origin[0], brush.origin[2], -brush.origin[1]);
    wireframe ? DrawOutlines(FacesOfBrush(b)) : DrawFaces(FacesOfBrush(b), brush.origin);
    glPopMatrix();
  }
  if (!wireframe) {
    DrawTranslucent();
    glDisableClientState(GL_VERTEX_ARRAY);
  }
}

// What the frame makes of the clock and the map's look, for the view on show.
void BeginFrameLook() {
  const bool lit = View.light != kFlatView;
  const bool textured = View.textures && View.light != kLightOnlyView;
  const MapLook& look = Level.look;
  Look = {};
  Look.moving = ShownTime.started && textured;
  Look.shown = uint8_t((lit ? kMovingLight : 0) | (textured ? kMovingTexels : 0));
  for (float alpha : look.liquidAlpha)
    Look.translucent = Look.translucent || (textured && alpha < 1);
  Look.fog = lit && textured && look.fogDensity > 0;
  if (Look.fog) {
    glFogi(GL_FOG_MODE, GL_EXP2);
    glFogf(GL_FOG_DENSITY, look.fogDensity / 64);
  }
}

}  // namespace

void DrawLevel() {
  Look = {};
  const DrawList* list = nullptr;  // the flat loop draws every world face
  if (Level.format != kBsp2Format && (IsFlatView() || Level.surfaces.empty())) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    DrawFlatLoop();
  } else {
    SetTimeOfFrame();
    BeginFrameLook();
    UploadForView();
    GLint modes[2] = {GL_FILL, GL_FILL};
    glGetIntegerv(GL_POLYGON_MODE, modes);
    const bool wireframe = modes[0] == GL_LINE;
    list = &CollectFaces(wireframe);
    if (!wireframe && View.light != kFlatView) RefreshLightOf(*list);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    DrawSurfaces(*list, wireframe);
  }
  DrawInspection(list);
  DrawOverlays();
}

bool FrameMoves() { return Look.moves; }
