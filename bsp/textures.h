// The map's textures (the miptex lump), expanded through their palette
// into Level.textures once at load: the game's palette for Quake maps, each
// texture's own for version 30 maps. A texture that is missing, stored
// outside the map or damaged, or any texture without a palette, keeps
// width 0: its faces show their flat colour.
#pragma once

void ReadTextures();
