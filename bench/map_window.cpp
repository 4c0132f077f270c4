// The yardstick between the bare window and the viewer: the least a program
// can do to show a map the viewer's way. It opens the same window as
// bare_window, then loads MAP with OpenBspFile and LoadLevel, sets the GL
// state, projection and starting view, and presents one DrawLevel frame
// before waiting for the quit request. What the viewer takes beyond this is
// its own doing; what this takes beyond the bare window is the map's and
// llvmpipe's (it compiles its shaders at the first draw).
#include <SDL.h>

#include <cstdio>

#include "bench/gl_window.h"
#include "bsp/bsp_file.h"
#include "bsp/level.h"
#include "platform/gl.h"
#include "view/render.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: map_window MAP\n");
    return 2;
  }
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    fprintf(stderr, "SDL_Init: %s\n", SDL_GetError());
    return 1;
  }
  SDL_GLContext context;
  SDL_Window* window = OpenGlWindow("map window", &context);
  int status = 1;
  if (window == nullptr) {
    // OpenGlWindow has said why.
  } else if (OpenBspFile(argv[1]) != 0) {
    fprintf(stderr, "cannot open %s\n", argv[1]);
  } else if (LoadLevel() == 0) {
    InitGlState();
    PlaceCamera();
    SetupProjection();
    SDL_ShowWindow(window);
    DrawLevel();
    SDL_GL_SwapWindow(window);
    WaitForQuit();
    status = 0;
  }
  FreeLevel();
  CloseGlWindow(window, context);
  SDL_Quit();
  return status;
}
