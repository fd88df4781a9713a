#include "KV/Rts/Rts.h"

#include <array>
#include <bit>
#include <cstdio>
#include <cstring>
#include <utility>

static_assert(std::endian::native == std::endian::little, "device buffers are read as little-endian words");

// ---- chains ----

KV_Chain KV_Rts_instances;
static bool instancesReady = false;

void KV_Rts_initChain(KV_Chain& chain, bool& ready) {
  if (ready) return;
  chain.init();
  ready = true;
}

void KV_Rts_initInstances() { KV_Rts_initChain(KV_Rts_instances, instancesReady); }

void KV_Rts_register(KV_Chain_Item* item) {
  KV_Rts_initInstances();
  KV_Rts_instances.insert(item);
}

void KV_Rts_enrol(KV_Chain& classes, KV_Chain_Item* classItem, KV_Chain_Item* instanceItem) {
  classes.insert(classItem);
  KV_Rts_register(instanceItem);
}

void KV_Rts_withdraw(KV_Chain& classes, KV_Chain_Item* classItem, KV_Chain_Item* instanceItem) {
  classes.remove(classItem);
  KV_Rts_instances.remove(instanceItem);
}

namespace {
// Runs when the library is loaded, after KV_Rts_instances is constructed (same file, later).
struct LoadInit {
  LoadInit() { KV_Rts_initInstances(); }
} loadInit;

void copyName(char (&to)[64], const char* from) {
  std::memset(to, 0, sizeof to);
  if (from) std::strncpy(to, from, sizeof to - 1);
}
}  // namespace

// ---- modes and channels ----

KV_Rts::Mode::Mode(int32_t rate_, int32_t bits_, int32_t frames_, int32_t channels_)
    : KV_Chain_Item(nullptr), rate(rate_), frames(frames_), bits(bits_), channels(channels_) {
  static const char* const words[] = {"", "mono", "stereo", "trio", "quadro"};
  // Up to three parts joined by ", ". The channel part hangs on the frame count, as the
  // modes of every back end have one.
  size_t n = 0;
  const char* sep = "";
  auto put = [&](int written) {
    if (written > 0) n += static_cast<size_t>(written);
    if (n >= sizeof text) n = sizeof text - 1;
    sep = ", ";
  };
  text[0] = '\0';
  if (rate != 0) put(std::snprintf(text + n, sizeof text - n, "%5.1f kHz", rate * 0.001));
  if (bits != 0) put(std::snprintf(text + n, sizeof text - n, "%s%d bit", sep, bits));
  if (frames != 0) {
    if (channels >= 0 && channels <= 4)
      put(std::snprintf(text + n, sizeof text - n, "%s%s", sep, words[channels]));
    else
      put(std::snprintf(text + n, sizeof text - n, "%s%d ch", sep, channels));
  }
}

KV_Rts::Chan::Chan(const char* name_, uint32_t format_, int32_t length_)
    : KV_Chain_Item(nullptr), length(length_), format(format_) {
  copyName(name, name_);
}

// ---- the base back end ----

KV_Rts::KV_Rts(const char* name_) { copyName(name, name_); }

void KV_Rts::releaseModes() {
  KV_takeEach(modes, [&](KV_Chain_Item* item) {
    Mode* m = static_cast<Mode*>(item);
    // A current mode released here would be left dangling: it is forgotten with it.
    Mode* expected = m;
    current.compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel);
    delete m;
  });
}

void KV_Rts::releaseChans(KV_Chain& chain) {
  KV_takeEach(chain, [](KV_Chain_Item* item) { delete static_cast<Chan*>(item); });
}

KV_error KV_Rts::init() { return KV_OK; }

KV_error KV_Rts::exit() {
  releaseModes();
  releaseChans(inputs);
  releaseChans(outputs);
  return KV_OK;
}

KV_error KV_Rts::mode(Mode* m) {
  current.store(m, std::memory_order_release);
  return KV_OK;
}

KV_error KV_Rts::free() {
  // The mode goes first: the driver callbacks test it before they touch a channel.
  current.store(nullptr, std::memory_order_release);
  releaseChans(outputs);
  return KV_OK;
}

KV_error KV_Rts::start() {
  running = true;
  return KV_OK;
}

KV_error KV_Rts::stop() {
  running = false;
  return KV_OK;
}

KV_error KV_Rts::reserved() { return KV_OK; }

// ---- copyBuffer ----

