// Moving the view. The camera is the modelview matrix: a move or a turn
// multiplies a translation or a rotation in front of it.
#pragma once

// Moves the eye by (dx, dy, dz) map units along its own axes.
void MoveCamera(float dx, float dy, float dz);

// Turns the eye about the map's vertical axis; positive turns left. With no
// pitch that is the eye's own vertical axis.
void TurnCamera(float angle);

// Tilts the eye up (positive) or down about its own horizontal axis, as far
// as 89 degrees from level.
void TiltCamera(float angle);

// Puts the eye at map point `origin`, turned `yaw` degrees from +x towards
// +y (as an entity's angle) and looking `pitch` degrees up (clamped to 89),
// replacing the modelview matrix. A level view at yaw 90 is the unturned
// view; angles of 0 add no rotation, so the matrix is exactly that of the
// moves alone.
void SetCamera(const float origin[3], float yaw, float pitch);

// Where the modelview matrix `m` puts the eye, in map units.
void EyeOf(const float m[16], float eye[3]);

// The eye's map point, its yaw (degrees from +x towards +y, in [0, 360))
// and its pitch (degrees up), read back from the modelview matrix:
// SetCamera with them gives the same view.
void CameraPosition(float origin[3], float* yaw, float* pitch);

// The view's own commands, by typed character (already upper-cased): the
// moves and turns of the key pad, wireframe (7, W), filled (9, F), the next
// light view (L) and textures (T). Returns whether `character` is one of
// them; any other character changes nothing.
bool RunViewKey(int character);

// A drag of (dx, dy) pixels with the left button: right turns right and up
// looks up, 1/16 degree a pixel.
void DragCamera(int dx, int dy);
