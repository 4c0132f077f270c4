// The one place the SDL stand-in speaks to Xlib itself: an error handler
// for a harmless race inside SDL.
#ifndef _WIN32

#include <X11/Xlib.h>
#include <X11/Xproto.h>

// Xlib's headers and the Win32 stand-ins both name a BOOL, so this file
// declares its one function itself instead of including them.
void IgnoreLateWakeUps();

namespace {

XErrorHandler NextHandler = nullptr;
bool Installed = false;

// While SDL waits for events it wakes itself by sending an event to the
// window over a second connection. When that window is destroyed before the
// X server has delivered the wake-up, the server answers BadWindow to the
// send, and Xlib's default handler would end the program as SDL closes the
// connection. Nothing was lost: nobody waits on that window any more.
int OnXError(Display* display, XErrorEvent* error) {
  if (error->error_code == BadWindow && error->request_code == X_SendEvent) return 0;
  return NextHandler != nullptr ? NextHandler(display, error) : 0;
}

}  // namespace

void IgnoreLateWakeUps() {
  if (Installed) return;
  NextHandler = XSetErrorHandler(OnXError);
  Installed = true;
}

#endif  // _WIN32
