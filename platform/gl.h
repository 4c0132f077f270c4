// OpenGL 1.1 and GLU, with whatever the platform needs included first.
#pragma once

#include "platform/win32.h"

#include <GL/gl.h>
#include <GL/glu.h>
