// The map's textures (the miptex lump, and the WADs its worldspawn names
// for those stored outside it). At load each texture the faces name is
// checked and its level-0 palette indices kept, with its own palette for
// version 30 maps and WAD3 textures (the game's otherwise); the texels are
// expanded through the palette only when a view first shows textures. A
// texture that is missing, in no WAD found or damaged, or any texture
// without a palette, keeps width 0: its faces show their flat colour.
#pragma once

#include <cstdint>

// Needs Level.texInfos. Fills Level.textures with a record for each
// directory entry the texture infos name and for the other frames of the
// animated ones (a texture named "+0NAME" cycles through those of "+0NAME"
// to "+9NAME" that can be shown, "+aNAME" through "+aNAME" to "+jNAME"), in
// directory order, and the counts --info gives. Names starting with "*"
// (and "!" in version 30 maps) are liquids, "{" fences, and "sky" in other
// maps than version 30 the sky's two layers; and, when a texture is stored
// outside the map, Level.wads.
void ReadTextures();

// The texture of directory entry `entry` in Level.textures, or -1 when no
// texture info names it.
int32_t TextureOfEntry(int32_t entry);

// Expands every usable texture that has no texels yet: RGB texels and,
// where some are full bright, the RGBA mask of those; for a fence and the
// sky its clear texels.
void ExpandTextures();
