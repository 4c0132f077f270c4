// The loaded world: the world model's record, the four record arrays read
// whole from their lumps, and one flat colour per face record. LoadLevel
// builds it once and checks every reference drawing will follow, so the
// renderer can walk it without bounds checks; FreeLevel gives it back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bsp/bsp_file.h"
#include "bsp/entities.h"

struct FaceColor {
  float red;  // each k / 32768 for a whole k below 32768: exact, in [0, 1)
  float green;
  float blue;
};
static_assert(sizeof(FaceColor) == 12);

// How a face shows light, in the views that show it.
enum SurfaceLight : uint8_t {
  kFullBright,    // its colour as it is: an unlit map, sky or liquid, or light data that does not fit
  kLightMapped,   // a block of a light page, black for a face that has no light
};

// What a face's texture makes of it in the textured views, beyond its
// texels. Liquids (a kind of LiquidKind each) warp; the sky of a Quake map
// shows two moving layers; a fence has holes.
enum SurfaceLook : uint8_t {
  kPlainLook,
  kWaterLook,  // kWaterLook + LiquidKind for each liquid
  kLavaLook,
  kSlimeLook,
  kTeleLook,
  kSkyLook,
  kFenceLook,
};
constexpr bool IsLiquid(SurfaceLook look) { return look >= kWaterLook && look <= kTeleLook; }

// What makes a face change with the map's clock.
constexpr uint8_t kMovingLight = 1;   // a light style whose strength varies
constexpr uint8_t kMovingTexels = 2;  // an animated texture, a liquid, the sky's layers

// What every view but the flat view of version 29/30 maps draws a face
// from, built once at load beside its record.
struct Surface {
  uint32_t firstCorner;  // into the corner arrays
  uint32_t cornerCount;  // 0: not drawn (not in a drawn model, or fewer than 3 corners)
  FaceColor color;       // its flat colour
  float normal[3];       // the side its corners run clockwise from, in map axes,
  float dist;            //   as GL sees it: normal . p - dist > 0 in front
  float mins[3];         // its box, in map axes
  float maxs[3];
  int32_t texture;       // into Level.textures; -1: none usable
  int32_t lightPage;     // for kLightMapped
  int32_t lightGrid;     // into Level.light.grids; -1: none of its own
  int32_t cut;           // into Level.corners.cuts; -1: drawn whole
  SurfaceLight light;
  SurfaceLook look;      // kPlainLook without a usable texture
  uint8_t moving;        // kMovingLight and kMovingTexels
  bool sky;              // shown full bright in the textured views
  uint32_t drawnFrame;   // the frame that last put it in a draw list
};

// The corners of every surface, in walk order, in GL's axes (x, z, -y of
// the map), with their texture and light page coordinates. A face is drawn
// as a fan of triangles from its first corner.
//
// Liquid and sky faces wider than kPieceSize in some axis are also cut into
// pieces along a grid of that size, so that their warp bends; while they
// move they are drawn from the pieces, each a fan of its own, whose corners
// lie in the same arrays.
struct SurfaceCut {
  uint32_t firstCorner;  // the pieces' corners, piece after piece
  uint32_t cornerCount;
  uint32_t firstPiece;   // into `pieces`
  uint32_t pieceCount;
};
struct Corners {
  std::vector<float> positions;      // 3 a corner
  std::vector<float> textureCoords;  // 2 a corner: s / width, t / height
  std::vector<float> lightCoords;    // 2 a corner: in the face's light page
  std::vector<SurfaceCut> cuts;
  std::vector<uint32_t> pieces;      // each piece's corner count
};
constexpr float kPieceSize = 128;

