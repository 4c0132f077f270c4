// Putting the level on the screen through OpenGL 1.1. Each operation works
// with whichever GL context is current; none keeps state of its own: the
// camera is the modelview matrix, the drawing mode is GL's polygon mode.
#pragma once

// Depth test, clockwise front faces, back-face culling, filled fronts; and
// whether the context offers two texture units and their combining
// (ARB_multitexture, ARB_texture_env_combine), with which the game and lit
// views draw texels or colours times light in one pass.
void InitGlState();

// Off: the views draw in passes as on a context without those extensions,
// for comparing and measuring. On by default.
extern bool UseMultitexture;

// Whether the current context offers what one-pass light needs.
bool MultitextureOffered();

// The 640 x 480 viewport and a 60-degree perspective, whatever the window's
// size; leaves the modelview matrix current and untouched.
void SetupProjection();

// The starting view: the map's player start, or without one the eye at map
// point (544, 288, 32) looking along +y.
void PlaceCamera();

// Clears the frame and draws the view on show (see views.h): in the flat
// view of version 29/30 maps every face of the world model as one flat
// polygon; in every other view the faces the camera can see, with the brush
// entities beside the world outside the flat view; then the overlays
// shown (overlays.h) and what the inspection is asked to show (inspect.h).
// Trusts the level: LoadLevel has checked every
// reference.
void DrawLevel();

// Whether the frame drawn last shows something that moves with the map's
// clock in its view: a light style whose strength varies (in the views that
// show light), an animated texture, a liquid or the sky's layers (in the
// textured views).
bool FrameMoves();
