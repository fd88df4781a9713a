#include "vst/FpuGuard.h"

#if defined(__i386__) || defined(__x86_64__)
namespace {

constexpr uint16_t kPrecisionMask = 0x0300, kPrecision64 = 0x0300, kRoundingMask = 0x0C00;
constexpr uint32_t kSseRoundingMask = 0x6000, kFlushToZero = 0x8000, kDenormalsAreZero = 0x0040;

uint16_t readX87() {
  uint16_t cw;
  __asm__ volatile("fnstcw %0" : "=m"(cw));
  return cw;
}
void writeX87(uint16_t cw) { __asm__ volatile("fldcw %0" : : "m"(cw)); }

#if defined(__SSE__) || defined(__x86_64__)
uint32_t readMxcsr() {
  uint32_t v;
  __asm__ volatile("stmxcsr %0" : "=m"(v));
  return v;
}
void writeMxcsr(uint32_t v) { __asm__ volatile("ldmxcsr %0" : : "m"(v)); }
#define KV_HAVE_SSE 1
#endif

}  // namespace

FpuGuard::FpuGuard() {
  x87 = readX87();
  uint16_t mine = static_cast<uint16_t>((x87 & ~(kPrecisionMask | kRoundingMask)) | kPrecision64);
  if (mine != x87) writeX87(mine);
#if defined(KV_HAVE_SSE)
  mxcsr = readMxcsr();
  uint32_t sse = mxcsr & ~(kSseRoundingMask | kFlushToZero | kDenormalsAreZero);
  if (sse != mxcsr) writeMxcsr(sse);
#endif
}

FpuGuard::~FpuGuard() {
  if (readX87() != x87) writeX87(x87);
#if defined(KV_HAVE_SSE)
  if (readMxcsr() != mxcsr) writeMxcsr(mxcsr);
#endif
}
#else
FpuGuard::FpuGuard() {}
FpuGuard::~FpuGuard() {}
#endif