// A face's light: its state, and for a face with samples of its own, where
// its grid lies and where its block went. Laid out by its texture, sample
// (i, j) lies at s = spacing (smin + i), t = spacing (tmin + j); laid out by
// a matrix of its own (decoupled), at light-map coordinates (i, j).
struct LightGrid {
  SurfaceLight light;
  bool dark;        // light mapped onto black: no samples of its own
  bool decoupled;   // its corners' light coordinates come from LightMatrixOf
  float spacing;    // texels between samples: 16, or 2^shift by LMSHIFT
  int smin, tmin;   // 0 when decoupled
  int width, height;
  uint32_t firstStyle;  // its light styles, a run of LightData::styles
  uint32_t styleCount;
  uint64_t byteOffset;  // of its first sample; each style's grid follows the one before
  int page, x, y;       // its block, a border of one texel around the grid
  uint32_t face;        // the face record it lights
  uint32_t composed;    // the LightData.changes its block was composed at
};

// The light samples and what was made of them.
struct LightData {
  // One byte a channel; for HDR samples, one little-endian uint32 a sample
  // (E5BGR9: exponent in bits 27-31, blue, green, red in 9 bits each).
  std::vector<uint8_t> samples;
  int channels;                  // 1 or 3
  int sampleBytes;               // bytes a sample: 1 or 3, 4 for HDR
  bool hdr;
  int offsetScale;               // a face's offset times this is a byte offset
  std::string source;            // for --info: what the samples are and where they came from
  // Per face record, what BSPX lumps put in place of the face record's own
  // light fields; each empty where the map has no such lump.
  std::vector<uint8_t> faceShifts;    // samples 2^shift texels apart
  std::vector<int32_t> faceOffsets;   // in place of lightOffset
  std::vector<uint16_t> faceStyles;   // stylesPerFace a face, 0xFFFF ending a list
  uint32_t stylesPerFace;
  std::vector<BspxDecoupledLight> decoupled;
  bool faceLumpsDamaged;         // one of them does not fit the faces: lit faces show full bright
  std::vector<LightGrid> grids;  // placed, with samples of their own
  std::vector<uint16_t> styles;  // the light styles of the grids, each grid's run
  // How strong each light style is, by style number, 1 being full
  // strength; a style past the end is at full strength.
  std::vector<float> styleValues;
  uint32_t changes;                   // how often styleValues changed
  std::vector<uint32_t> styleChanged;  // by style: the count its value last changed at
  int pageCount;
  std::vector<uint8_t> pages;    // kLightPageSize squared RGB texels a page, once filled
};
constexpr int kLightPageSize = 512;

// A texture the faces name, kept as palette indices until a view first
// shows textures; width 0 when it cannot be shown (missing, stored outside
// the map, damaged, no palette).
struct Texture {
  char name[17];
  int32_t entry;  // in the textures lump's directory
  int width;      // of what is shown: a sky shows only its right half
  int height;
  uint32_t fileWidth;              // as its header gives them; 0 when it has none
  uint32_t fileHeight;
  uint32_t indexWidth;             // of `indices`, the whole texture
  std::vector<uint8_t> indices;    // level 0, one palette index a texel, row by row
  std::vector<uint8_t> palette;    // its own 256 colours (version 30); empty: the game's
  std::vector<uint8_t> texels;     // RGB, row by row, once expanded
  std::vector<uint8_t> brights;    // RGBA: full-bright texels opaque, the rest clear; empty if none
  SurfaceLook look;                // from its name; kSkyLook for the sky of a Quake map only
  // RGBA with clear texels, once expanded: a fence's texels (colour 255
  // clear), or the near layer of a sky (its left half, colour 0 clear).
  std::vector<uint8_t> clearTexels;
  int clearWidth;
  // An animated texture's frames, in the order they show: its records in
  // Level.textures, itself among them; empty when it is not animated.
  std::vector<int32_t> frames;
};

// A WAD the map's worldspawn names, as --info reports it.
struct WadUse {
  std::string name;      // its file name, as the key gives it
  bool found;
  bool damaged;          // found, but it cannot be read or is damaged
  int32_t texturesUsed;  // entries of the map's texture directory whose texels it gave
};

