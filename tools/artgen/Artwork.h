// The editor's artwork: every picture at scale 1 and, under its name with the suffix _2X, drawn
// again at scale 2; encoded as the resources the product embeds.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "artgen/Frames.h"
#include "artgen/Text.h"

namespace artgen {

struct Artwork {
  Pictures stills;                                          // KVIF pictures
  std::map<std::string, std::vector<kvpic::Image>> strips;  // KVVF frame strips
  std::map<std::string, std::vector<uint8_t>> files;        // resource name -> encoded bytes
};

Artwork drawArtwork(const Fonts& fonts);

// Writes every resource into the folder `out` as NAME.kvif or NAME.kvvf; false after a line on
// standard error for each that could not be written.
bool writeArtwork(const Artwork& art, const std::string& out);

}  // namespace artgen
