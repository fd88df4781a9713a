// Keeps the host's floating-point state out of the plug-in's results and the plug-in's out of
// the host: for the length of a host call, the x87 unit computes with its 64-bit significand
// (extended precision) and both units round to nearest, without flushing denormals; on return
// the host's control words are back exactly as they were.
#pragma once

#include <cstdint>

class FpuGuard {
 public:
  FpuGuard();
  ~FpuGuard();
  FpuGuard(const FpuGuard&) = delete;
  FpuGuard& operator=(const FpuGuard&) = delete;

 private:
  uint16_t x87 = 0;
  uint32_t mxcsr = 0;
};
