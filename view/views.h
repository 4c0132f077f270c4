// Which view is on show: the light (flat colours, lit, or the light alone)
// and whether faces show their textures. Drops and reloads keep it.
#pragma once

enum LightView { kFlatView, kLitView, kLightOnlyView };

struct ViewMode {
  LightView light;
  bool textures;  // T: ignored by the light-only view, which keeps it for the views after
};

extern ViewMode View;

// The start option's names: flat, lit, light, texels (flat + T) and game
// (lit + T). Returns 0, or 1 for a name it does not know.
int ParseViewName(const char* name, ViewMode* mode);

// Whether the view draws the world's faces the flat way alone: flat
// colours, untextured, no brush entities.
bool IsFlatView();
