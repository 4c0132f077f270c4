// What is drawn over the view when asked, and only then: the numbers line
// at the bottom (I), the entity markers (E), and what a click picked,
// outlined, with its panel at the top left. With none of them on, a frame
// is exactly what it was without them.
#pragma once

#include <string>
#include <vector>

#include "view/cull.h"
#include "view/pick.h"

struct InspectState {
  bool numbers;  // the numbers line
  bool markers;  // the entity markers
  Pick pick;     // what the last click picked; kind kNothingPicked: none
  // The window's client area. The picture fills 640 x 480 from its lower
  // left, so a smaller area shows its lower-left part: the panel goes at
  // the top of what shows.
  int clientWidth = 640, clientHeight = 480;
};

extern InspectState Inspect;

// How long the last frame took to draw and show, for the numbers line,
// which shows the average of the last 16.
void NoteFrameTime(double milliseconds);

// The camera as `X Y Z yaw pitch`, what --pos takes: map units and
// degrees, two places after the point, single spaces.
std::string PositionText();

// The numbers line: the frame time, the world's faces the frame drew of
// all (`list`, or every world face when it is null), the camera's leaf,
// the leaves drawn (all, unless the tree culled), and the camera's
// position: "1.25 ms  faces 328/53092  leaf 17 empty  leaves 57  at X Y Z
// YAW PITCH".
std::string NumbersLine(const DrawList* list);

// What the panel lists for `pick`: a face's record, owner, texture, plane,
// light and leaf, or a marker's entity's keys and values.
std::vector<std::string> PanelLines(const Pick& pick);

// After the level was loaded anew: the pick stays while the face (or the
// point entity) it names still exists; else it is cleared.
void KeepPickIfStillThere();

// Draws what is on: markers and the pick's outline in the view, depth
// tested, then the panel and the numbers line over everything. `list` is
// what the frame drew (null for the flat loop, which draws every world
// face). Leaves GL's state as it found it.
void DrawInspection(const DrawList* list);
