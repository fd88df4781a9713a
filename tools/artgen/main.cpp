// The artwork generator: draws every picture of the editor, writes each as a KVIF or KVVF file
// named like its resource, and writes preview.png, a sheet with the editor as the product composes
// it from these pictures (on, off, a knob under the mouse), every picture and a selection of knob
// frames.
//
//   artgen <output folder> [font folder]
//       the pictures at scale 1 under their resource names, and drawn again at twice the
//       resolution under the same names with the suffix _2X
//   artgen --meter <output folder> [font folder]     the meter demo's two pictures only
//
// Shapes are drawn from signed distances (coverage = 0.5 - distance, clamped), so every edge is
// anti-aliased; captions are drawn with FreeType. Pixels that end up opaque carry alpha 254, as
// the product's pictures do; shadows are black with partial alpha.
#include <cstdio>
#include <string>

#include "KV/Vid.h"
#include "artgen/Artwork.h"
#include "artgen/Meter.h"
#include "artgen/Preview.h"
#include "cli.h"

namespace {
const char* const kFontFolder = "/usr/share/fonts/truetype/dejavu";

const cli::Tool kTool = {"artgen",
                         "usage: artgen OUTPUT-FOLDER [FONT-FOLDER]\n"
                         "       artgen --meter OUTPUT-FOLDER [FONT-FOLDER]\n"
                         "Draws the editor's artwork and writes each picture as a KVIF or KVVF file named like its\n"
                         "resource, with preview.png; --meter draws the meter demo's two pictures only.\n"
                         "  --help, --version\n"};

// A line on the two strips' sizes, which tells at a glance how well the frames share blocks.
void summarize(const artgen::Artwork& art) {
  KV_Vid knob, button;
  const std::vector<uint8_t>& k = art.files.at("KNOB");
  const std::vector<uint8_t>& b = art.files.at("BUT");
  knob.map(k.data(), k.size());
  button.map(b.data(), b.size());
  std::printf("artgen: %zu pictures; KNOB %u frames in %u blocks, BUT %u frames in %u blocks\n", art.files.size(),
              knob.frames, knob.blocks, button.frames, button.blocks);
}

bool writeEditorArt(const std::string& out, const artgen::Fonts& fonts) {
  const artgen::Artwork art = artgen::drawArtwork(fonts);
  bool ok = artgen::writeArtwork(art, out);
  summarize(art);
  return artgen::writePreview(art, fonts.regular, out) && ok;
}
}  // namespace

int main(int argc, char** argv) {
  if (cli::answered(kTool, argc, argv)) return 0;
  const bool meter = argc > 1 && std::string(argv[1]) == "--meter";
  const int first = meter ? 2 : 1;
  if (argc <= first) return cli::wrongUsage(kTool, "no output folder given");
  if (argc > first + 2) return cli::wrongUsage(kTool, "too many arguments");
  for (int i = first; i < argc; ++i)
    if (argv[i][0] == '-') return cli::wrongUsage(kTool, std::string("unknown option ") + argv[i]);
  const std::string out = argv[first];
  artgen::Fonts fonts;
  bool ok = artgen::openFonts(argc > first + 1 ? argv[first + 1] : kFontFolder, fonts);
  if (ok) ok = meter ? artgen::writeMeterArt(out, fonts) : writeEditorArt(out, fonts);
  artgen::closeFonts();
  return ok ? 0 : cli::kFailure;
}
