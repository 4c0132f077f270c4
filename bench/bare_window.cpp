// The floor of the start-up benchmark: the least a program can do to put a
// picture in a window of the viewer's pixel format. It opens a 640 x 480 GL
// window (8/8/8 colour, no alpha, 32-bit depth, no stencil, double-buffered)
// in the viewer's order (context first, then show), presents one cleared
// frame and waits for the quit request (SIGTERM or the close box).
//
// The clear colour is not black so that a watcher of the screen can tell the
// frame from the window's black background.
#include <SDL.h>
#include <SDL_opengl.h>

#include <cstdio>

int main(int, char**) {
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
  SDL_Window* window = SDL_CreateWindow("bare window", 0, 0, 640, 480,
                                        SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (window == nullptr) {
    fprintf(stderr, "SDL_CreateWindow: %s\n", SDL_GetError());
  } else if ((context = SDL_GL_CreateContext(window)) == nullptr) {
    fprintf(stderr, "SDL_GL_CreateContext: %s\n", SDL_GetError());
  } else {
    SDL_ShowWindow(window);
    glClearColor(0.25f, 0.5f, 0.75f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    SDL_GL_SwapWindow(window);
    SDL_Event event;
    while (SDL_WaitEvent(&event) && event.type != SDL_QUIT) {
    }
    status = 0;
  }
  if (context != nullptr) SDL_GL_DeleteContext(context);
  if (window != nullptr) SDL_DestroyWindow(window);
  SDL_Quit();
  return status;
}
