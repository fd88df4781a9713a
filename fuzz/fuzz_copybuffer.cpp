// KV_Rts::copyBuffer over any pair of channel formats and any samples. Both channels have the
// same length (a difference would latch the refusal for the rest of the process), and each
// device buffer is as long as its format word says a block of that length is.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "FuzzInput.h"
#include "KV/Rts/Rts.h"

namespace {

// Bytes a block of `length` samples spans in a channel of `format`: the stride between samples,
// and the widest container a format word can name after the last one.
size_t spanOf(uint32_t format, int32_t length) {
  size_t stride = format & 0xFF;
  return stride * static_cast<size_t>(length) + 64;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in{data, size};
  uint32_t dstFormat = in.take<uint32_t>();
  uint32_t srcFormat = in.take<uint32_t>();
  int32_t length = in.take<uint16_t>() % 1025;
  std::vector<uint8_t> src(spanOf(srcFormat, length)), dst(spanOf(dstFormat, length));
  for (uint8_t& b : src) b = in.take<uint8_t>();
  KV_Rts::Chan from(nullptr, srcFormat, length), to(nullptr, dstFormat, length);
  from.data = src.data();
  to.data = dst.data();
  (void)KV_Rts::copyBuffer(&to, &from);
  return 0;
}
