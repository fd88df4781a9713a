// The test ASIO driver as the suite sees it: its class identifiers, its channels, the signal it
// puts on its inputs and what it records of the host's calls and of its output buffers.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

constexpr long KVTD_FRAMES = 64;     // preferred buffer size
constexpr long KVTD_INPUTS = 24;     // the host uses at most 16
constexpr long KVTD_OUTPUTS = 4;     // output 1 is big-endian, so the host uses 0, 2 and 3
constexpr long KVTD_CAPTURED = 16;   // switches whose output buffers are kept
constexpr long KVTD_MAX_BYTES = 8;   // the widest sample

// Which class: the driver behaves by the second field of its identifier.
enum KVTD_Kind : unsigned short {
  KVTD_GOOD = 1,        // works
  KVTD_FAILING = 2,     // refuses init
  KVTD_LONG = 3,        // works; listed under a long name
  KVTD_MISSING = 4,     // registered with a server file that does not exist
  KVTD_UNREGISTERED = 5 // no class registration at all
};

inline GUID kvtd_clsid(KVTD_Kind kind) {
  GUID g{0x4B565444, kind, static_cast<unsigned short>(sizeof(void*) * 8), {0x80, 0x4B, 0x56, 0x54, 0x44, 0x52, 0x56, 0x00}};
  return g;
}

// The sample type of each channel, as the driver reports it.
inline long kvtd_inputType(long channel) {
  static const long types[] = {16, 17, 18, 19, 2, 20, 24, 27, 32};
  return channel < 9 ? types[channel] : 16;
}
inline long kvtd_outputType(long channel) {
  static const long types[] = {16, 0, 18, 19};
  return types[channel];
}

// The signal on input `channel` in switch `sw`, as a 16-bit value.
inline int16_t kvtd_signal(long sw, long frame, long channel) {
  return static_cast<int16_t>(((sw * KVTD_FRAMES + frame) * 977 + channel * 3001) % 60000 - 30000);
}

struct KVTD_State {
  std::atomic<long> objects{0};  // driver objects alive
  std::atomic<long> badThis{0};  // method calls that did not arrive on a driver object
  std::atomic<long> inits{0}, starts{0}, stops{0}, creates{0}, disposes{0};
  std::atomic<long> switches{0};
  double rate = 0;  // the last sample rate set
  long created[2 * 32][2] = {};  // {isInput, channelNum} of the last createBuffers, in order
  long createdCount = 0, createdSize = 0;
  uint8_t captured[KVTD_CAPTURED][KVTD_OUTPUTS][KVTD_FRAMES * KVTD_MAX_BYTES] = {};
};

using KVTD_StateFunc = KVTD_State* (*)();
