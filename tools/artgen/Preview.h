// The preview: the editor as the product composes it (on, off, with a knob under the mouse),
// enlarged and at its own size, and a sheet of every picture and a selection of knob frames.
#pragma once

#include <string>

#include "artgen/Artwork.h"

namespace artgen {

// Writes preview.png (the sheet), panel.png and panel-4x.png (the editor at its own size and
// enlarged four times) into the folder `out`; false after a line on standard error.
bool writePreview(const Artwork& art, const Font& label, const std::string& out);

}  // namespace artgen
