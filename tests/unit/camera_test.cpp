// Key commands against a real GL context and a real window of the window
// layer (SDL's offscreen driver): where the eye goes, what is ignored, and
// which commands ask for a repaint.
#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "app/gl_context.h"
#include "platform/gl.h"
#include "view/camera.h"
#include "view/render.h"

namespace {

int paints = 0;

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      DeviceContext = GetDC(window);
      SetupPixelFormat(DeviceContext);
      RenderContext = wglCreateContext(DeviceContext);
      wglMakeCurrent(DeviceContext, RenderContext);
      InitGlState();
      return 0;
    case WM_SIZE:
      SetupProjection();
      return 0;
    case WM_PAINT:
      ++paints;
      ValidateRect(window, nullptr);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

struct Point {
  double x, y, z;
};

// The eye in map coordinates: the modelview matrix is [R | t], the eye in
// GL coordinates is -R^T t, and GL (x, y, z) is map (x, -z, y).
Point Eye() {
  GLfloat m[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, m);
  double gl[3];
  for (int i = 0; i < 3; ++i) {
    gl[i] = -(m[4 * i + 0] * m[12] + m[4 * i + 1] * m[13] + m[4 * i + 2] * m[14]);
  }
  return {gl[0], -gl[2], gl[1]};
}

std::array<GLfloat, 16> Modelview() {
  std::array<GLfloat, 16> m;
  glGetFloatv(GL_MODELVIEW_MATRIX, m.data());
  return m;
}

GLint PolygonMode() {
  GLint modes[2];
  glGetIntegerv(GL_POLYGON_MODE, modes);
  return modes[0];
}

class Camera : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = TestWindowProc;
    windowClass.lpszClassName = "CameraTest";
    ASSERT_NE(RegisterClassA(&windowClass), 0);
    window = CreateWindowExA(0, "CameraTest", "camera", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480,
                             nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
  }

  void SetUp() override {
    ASSERT_NE(window, nullptr);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    PlaceCamera();
    glPolygonMode(GL_FRONT, GL_FILL);
    UpdateWindow(window);
    paints = 0;
  }

  // Runs one key and reports whether it asked for a repaint.
  static bool Key(int character) {
    paints = 0;
    OnKey(window, character);
    UpdateWindow(window);  // paints at once only if something is invalid
    return paints > 0;
  }

  static HWND window;
};

HWND Camera::window = nullptr;

void ExpectEye(Point expected, double tolerance = 1e-3) {
  Point eye = Eye();
  EXPECT_NEAR(eye.x, expected.x, tolerance);
  EXPECT_NEAR(eye.y, expected.y, tolerance);
  EXPECT_NEAR(eye.z, expected.z, tolerance);
}

void ExpectSameMatrix(const std::array<GLfloat, 16>& a, const std::array<GLfloat, 16>& b) {
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(a[i], b[i], 1e-3) << "element " << i;
}

}  // namespace

TEST_F(Camera, StartsAtTheStartingView) { ExpectEye({544, 288, 32}); }

TEST_F(Camera, EachMoveGoesTwentyUnitsAlongTheEyesAxes) {
  struct Case {
    int character;
    Point eye;
  };
  const Case cases[] = {{'8', {544, 308, 32}}, {'2', {544, 268, 32}}, {'1', {564, 288, 32}},
                        {'3', {524, 288, 32}}, {'+', {544, 288, 52}}, {'.', {544, 288, 52}},
                        {'-', {544, 288, 12}}, {'0', {544, 288, 12}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<char>(c.character));
    glLoadIdentity();
    PlaceCamera();
    EXPECT_TRUE(Key(c.character));
    ExpectEye(c.eye);
  }
}

TEST_F(Camera, TurnThenForwardFollowsTheNewHeading) {
  EXPECT_TRUE(Key('4'));
  ExpectEye({544, 288, 32});  // a turn leaves the eye where it is
  Key('8');
  // 20 units along a heading 10 degrees left of +y.
  ExpectEye({544 - 20 * std::sin(M_PI / 18), 288 + 20 * std::cos(M_PI / 18), 32});
  ExpectEye({540.53, 307.70, 32}, 0.01);
}

TEST_F(Camera, InversePairsAndAFullCircleGiveBackTheView) {
  const auto start = Modelview();
  for (int i = 0; i < 36; ++i) Key('4');
  ExpectSameMatrix(Modelview(), start);
  const char pairs[][2] = {{'4', '6'}, {'8', '2'}, {'1', '3'}, {'+', '-'}};
  for (const auto& pair : pairs) {
    SCOPED_TRACE(testing::Message() << pair[0] << " then " << pair[1]);
    const auto before = Modelview();
    Key(pair[0]);
    Key(pair[1]);
    ExpectSameMatrix(Modelview(), before);
  }
}

TEST_F(Camera, WireframeAndFilledKeys) {
  const auto start = Modelview();
  for (int wire : {'7', 'W', 'w'}) {
    glPolygonMode(GL_FRONT, GL_FILL);
    EXPECT_TRUE(Key(wire));
    EXPECT_EQ(PolygonMode(), GL_LINE) << static_cast<char>(wire);
    EXPECT_TRUE(Key(wire));  // already set: set again, repaint again
  }
  for (int fill : {'9', 'F', 'f'}) {
    glPolygonMode(GL_FRONT, GL_LINE);
    EXPECT_TRUE(Key(fill));
    EXPECT_EQ(PolygonMode(), GL_FILL) << static_cast<char>(fill);
  }
  EXPECT_EQ(Modelview(), start);  // the drawing mode never moves the camera
}

TEST_F(Camera, CharactersWithoutACommandDoNothing) {
  std::vector<int> ignored = {'5', 8, 13, ' ', 'X', 0, 26, 'a', 'A', 'z', 'Z', '*', '/'};
  for (int c = 'W' + 1; c < 512; ++c) {
    if (c != 'w' && c != 'f') ignored.push_back(c);
  }
  ignored.push_back(-1);
  ignored.push_back(0x10000 + '8');  // not a character the table knows
  glPolygonMode(GL_FRONT, GL_LINE);
  const auto start = Modelview();
  for (int c : ignored) {
    SCOPED_TRACE(c);
    EXPECT_FALSE(Key(c));
    ASSERT_EQ(Modelview(), start);
    ASSERT_EQ(PolygonMode(), GL_LINE);
  }
}

TEST_F(Camera, ResizeLeavesTheCameraAndTheViewport) {
  Key('8');
  Key('4');
  const auto before = Modelview();
  TestWindowProc(window, WM_SIZE, 0, (600 << 16) | 800);
  ExpectSameMatrix(Modelview(), before);
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2], 640);
  EXPECT_EQ(viewport[3], 480);
  GLint mode;
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  EXPECT_EQ(mode, GL_MODELVIEW);
}
