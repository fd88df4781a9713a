// The audio path of the application: a host block in, through the pipe in runs of at most
// blockLength samples, out to both channels.
#include <cstring>

#include "KV/Effect/Soundpipe.h"
#include "KV/Spcpp.h"
#include "app/KV_Application.h"

void KV_Application::runBlock(float** inputs, float** outputs, int32_t count) {
  KV_Soundpipe* pipe = static_cast<KV_Soundpipe*>(graph[PIPE]);
  KV_Buffer* in = static_cast<KV_Buffer*>(graph[BUF_I]);
  KV_Buffer* out = static_cast<KV_Buffer*>(graph[BUF_O]);
  if (!pipe || !in || !out || !inputs || !outputs || !inputs[0] || !outputs[0] || count <= 0) return;
  if (resetPending.load(std::memory_order_relaxed) && resetPending.exchange(false, std::memory_order_acquire))
    pipe->restart();
  const float* x = inputs[0];
  float* left = outputs[0];
  float* right = outputs[1];
  for (int32_t pos = 0; pos < count;) {
    int32_t n = count - pos < blockLength ? count - pos : blockLength;
    if (n > in->count || n > out->count) return;  // the buffers were never sized: nothing to run
    KV_samplesOf(x + pos, in->main, n);
    // The block length goes through the pipe's option, as the interpreter would set it; the
    // option is looked up once.
    static const auto setBlockLength = KV_findOption(KV_Soundpipe_options, "bl");
    setBlockLength(pipe, KV_value::ofInt(n));
    pipe->process();
    const int32_t* y = out->main;
    for (int32_t i = 0; i < n; ++i) left[pos + i] = KV_floatOf(y[i]);
    if (right)
      for (int32_t i = 0; i < n; ++i) right[pos + i] = KV_floatOf(y[i]);
    pos += n;
  }
}
