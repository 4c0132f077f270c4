// Letters as stb_easy_font makes them: quads of four corners (x, y, z and
// a colour, 16 bytes), a few dozen a character, drawn in one call.
#include "view/text.h"

#include <stb_easy_font.h>

#include <algorithm>

#include "platform/gl.h"

namespace {

constexpr int kPadding = 4;

// The line as the font can draw it.
std::string Printable(const std::string& line) {
  std::string text = line;
  for (char& c : text) {
    if (c < 32 || c > 126) c = '?';
  }
  return text;
}

std::vector<char> Quads;  // the letters' corners, kept between frames

}  // namespace

int TextBoxWidth(const std::vector<std::string>& lines) {
  int width = 0;
  for (const std::string& line : lines) {
    std::string text = Printable(line);
    width = std::max(width, stb_easy_font_width(text.data()));
  }
  return width + 2 * kPadding;
}

int TextBoxHeight(const std::vector<std::string>& lines) {
  return int(lines.size()) * kTextLineHeight + 2 * kPadding - 3;
}

void DrawTextBox(const std::vector<std::string>& lines, int x, int y, int width) {
  if (lines.empty()) return;
  width = std::max(width, TextBoxWidth(lines));
  const int height = TextBoxHeight(lines);
  glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_COLOR_BUFFER_BIT | GL_POLYGON_BIT |
               GL_TRANSFORM_BIT);
  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, 640, 480, 0, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_CULL_FACE);
  glDisable(GL_TEXTURE_2D);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glColor4f(0.0f, 0.0f, 0.0f, 0.75f);
  glRecti(x, y, x + width, y + height);
  glDisable(GL_BLEND);

  size_t used = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string text = Printable(lines[i]);
    // About 270 bytes a character, as the font's notes say; twice that to spare.
    Quads.resize(used + 600 * (text.size() + 1));
    const int quads = stb_easy_font_print(float(x + kPadding), float(y + kPadding + int(i) * kTextLineHeight),
                                          text.data(), nullptr, Quads.data() + used,
                                          int(Quads.size() - used));
    used += size_t(quads) * 64;
  }
  glColor3f(0.95f, 0.95f, 0.85f);
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(2, GL_FLOAT, 16, Quads.data());
  glDrawArrays(GL_QUADS, 0, GLsizei(used / 16));

  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glPopClientAttrib();
  glPopAttrib();
}
