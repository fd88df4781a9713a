#include "artgen/Artwork.h"

#include <cstdio>

#include "artgen/Button.h"
#include "artgen/Captions.h"
#include "artgen/Knob.h"
#include "artgen/Logo.h"
#include "artgen/Palette.h"
#include "artgen/Texture.h"

namespace artgen {

namespace {
constexpr int kKnobFrames = 100;

void drawAtScale(const Fonts& f, int scale, Artwork& art) {
  const std::string x = scale == 1 ? "" : "_2X";
  Pictures& stills = art.stills;
  cutNine(outerFrame(scale), 'A', x, stills);
  cutNine(groupFrame(scale), 'G', x, stills);
  stills["BGND" + x] = panelTexture(kPanel, 11, 0.07f, scale).image();
  stills["GMM" + x] = panelTexture(kPlate, 23, 0.06f, scale).image();
  stills["SITELOGO" + x] = siteLogo(f.bold, f.regular, scale);
  stills["T_MULTIPLIER" + x] = textPicture(80, 24, f.bold, 11, {"Multiplier"}, kCaption, 0.3f, 16.0f, 0, scale);
  stills["S_HIGH" + x] = textPicture(24, 11, f.condensed, 9, {"High"}, kCaption, 0.2f, 8.0f, 0, scale);
  stills["S_LOW" + x] = textPicture(23, 9, f.condensed, 9, {"Low"}, kCaption, 0.2f, 7.0f, 0, scale);
  stills["S_MIDDLE" + x] = textPicture(36, 9, f.condensed, 9, {"Middle"}, kCaption, 0.2f, 7.0f, 0, scale);
  stills["S_MIDDLE_FREQ" + x] =
      textPicture(37, 22, f.condensed, 9, {"Middle", "freq."}, kCaption, 0.2f, 8.0f, 11.0f, scale);
  stills["S_MIDDLE_WIDTH" + x] =
      textPicture(37, 20, f.condensed, 9, {"Middle", "width"}, kCaption, 0.2f, 8.0f, 10.0f, scale);
  std::vector<kvpic::Image>& knob = art.strips["KNOB" + x];
  for (int k = 0; k < kKnobFrames; ++k) knob.push_back(knobFrame(k, kKnobFrames, scale));
  art.strips["BUT" + x] = {buttonFrame(false, f.condensed, scale), buttonFrame(true, f.condensed, scale)};
}
}  // namespace

Artwork drawArtwork(const Fonts& fonts) {
  Artwork art;
  for (int scale = 1; scale <= 2; ++scale) drawAtScale(fonts, scale, art);
  for (auto& [name, img] : art.stills) art.files[name] = kvpic::encodeKVIF(img);
  for (auto& [name, frames] : art.strips) art.files[name] = kvpic::encodeKVVF(frames);
  return art;
}

bool writeArtwork(const Artwork& art, const std::string& out) {
  bool ok = true;
  for (auto& [name, bytes] : art.files) {
    const std::string path = out + "/" + name + (art.strips.count(name) ? ".kvvf" : ".kvif");
    if (bytes.empty() || !kvpic::writeFile(path, bytes)) {
      std::fprintf(stderr, "artgen: cannot write %s\n", path.c_str());
      ok = false;
    }
  }
  return ok;
}

}  // namespace artgen
