// The level's GL textures: its light pages and its textures, uploaded when
// a view first needs them, never per frame. The flat view needs neither, so
// a map shown flat never decodes them.
#pragma once

#include <vector>

#include "platform/gl.h"

struct LevelTextureNames {
  bool lightUploaded;              // the light pages are in lightPages
  bool texturesUploaded;           // the textures are in textures and brights
  std::vector<GLuint> lightPages;  // one per page of Level.light
  std::vector<GLuint> textures;    // one per Level.textures entry; 0: none
  std::vector<GLuint> brights;     // its full-bright texels; 0: none
  std::vector<GLuint> skyLayers;   // the near layer of a sky; 0: none
};

extern LevelTextureNames LevelTextures;

// Deletes what the previous level had uploaded and forgets its visible
// set: after each load. Needs the context current.
void UploadLevel();

// Fills, expands and uploads what the view on show needs and does not have
// yet: the light pages for the views that show light, the textures (mip
// levels built with gluBuild2DMipmaps, which also brings sides that are not
// powers of two to ones that are) for the textured views: a fence's with
// its holes clear, and a sky's near layer beside its far one. Needs the
// context current.
void UploadForView();

// Forgets the names without deleting them: for when the context that held
// them is gone.
void ForgetLevelTextures();