namespace {

// Set once channels of different lengths meet; never cleared. Read and set on driver threads.
std::atomic<bool> refusal{false};

// How a channel's samples are stored: integer containers of 1 to 4 bytes, or floats.
enum Kind : int { I8, I16, I24, I32, F32, F64, KINDS };

constexpr bool floating(int k) { return k == F32 || k == F64; }

struct Side {
  uint8_t* p;
  size_t stride;
  int kind;
  uint32_t shift;  // 32 - significant bits, for integers
};

bool decode(const KV_Rts::Chan& c, Side& s) {
  const uint32_t f = c.format;
  s.p = static_cast<uint8_t*>(c.data);
  s.stride = KV_Rts::strideOf(f);
  s.shift = 0;
  const uint32_t bits = KV_Rts::bitsOf(f), kind = f >> 24;
  if (kind == 1) {
    // Floats are 32-bit, except a format of 64 significant bits, which holds doubles.
    s.kind = bits == 64 ? F64 : F32;
    return true;
  }
  if (kind != 0) return false;
  const uint32_t size = KV_Rts::containerOf(f);
  if (size < 1 || size > 4 || bits < 1 || bits > size * 8) return false;
  s.kind = I8 + static_cast<int>(size) - 1;
  s.shift = 32 - bits;
  return true;
}

// The container's bytes as an unsigned word. The significant bits are shifted up to bit 31
// afterwards, so what the container holds above them never matters.
template <int K>
inline uint32_t loadRaw(const uint8_t* p) {
  if constexpr (K == I8) {
    return p[0];
  } else if constexpr (K == I16) {
    uint16_t u;
    std::memcpy(&u, p, sizeof u);
    return u;
  } else if constexpr (K == I24) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16;
  } else {
    uint32_t u;
    std::memcpy(&u, p, sizeof u);
    return u;
  }
}

template <int K>
inline void storeInt(uint8_t* p, int32_t v) {
  const uint32_t u = static_cast<uint32_t>(v);
  if constexpr (K == I8) {
    p[0] = static_cast<uint8_t>(u);
  } else if constexpr (K == I16) {
    const uint16_t h = static_cast<uint16_t>(u);
    std::memcpy(p, &h, sizeof h);
  } else if constexpr (K == I24) {
    p[0] = static_cast<uint8_t>(u);
    p[1] = static_cast<uint8_t>(u >> 8);
    p[2] = static_cast<uint8_t>(u >> 16);
  } else {
    std::memcpy(p, &u, sizeof u);
  }
}

template <int K>
inline double loadFloat(const uint8_t* p) {
  if constexpr (K == F32) {
    float f;
    std::memcpy(&f, p, sizeof f);
    return f;
  } else {
    double d;
    std::memcpy(&d, p, sizeof d);
    return d;
  }
}

template <int K, class T>
inline void storeFloat(uint8_t* p, T x) {
  if constexpr (K == F32) {
    const float f = static_cast<float>(x);
    std::memcpy(p, &f, sizeof f);
  } else {
    const double d = static_cast<double>(x);
    std::memcpy(p, &d, sizeof d);
  }
}

// [-1, 1]; a NaN reads as silence.
template <class T>
inline T unit(T x) {
  if (x > T(1)) return T(1);
  if (x < T(-1)) return T(-1);
  return x == x ? x : T(0);
}

// Full scale of the 32-bit integer v. The products and quotients with it are taken in extended
// precision: a float times 2^31 - 1 is then exact, and every target rounds the same way.
constexpr long double FULL = 2147483647.0L;

template <int S, int D>
void copyLoop(const Side& s, const Side& d, int32_t n) {
  for (int32_t i = 0; i < n; ++i) {
    const uint8_t* sp = s.p + static_cast<size_t>(i) * s.stride;
    uint8_t* dp = d.p + static_cast<size_t>(i) * d.stride;
    if constexpr (floating(S)) {
      const double x = unit(loadFloat<S>(sp));
      if constexpr (floating(D))
        storeFloat<D>(dp, x);
      else
        storeInt<D>(dp, static_cast<int32_t>(x * FULL) >> d.shift);  // |x * FULL| < 2^31
    } else {
      const int32_t v = static_cast<int32_t>(loadRaw<S>(sp) << s.shift);  // full-scale 32 bits
      if constexpr (floating(D))
        storeFloat<D>(dp, unit(v / FULL));
      else
        storeInt<D>(dp, v >> d.shift);
    }
  }
}

using Loop = void (*)(const Side&, const Side&, int32_t);

template <int S, int... D>
constexpr std::array<Loop, KINDS> loopRow(std::integer_sequence<int, D...>) {
  return {&copyLoop<S, D>...};
}
template <int... S>
constexpr std::array<std::array<Loop, KINDS>, KINDS> loopTable(std::integer_sequence<int, S...>) {
  return {loopRow<S>(std::make_integer_sequence<int, KINDS>{})...};
}
// Indexed by source kind, then destination kind.
constexpr auto loops = loopTable(std::make_integer_sequence<int, KINDS>{});

}  // namespace

bool KV_Rts::refusing() { return refusal.load(std::memory_order_relaxed); }

KV_error KV_Rts::copyBuffer(Chan* dst, Chan* src) {
  if (refusal.load(std::memory_order_relaxed)) return nullptr;
  if (!dst || !src) return nullptr;
  if (dst->length != src->length) {
    refusal.store(true, std::memory_order_relaxed);
    return nullptr;
  }
  Side s, d;
  if (!decode(*src, s) || !decode(*dst, d)) return nullptr;
  const int32_t n = src->length;
  if (n <= 0) return KV_OK;
  if (!s.p || !d.p) return nullptr;
  loops[static_cast<size_t>(s.kind)][static_cast<size_t>(d.kind)](s, d, n);
  return KV_OK;
}
