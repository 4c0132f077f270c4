// The window's device context, its pixel format and the one OpenGL context.
#pragma once

#include "platform/win32.h"

extern HDC DeviceContext;
extern HGLRC RenderContext;

void SetupPixelFormat(HDC dc);
void CheckPalette(HDC dc);
void ReleaseGlContext();
