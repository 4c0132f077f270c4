// `mivo --info PATH`: what a mapper wants to know about a map or a pak,
// printed without opening a window.
#pragma once

// Prints what PATH holds. Returns 0 when the map would load (or the pak can
// be read), 1 otherwise, with the message the viewer would show on stderr.
int PrintInfo(const char* path);
