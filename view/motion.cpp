// Light is composed again only where it changed and only for faces drawn: a
// face out of view catches up when it comes into view, from the marks
// SetStyleValues leaves.
#include "view/motion.h"

#include <chrono>
#include <cmath>

#include "bsp/light.h"
#include "bsp/light_styles.h"
#include "platform/gl.h"
#include "view/upload.h"

MapTime ShownTime;
LightRefresh LastLightRefresh;

namespace {

std::vector<int32_t> FrameNow;  // by texture record, while the clock has started
std::vector<float> Strengths;

}  // namespace

void SetTimeOfFrame() {
  LastLightRefresh = {};
  Strengths.clear();
  FrameNow.clear();
  if (!ShownTime.started) {
    SetStyleValues(Strengths);
    return;
  }
  StyleValuesAt(ShownTime.seconds, Level.look.lightsOff, &Strengths);
  SetStyleValues(Strengths);
  FrameNow.resize(Level.textures.size());
  for (size_t t = 0; t < FrameNow.size(); ++t) {
    const std::vector<int32_t>& frames = Level.textures[t].frames;
    FrameNow[t] = frames.empty() ? int32_t(t)
                                 : frames[size_t(StepAt(ShownTime.seconds, 5, int(frames.size())))];
  }
}

int32_t TextureNow(int32_t texture) {
  return texture >= 0 && size_t(texture) < FrameNow.size() ? FrameNow[size_t(texture)] : texture;
}

void Warp(const Texture& texture, const float st[2], float out[2]) {
  const double s = double{st[0]} * texture.width, t = double{st[1]} * texture.height;
  out[0] = float((s + 8 * std::sin(t / 8 + ShownTime.seconds)) / texture.width);
  out[1] = float((t + 8 * std::sin(s / 8 + ShownTime.seconds)) / texture.height);
}

void SkyCoords(const float d[3], double speed, float out[2]) {
  const double x = d[0], y = d[1], z = 3.0 * d[2];
  const double length = std::sqrt(x * x + y * y + z * z);
  const double scale = length > 0 ? 378 / length : 0;
  // The layer repeats every 128 units: whole turns are left out.
  const double shift = speed * std::fmod(ShownTime.seconds, 128 / speed);
  out[0] = float((shift + x * scale) / 128);
  out[1] = float((shift + y * scale) / 128);
}

void RefreshLight(const std::vector<uint32_t>& faces) {
  LightData& light = Level.light;
  if (light.changes == 0 || light.pages.empty()) return;
  const auto start = std::chrono::steady_clock::now();
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, kLightPageSize);
  for (uint32_t f : faces) {
    const Surface& surface = Level.surfaces[f];
    if (surface.light != kLightMapped || surface.lightGrid < 0) continue;
    LightGrid& grid = light.grids[size_t(surface.lightGrid)];
    if (!RefreshLightBlock(grid) || size_t(grid.page) >= LevelTextures.lightPages.size()) continue;
    ++LastLightRefresh.blocks;
    glBindTexture(GL_TEXTURE_2D, LevelTextures.lightPages[size_t(grid.page)]);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, grid.x);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, grid.y);
    glTexSubImage2D(GL_TEXTURE_2D, 0, grid.x, grid.y, grid.width + 2, grid.height + 2, GL_RGB,
                    GL_UNSIGNED_BYTE,
                    light.pages.data() + size_t(grid.page) * kLightPageSize * kLightPageSize * 3);
  }
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
  glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
  glBindTexture(GL_TEXTURE_2D, 0);
  const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
  LastLightRefresh.ms += took.count();
}
