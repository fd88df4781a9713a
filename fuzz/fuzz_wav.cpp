// The tools' WAV reader over any bytes: it either reads samples that lie inside the file or
// refuses with a reason.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "wav.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Wav wav;
  std::string error;
  if (wavParse(data, size, "input", wav, error)) {
    if (wav.channels <= 0 || wav.rate <= 0 || wav.samples.size() % static_cast<size_t>(wav.channels)) std::abort();
  } else if (error.empty()) {
    std::abort();  // a refusal always says why
  }
  return 0;
}
