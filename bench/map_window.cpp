// The yardstick between the bare window and the viewer: the least a program
// can do to show a map the viewer's way. It opens the same window as
// bare_window, then loads MAP with OpenBspFile and LoadLevel, sets the GL
// state, projection and starting view, and presents one DrawLevel frame
// before waiting for the quit request. What the viewer takes beyond this is
// its own doing; what this takes beyond the bare window is the map's and
// llvmpipe's (it compiles its shaders at the first draw).
#include <SDL.h>

#include <cstdio>

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
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 32);
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  int status = 1;
  SDL_GLContext context = nullptr;
  SDL_Window* window = SDL_CreateWindow("map window", 0, 0, 640, 480,
                                        SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (window == nullptr) {
    fprintf(stderr, "SDL_CreateWindow: %s\n", SDL_GetError());
  } else if ((context = SDL_GL_CreateContext(window)) == nullptr) {
    fprintf(stderr, "SDL_GL_CreateContext: %s\n", SDL_GetError());
  } else if (OpenBspFile(argv[1]) != 0) {
    fprintf(stderr, "cannot open %s\n", argv[1]);
  } else if (LoadLevel() == 0) {
    InitGlState();
    PlaceCamera();
    SetupProjection();
    SDL_ShowWindow(window);
    DrawLevel();
    SDL_GL_SwapWindow(window);
    SDL_Event event;
    while (SDL_WaitEvent(&event) && event.type != SDL_QUIT) {
    }
    status = 0;
  }
  FreeLevel();
  if (context != nullptr) SDL_GL_DeleteContext(context);
  if (window != nullptr) SDL_DestroyWindow(window);
  SDL_Quit();
  return status;
}
