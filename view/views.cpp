#include "view/views.h"

#include <cstring>

ViewMode View = {kFlatView, false};

int ParseViewName(const char* name, ViewMode* mode) {
  const struct {
    const char* name;
    ViewMode mode;
  } kNames[] = {{"flat", {kFlatView, false}},   {"lit", {kLitView, false}},
                {"light", {kLightOnlyView, false}}, {"texels", {kFlatView, true}},
                {"game", {kLitView, true}}};
  for (const auto& known : kNames) {
    if (strcmp(name, known.name) == 0) {
      *mode = known.mode;
      return 0;
    }
  }
  return 1;
}

bool IsFlatView() { return View.light == kFlatView && !View.textures; }
