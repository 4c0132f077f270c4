// The floor of the start-up benchmark: the least a program can do to put a
// picture in a window of the viewer's pixel format. It opens a 640 x 480 GL
// window (8/8/8 colour, no alpha, 32-bit depth, no stencil, double-buffered)
// in the viewer's order (context first, then show), presents one cleared
// frame and waits for the quit request (SIGTERM or the close box).
//
// The clear colour is not black so that a watcher of the screen can tell the
// frame from the window's black background.
#include <SDL_opengl.h>

#include <cstdio>

#include "bench/gl_window.h"

int main(int, char**) {
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    fprintf(stderr, "SDL_Init: %s\n", SDL_GetError());
    return 1;
  }
  SDL_GLContext context;
  SDL_Window* window = OpenGlWindow("bare window", &context);
  int status = 1;
  if (window != nullptr) {
    SDL_ShowWindow(window);
    glClearColor(0.25f, 0.5f, 0.75f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    SDL_GL_SwapWindow(window);
    WaitForQuit();
    status = 0;
  }
  CloseGlWindow(window, context);
  SDL_Quit();
  return status;
}
