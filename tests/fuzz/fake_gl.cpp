// The GL and GLU entry points the renderer calls, with the system headers'
// own prototypes, drawing nothing. Add an entry point here when the renderer
// starts calling a new one; the link fails until then.
#include "tests/fuzz/fake_gl.h"

#include <bit>
#include <initializer_list>

#include "platform/gl.h"

FakeGlFrame FakeGl = {};

void ResetFakeGl() { FakeGl = {}; }

uint64_t Fold(uint64_t hash, uint64_t value) { return (hash ^ value) * 0x100000001B3ull; }
uint64_t Fold(uint64_t hash, float value) {
  return Fold(hash, uint64_t{std::bit_cast<uint32_t>(value)});
}

namespace {

void Other(uint64_t value) { FakeGl.hash = Fold(Fold(FakeGl.hash, kTagOther), value); }
void Other(double value) { Other(std::bit_cast<uint64_t>(value)); }

}  // namespace

void glClear(GLbitfield mask) { FakeGl.hash = Fold(Fold(FakeGl.hash, kTagClear), uint64_t{mask}); }

void glColor3f(GLfloat red, GLfloat green, GLfloat blue) {
  FakeGl.hash = Fold(Fold(Fold(Fold(FakeGl.hash, kTagColor), red), green), blue);
}

void glBegin(GLenum mode) {
  FakeGl.hash = Fold(Fold(FakeGl.hash, kTagBegin), uint64_t{mode});
  if (FakeGl.openPolygons != 0) ++FakeGl.misnested;
  ++FakeGl.openPolygons;
  ++FakeGl.begins;
}

void glVertex3f(GLfloat x, GLfloat y, GLfloat z) {
  FakeGl.hash = Fold(Fold(Fold(Fold(FakeGl.hash, kTagVertex), x), y), z);
  ++FakeGl.vertices;
}

void glEnd() {
  FakeGl.hash = Fold(FakeGl.hash, kTagEnd);
  if (FakeGl.openPolygons == 0) {
    ++FakeGl.misnested;
  } else {
    --FakeGl.openPolygons;
  }
}

void glEnable(GLenum cap) { Other(uint64_t{cap}); }
void glFrontFace(GLenum mode) { Other(uint64_t{mode}); }
void glPolygonMode(GLenum face, GLenum mode) {
  Other(uint64_t{face});
  Other(uint64_t{mode});
}
void glViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
  for (GLint value : {x, y, width, height}) Other(static_cast<uint64_t>(value));
}
void glMatrixMode(GLenum mode) { Other(uint64_t{mode}); }
void glLoadIdentity() { Other(uint64_t{0}); }
void glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
  for (GLfloat value : {x, y, z}) Other(uint64_t{std::bit_cast<uint32_t>(value)});
}
void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
  for (GLdouble value : {fovy, aspect, zNear, zFar}) Other(value);
}
