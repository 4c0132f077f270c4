#include "view/upload.h"

#include "bsp/level.h"
#include "bsp/light.h"
#include "bsp/textures.h"
#include "view/cull.h"
#include "view/views.h"

LevelTextureNames LevelTextures;

namespace {

void Delete(std::vector<GLuint>& names) {
  for (GLuint name : names) {
    if (name != 0) glDeleteTextures(1, &name);
  }
  names.clear();
}

GLuint UploadMipmapped(int width, int height, GLenum format, const uint8_t* texels) {
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  // Magnified texels stay sharp squares, as in the game.
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST_MIPMAP_LINEAR);
  gluBuild2DMipmaps(GL_TEXTURE_2D, format == GL_RGBA ? 4 : 3, width, height, format,
                    GL_UNSIGNED_BYTE, texels);
  return name;
}

}  // namespace

void UploadLevel() {
  Delete(LevelTextures.lightPages);
  Delete(LevelTextures.textures);
  Delete(LevelTextures.brights);
  Delete(LevelTextures.skyLayers);
  LevelTextures.lightUploaded = LevelTextures.texturesUploaded = false;
  ResetCulling();
}

void UploadForView() {
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  if (View.light != kFlatView && !LevelTextures.lightUploaded) {
    LevelTextures.lightUploaded = true;
    FillLightPages();
    const LightData& light = Level.light;
    for (int page = 0; page < light.pageCount; ++page) {
      GLuint name = 0;
      glGenTextures(1, &name);
      glBindTexture(GL_TEXTURE_2D, name);
      // Between samples the light is interpolated; each block's border keeps
      // a face's light its own.
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
      glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, kLightPageSize, kLightPageSize, 0, GL_RGB,
                   GL_UNSIGNED_BYTE,
                   light.pages.data() + size_t(page) * kLightPageSize * kLightPageSize * 3);
      LevelTextures.lightPages.push_back(name);
    }
  }
  if (View.textures && View.light != kLightOnlyView && !LevelTextures.texturesUploaded) {
    LevelTextures.texturesUploaded = true;
    ExpandTextures();
    for (const Texture& texture : Level.textures) {
      const bool usable = texture.width > 0;
      const bool fence = texture.look == kFenceLook;
      LevelTextures.textures.push_back(
          !usable ? 0
          : fence
              ? UploadMipmapped(texture.width, texture.height, GL_RGBA, texture.clearTexels.data())
              : UploadMipmapped(texture.width, texture.height, GL_RGB, texture.texels.data()));
      LevelTextures.skyLayers.push_back(usable && texture.look == kSkyLook && texture.clearWidth > 0
                                            ? UploadMipmapped(texture.clearWidth, texture.height,
                                                              GL_RGBA, texture.clearTexels.data())
                                            : 0);
      LevelTextures.brights.push_back(
          usable && !texture.brights.empty()
              ? UploadMipmapped(texture.width, texture.height, GL_RGBA, texture.brights.data())
              : 0);
    }
  }
  glBindTexture(GL_TEXTURE_2D, 0);
}

void ForgetLevelTextures() { LevelTextures = {}; }
