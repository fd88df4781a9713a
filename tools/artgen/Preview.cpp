#include "artgen/Preview.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "KV/Vid.h"
#include "artgen/Editor.h"

namespace artgen {

namespace {
// Copies a picture onto the sheet at (x, y), each pixel as a scale x scale square, over a
// checkerboard that shows transparency.
void place(kvpic::Image& sheet, const kvpic::Image& img, int x, int y, int scale, bool checker) {
  for (int j = 0; j < img.height * scale; ++j)
    for (int i = 0; i < img.width * scale; ++i) {
      const int sx = x + i, sy = y + j;
      if (sx < 0 || sy < 0 || sx >= sheet.width || sy >= sheet.height) continue;
      const uint8_t* p = img.at(i / scale, j / scale);
      uint8_t* o = sheet.at(sx, sy);
      const int bg = checker ? (((i / 6) + (j / 6)) % 2 ? 150 : 110) : o[0];
      const float a = p[3] / 255.0f;
      for (int k = 0; k < 3; ++k) o[k] = static_cast<uint8_t>(std::lround(p[k] * a + (checker ? bg : o[k]) * (1 - a)));
      o[3] = 255;
    }
}

// A frame as stored, alpha included, read through the strip's own cell addressing.
kvpic::Image decodeFrame(const std::vector<uint8_t>& strip, uint32_t f) {
  KV_Vid v;
  if (!v.map(strip.data(), strip.size())) return kvpic::Image();
  kvpic::Image img(static_cast<int>(v.width), static_cast<int>(v.height));
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) {
      const uint32_t n = v.blockAt(f, static_cast<uint32_t>(y) / 4, static_cast<uint32_t>(x) / 4);
      std::memcpy(img.at(x, y), v.block + 64 * n + 16 * (y % 4) + 4 * (x % 4), 4);
    }
  return img;
}

bool isScale2(const std::string& name) { return name.size() > 3 && name.compare(name.size() - 3, 3, "_2X") == 0; }

bool writePng(const std::string& path, const kvpic::Image& img) {
  if (kvpic::writeFile(path, kvpic::encodePNG(img))) return true;
  std::fprintf(stderr, "artgen: cannot write %s\n", path.c_str());
  return false;
}

struct Sheet {
  kvpic::Image picture{1060, 960};
  Canvas labels{1060, 960};
  const Font& font;

  explicit Sheet(const Font& f) : font(f) {
    for (size_t i = 0; i < picture.bgra.size(); i += 4) {
      picture.bgra[i] = 30, picture.bgra[i + 1] = 28, picture.bgra[i + 2] = 26, picture.bgra[i + 3] = 255;
    }
  }
  void note(const std::string& s, int x, int y) {
    drawText(&labels, font, 11, s, static_cast<float>(x), static_cast<float>(y), rgb(200, 200, 200));
  }
  // The labels go on last, over everything.
  const kvpic::Image& finished() {
    place(picture, labels.image(), 0, 0, 1, false);
    return picture;
  }
};

// The editor on, off and with the mouse on the 2-x knob, twice its size; on also at its own size.
bool placeEditors(Sheet& sheet, const Artwork& art, const std::string& out) {
  const EditorView views[3] = {{true, -1}, {false, -1}, {true, 2}};
  const char* titles[3] = {"default (2x)", "multiplier off (2x)", "hover on 2-x knob (2x)"};
  bool ok = true;
  for (int k = 0; k < 3; ++k) {
    kvpic::Image panel;
    if (!composeEditor(art.files, views[k], panel)) return false;
    place(sheet.picture, panel, 20 + k * 360, 30, 2, false);
    sheet.note(titles[k], 20 + k * 360, 22);
    if (k != 0) continue;
    place(sheet.picture, panel, 20, 530, 1, false);
    sheet.note("1x", 20, 522);
    kvpic::Image zoom(panel.width * 4, panel.height * 4);
    place(zoom, panel, 0, 0, 4, false);
    ok = writePng(out + "/panel.png", panel) && ok;
    ok = writePng(out + "/panel-4x.png", zoom) && ok;
  }
  return ok;
}

// Every picture at scale 1 over a checkerboard, twice its size but for the two textures, then
// both button frames and every eleventh knob frame.
void placePictures(Sheet& sheet, const Artwork& art) {
  int x = 220, y = 530;
  sheet.note("pictures (2x, over a checkerboard)", x, y - 8);
  for (auto& [name, img] : art.stills) {
    if (img.width == 128 || isScale2(name)) continue;
    if (x + img.width * 2 > 1040) {
      x = 220;
      y += 76;
    }
    place(sheet.picture, img, x, y, 2, true);
    sheet.note(name, x, y + img.height * 2 + 12);
    x += std::max(img.width * 2, 56) + 14;
  }
  y += 76;
  x = 220;
  for (const char* name : {"BGND", "GMM"}) {
    place(sheet.picture, art.stills.at(name), x, y, 1, true);
    sheet.note(name, x, y + 140);
    x += 142;
  }
  for (uint32_t f = 0; f < 2; ++f) {
    place(sheet.picture, decodeFrame(art.files.at("BUT"), f), x, y + f * 56, 2, true);
    sheet.note(f ? "BUT on" : "BUT off", x + 86, y + 30 + f * 56);
  }
  x += 160;
  for (int i = 0; i < 10; ++i) {
    const uint32_t f = static_cast<uint32_t>(i * 11);
    place(sheet.picture, decodeFrame(art.files.at("KNOB"), f), x + (i % 5) * 72, y + (i / 5) * 80, 2, true);
    sheet.note("KNOB " + std::to_string(f), x + (i % 5) * 72, y + (i / 5) * 80 + 76);
  }
}
}  // namespace

bool writePreview(const Artwork& art, const Font& label, const std::string& out) {
  Sheet sheet(label);
  bool ok = placeEditors(sheet, art, out);
  placePictures(sheet, art);
  return writePng(out + "/preview.png", sheet.finished()) && ok;
}

}  // namespace artgen
