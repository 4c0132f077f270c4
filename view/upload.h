// The level's GL textures: its light pages and its textures, uploaded once
// after each load, never per frame.
#pragma once

#include <vector>

#include "platform/gl.h"

struct LevelTextureNames {
  std::vector<GLuint> lightPages;  // one per page of Level.light
  std::vector<GLuint> textures;    // one per Level.textures entry; 0: none
  std::vector<GLuint> brights;     // its full-bright texels; 0: none
};

extern LevelTextureNames LevelTextures;

// Deletes what the previous level had, then uploads the loaded level's
// textures (mip levels built with gluBuild2DMipmaps, which also brings
// sides that are not powers of two to ones that are) and forgets the
// previous level's visible set. Needs the context current.
void UploadLevel();

// Forgets the names without deleting them: for when the context that held
// them is gone.
void ForgetLevelTextures();
