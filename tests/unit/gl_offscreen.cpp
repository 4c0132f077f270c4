// Everything in the tests that makes a GL context straight from SDL.
#include "tests/unit/gl_offscreen.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>

#include "platform/gl.h"

namespace {

SDL_Window* window = nullptr;
SDL_GLContext context = nullptr;

}  // namespace

int OpenGlContext(int width, int height) {
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  if (SDL_WasInit(SDL_INIT_VIDEO) == 0) {
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
      fprintf(stderr, "SDL_Init: %s\n", SDL_GetError());
      return 1;
    }
    // Keep the GL library loaded until the process ends: unloading Mesa's
    // driver would hide its leftovers from the leak checker's suppressions.
    if (SDL_GL_LoadLibrary(nullptr) != 0) {
      fprintf(stderr, "SDL_GL_LoadLibrary: %s\n", SDL_GetError());
      return 1;
    }
  }
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
  for (int depth : {32, 24, 16}) {
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depth);
    window = SDL_CreateWindow("offscreen", 0, 0, width, height, SDL_WINDOW_OPENGL);
    if (window != nullptr) break;
  }
  if (window == nullptr) {
    fprintf(stderr, "SDL_CreateWindow: %s\n", SDL_GetError());
    return 1;
  }
  context = SDL_GL_CreateContext(window);
  if (context == nullptr) {
    fprintf(stderr, "SDL_GL_CreateContext: %s\n", SDL_GetError());
    return 1;
  }
  SDL_GL_MakeCurrent(window, context);
  return 0;
}

void CloseGlContext() {
  if (context != nullptr) SDL_GL_DeleteContext(context);
  if (window != nullptr) SDL_DestroyWindow(window);
  context = nullptr;
  window = nullptr;
}

Rgb ReadPixel(int x, int y) {
  glFinish();
  uint8_t rgb[4] = {};
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
  return {rgb[0], rgb[1], rgb[2]};
}

std::vector<uint8_t> ReadFrame(int width, int height) {
  glFinish();
  std::vector<uint8_t> frame(static_cast<size_t>(width) * height * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, frame.data());
  return frame;
}
