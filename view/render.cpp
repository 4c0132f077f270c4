// The fixed GL state, the projection, the starting view and the frame.
// Every frame sends every face anew in immediate mode, in the order of the
// faces lump; the depth buffer alone decides what is in front.
#include "view/render.h"

#include "bsp/level.h"
#include "platform/gl.h"

void InitGlState() {
  glEnable(GL_DEPTH_TEST);
  glFrontFace(GL_CW);
  glEnable(GL_CULL_FACE);
  glPolygonMode(GL_FRONT, GL_FILL);
}

void SetupProjection() {
  // Always 640 x 480 from the lower-left corner, whatever the client size.
  glViewport(0, 0, 640, 480);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(60.0, 1.3333333333333333, 1.0, 10000.0);
  glMatrixMode(GL_MODELVIEW);
}

void PlaceCamera() {
  const PlayerStart& start = Level.start;
  if (!start.found) {
    // Map point (544, 288, 32) is GL point (544, 32, -288).
    glTranslatef(-544.0f, -32.0f, 288.0f);
    return;
  }
  // The unturned view looks along +y, which is yaw 90.
  if (start.angle != 90.0f) glRotatef(90.0f - start.angle, 0.0f, 1.0f, 0.0f);
  glTranslatef(-start.origin[0], -start.origin[2], start.origin[1]);
}

namespace {

// BSP2 maps, up to ten times larger, in one call over the arrays built at
// load: the same pixels as their faces sent one by one, but fast enough to
// move through.
void DrawTriangles() {
  const Triangles& t = Level.triangles;
  if (t.cornerCount == 0) return;
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_COLOR_ARRAY);
  glEnableClientState(GL_EDGE_FLAG_ARRAY);
  glVertexPointer(3, GL_FLOAT, 0, t.corners);
  glColorPointer(3, GL_FLOAT, 0, t.colors);
  glEdgeFlagPointer(0, t.edgeFlags);
  glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(t.cornerCount));
  glDisableClientState(GL_EDGE_FLAG_ARRAY);
  glDisableClientState(GL_COLOR_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
}

}  // namespace

void DrawLevel() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  if (Level.format == kBsp2Format) {
    DrawTriangles();
    return;
  }
  const int32_t faceTotal = Level.worldModel.faceTotal;
  if (faceTotal <= 0) return;
  const BspFace* faces = Level.faces + Level.worldModel.faceStart;
  const FaceColor* colors = Level.faceColors;  // entry i for the i-th face drawn
  for (int32_t i = 0; i < faceTotal; ++i) {
    const BspFace& face = faces[i];
    glColor3f(colors[i].red, colors[i].green, colors[i].blue);
    glBegin(GL_POLYGON);
    const SurfEdge* walk = Level.surfEdges + face.surfEdgeStart;
    for (int32_t j = 0; j < face.surfEdgeTotal; ++j) {
      // Each edge gives the corner its walk starts from, so the polygon
      // closes without repeating a corner. Zero walks edge 0 from its end.
      const SurfEdge s = walk[j];
      const uint16_t index = s > 0 ? Level.edges[s].startVertex : Level.edges[-s].endVertex;
      const BspVertex& v = Level.vertices[index];
      glVertex3f(v.x, v.z, -v.y);  // map z is up; GL y is up
    }
    glEnd();
  }
}
