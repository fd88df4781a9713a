// The picture and frame-strip readers over any bytes: mapping, then every use of what was mapped
// (blending the picture tiled, blending frames, hit-testing), which must stay inside the data.
#include <cstddef>
#include <cstdint>

#include "KV/Pic/Pic.h"
#include "KV/Vid.h"
#include "KV_cfuncs.h"

namespace {

constexpr int32_t DEST = 24;  // destination side; rectangles larger than it are clipped

void usePicture(const uint8_t* data, size_t size, KV_Pic_Base<KV_Pix_A32>& dest) {
  KV_Pic_Base<KV_Pix_A32> pic;
  if (!pic.map(data, size)) return;
  KV_blend_tiled(pic, dest, 0, 0, KV_Rect{0, 0, DEST, DEST});
  KV_blend_tiled(pic, dest, 3, 5, KV_Rect{-7, -2, 2 * DEST, DEST});
}

void useStrip(const uint8_t* data, size_t size, KV_Pic_Base<KV_Pix_A32>& dest) {
  KV_Vid strip;
  if (!strip.map(data, size)) return;
  uint32_t frames = strip.frames < 4 ? strip.frames : 4;
  for (uint32_t f = 0; f <= frames; ++f) {  // one frame past the last, which draws nothing
    strip.blend(f, dest, 0, 0);
    strip.blend(f, dest, -3, 2, KV_Rect{1, 1, DEST + 5, DEST - 1});
    for (int32_t y = -1; y <= 5; y += 3)
      for (int32_t x = -1; x <= 5; x += 3) (void)strip.alphaAt(f, x, y);
  }
}

}  // namespace

// The fatal-error reports of missing resources and bad headers are expected here: not shown.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  KV_set_error_presenter([](const char*, const char*) { return 1; });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  KV_Pic_Base<KV_Pix_A32> dest;
  dest.resize(DEST, DEST);
  usePicture(data, size, dest);
  useStrip(data, size, dest);
  return 0;
}
