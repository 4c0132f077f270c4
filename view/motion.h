// The map's clock as the views show it, and what moves with it: the light
// styles, the frames of animated textures, the warp of liquids and the
// sky's two layers.
#pragma once

#include <cstdint>
#include <vector>

#include "bsp/level.h"

// The time the views show the map at. Until the clock has started the map
// is still: every light style at full strength, every texture the frame its
// faces name, liquids and the sky as they are.
struct MapTime {
  bool started;
  double seconds;  // 0 or more
};
extern MapTime ShownTime;

// Before each frame: the styles' strengths for ShownTime, and the frame each
// animated texture shows (5 a second).
void SetTimeOfFrame();

// The record of the frame that texture record `texture` shows now.
int32_t TextureNow(int32_t texture);

// A liquid corner's texture coordinates `st` (texels over the texture's
// size) warped for ShownTime: in texels, (s + 8 sin(t / 8 + T), t + 8 sin(s
// / 8 + T)).
void Warp(const Texture& texture, const float st[2], float out[2]);

// A sky corner's coordinates in a layer moving `speed` units a second, `d`
// its direction from the eye in map axes: d flattened (z times 3) and
// scaled to 378 units, then (speed T + d.x, speed T + d.y) / 128.
void SkyCoords(const float d[3], double speed, float out[2]);

// The light blocks the frame drawn last composed anew, and the time it took.
struct LightRefresh {
  uint32_t blocks;
  double ms;
};
extern LightRefresh LastLightRefresh;

// Composes again the light blocks of `faces` whose styles' strengths
// changed since they were last composed, and puts each changed block into
// its page (glTexSubImage2D). Needs the light pages uploaded.
void RefreshLight(const std::vector<uint32_t>& faces);
