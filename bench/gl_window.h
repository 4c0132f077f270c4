// The window both start-up yardsticks open: 640 x 480 at (0, 0), the
// viewer's pixel format (8/8/8 colour, no alpha, 32-bit depth, no stencil,
// double-buffered), hidden until shown, with its GL context current. Header
// only, so the bare window stays a program of SDL alone.
#pragma once

#include <SDL.h>

#include <cstdio>

// Returns the window with `context` current, or null (with the reason on
// stderr; `context` null or not).
inline SDL_Window* OpenGlWindow(const char* title, SDL_GLContext* context) {
  *context = nullptr;
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 32);
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_Window* window =
      SDL_CreateWindow(title, 0, 0, 640, 480, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (window == nullptr) {
    fprintf(stderr, "SDL_CreateWindow: %s\n", SDL_GetError());
    return nullptr;
  }
  *context = SDL_GL_CreateContext(window);
  if (*context == nullptr) {
    fprintf(stderr, "SDL_GL_CreateContext: %s\n", SDL_GetError());
    SDL_DestroyWindow(window);
    return nullptr;
  }
  return window;
}

// Shows what was presented until the quit request (SIGTERM or the close box).
inline void WaitForQuit() {
  SDL_Event event;
  while (SDL_WaitEvent(&event) && event.type != SDL_QUIT) {
  }
}

inline void CloseGlWindow(SDL_Window* window, SDL_GLContext context) {
  if (context != nullptr) SDL_GL_DeleteContext(context);
  if (window != nullptr) SDL_DestroyWindow(window);
}
