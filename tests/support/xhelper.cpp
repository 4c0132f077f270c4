// What the test support asks of the X server that no installed tool does.
//
//   mivo_xhelper close WINDOW   sends WM_DELETE_WINDOW, as a window manager's close box
//   mivo_xhelper numlock on|off locks or unlocks Num Lock
//
// DISPLAY names the server. Exits 0 when done, 1 otherwise.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int Close(Display* display, const char* windowId) {
  char* end = nullptr;
  unsigned long window = strtoul(windowId, &end, 0);
  if (end == windowId || *end != '\0' || window == 0) {
    fprintf(stderr, "not a window id: %s\n", windowId);
    return 1;
  }
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  if (XSendEvent(display, window, False, NoEventMask, &event) == 0) {
    fprintf(stderr, "cannot send to window %s\n", windowId);
    return 1;
  }
  XSync(display, False);
  return 0;
}

int NumLock(Display* display, bool on) {
  unsigned int mask = XkbKeysymToModifiers(display, XK_Num_Lock);
  if (mask == 0) {
    fprintf(stderr, "no modifier carries Num Lock\n");
    return 1;
  }
  if (!XkbLockModifiers(display, XkbUseCoreKbd, mask, on ? mask : 0)) {
    fprintf(stderr, "cannot lock Num Lock\n");
    return 1;
  }
  XSync(display, False);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  bool close = argc == 3 && strcmp(argv[1], "close") == 0;
  bool numLock = argc == 3 && strcmp(argv[1], "numlock") == 0 &&
                 (strcmp(argv[2], "on") == 0 || strcmp(argv[2], "off") == 0);
  if (!close && !numLock) {
    fprintf(stderr, "usage: mivo_xhelper close WINDOW | numlock on|off\n");
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    fprintf(stderr, "cannot open display %s\n", XDisplayName(nullptr));
    return 1;
  }
  int status = close ? Close(display, argv[2]) : NumLock(display, strcmp(argv[2], "on") == 0);
  XCloseDisplay(display);
  return status;
}
