// The product's editor as it shows itself: its widgets made by its own layout, over the artwork
// just drawn, composed by the portable window.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "kvpicture.h"

namespace artgen {

struct EditorView {
  bool multiplierOn = true;
  int hovered = -1;  // the parameter whose control the mouse rests on; -1 for none
};

// The editor at scale 1 in the state `view`, its widgets reading their pictures from `resources`
// (resource name -> encoded bytes); opaque, as a screen shows it. False after a line on standard
// error when the product's editor could not be built.
bool composeEditor(const std::map<std::string, std::vector<uint8_t>>& resources, const EditorView& view,
                   kvpic::Image& out);

}  // namespace artgen