// The tree the world model is cut into and which leaves see which, in one
// shape for every format. `trusted` is false when culling cannot be relied
// on: then everything is drawn.
struct TreeNode {
  int32_t plane;
  int32_t children[2];  // >= 0 a node, else leaf -(c + 1)
  float mins[3];
  float maxs[3];
  int32_t parent;      // -1 for the head node
  uint32_t visFrame;   // the visibility frame that marked it visible
};
struct TreeLeaf {
  int32_t contents;  // -2: solid
  int32_t visOffset;
  float mins[3];
  float maxs[3];
  uint32_t firstMark;
  uint32_t markCount;
  int32_t parent;
  uint32_t visFrame;
};
struct Tree {
  bool sound;    // every index checked: the tree can be walked, with or without visibility
  bool trusted;  // sound, with visibility data
  int32_t headNode;
  uint32_t visLeafCount;
  std::vector<BspPlane> planes;
  std::vector<TreeNode> nodes;
  std::vector<TreeLeaf> leaves;
  std::vector<uint32_t> marks;  // face records, a leaf's run of them
  std::vector<uint8_t> visibility;
};

struct Level {
  BspFormat format;
  BspModel worldModel;  // record 0 of the models lump
  BspFace* faces;       // version 29 maps
  uint32_t faceCount;   // counted in 16 bits for version 29 maps
  BspEdge* edges;       // version 29 maps
  uint32_t edgeCount;
  SurfEdge* surfEdges;
  uint32_t surfEdgeCount;
  BspVertex* vertices;
  uint32_t vertexCount;   // counted in 16 bits for version 29 maps
  FaceColor* faceColors;  // entry i belongs to face record i; faceCount of them
  PlayerStart start;      // where the view starts; drawing does not need it
  Bsp2Face* wideFaces;    // BSP2 and 2PSB maps, in place of faces and edges
  Bsp2Edge* wideEdges;
  // Beyond the flat view of version 29/30 maps; empty where a version 29
  // map's faces walk too many corners to build them (it then shows flat).
  std::vector<BspTexInfo> texInfos;
  std::vector<Surface> surfaces;  // one per face record
  Corners corners;
  std::vector<BspModel> models;
  std::vector<BrushEntity> brushes;  // those whose model's faces are sound
  std::vector<Entity> entities;      // every entity of the lump, with all its keys
  std::vector<EntityPair> entityPairs;  // theirs: the entities point into these
  std::vector<char> entityText;
  std::vector<PointEntity> points;   // the entities placed at a point, for their markers
  std::vector<BrushEntity> triggers; // brush entities the game never shows
  MapLook look;
  LightData light;
  std::vector<Texture> textures;  // those the texture infos name, in directory order
  int32_t textureEntryCount;      // entries in the textures lump's directory
  int32_t texturesShown;          // of them, those that can be shown
  std::vector<WadUse> wads;       // looked for only when a texture is stored outside the map
  std::vector<uint8_t> palette;   // the game's, 768 bytes; empty when none was found
  std::string paletteSource;      // for --info; empty when none was found
  Tree tree;
};

// The type and its one instance share the name; write `struct Level` for
// the type.
extern struct Level Level;

// Shows a message the user must see: in a box with one OK button, or on
// stderr (and to a debugger) while MessagesOnStderr is set (for `mivo
// --info`, which opens no window, and for reloads as the file changes).
extern bool MessagesOnStderr;
void ShowMessage(const char* message);

// A line about the map that the user may want to know but that stops
// nothing (a WAD it names is missing): on stderr, and to a debugger.
void ShowNote(const std::string& line);

// Needs an open map file and an empty level. Returns 0 when the level is
// loaded and every reference checked; otherwise shows what went wrong (a
// version it cannot show is refused before any lump is read) and returns
// 1, leaving whatever it had allocated for FreeLevel.
int LoadLevel();

// Releases every array that is present and leaves it absent, so a second
// call releases nothing.
void FreeLevel();

// The colour generator: a linear congruential generator started at 1 when
// the program starts and never reseeded, so a map shows the same colours on
// every run. Only NextRandom moves the state.
extern uint32_t RandomState;
int NextRandom();
float RandomUnit();
