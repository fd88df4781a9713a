#include "KV/Effect/Deline.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <new>
#include <utility>

#include "KV/Effect/Lanes.h"

using Group = KV_Effect_Deline_Group;
using Tap = KV_Effect_Deline_Group_Delay;

namespace {

constexpr uint32_t RING_MASK = KV_Effect_Deline::RING - 1;

// Bits 23 ... 54 of the signed 64-bit product, kept to 32 bits.
inline int32_t mul23(int32_t a, int32_t b) { return static_cast<int32_t>((int64_t{a} * b) >> 23); }

// One block of the network. Per group in the table: (delay, amplitude) pairs, the marker,
// the gain, the end of the group's output (0: none) and the feedback.
template <int Mode>
void networkLoop(const int32_t* in, int32_t n, int32_t* ring, uint16_t& position, const KV_word* table,
                 int32_t length) {
  uint32_t p = position;
  const KV_word* end = table + length;
  for (int32_t i = 0; i < n; ++i) {
    uint32_t w = KV_u32(in[i]);
    for (const KV_word* t = table; t < end;) {
      uint32_t sum = 0;
      for (KV_word d = *t++; d != KV_Effect_Deline::MARKER; d = *t++) {
        int32_t amplitude = static_cast<int32_t>(*t++);
        sum += KV_u32(KV_mul31(ring[(p + static_cast<uint32_t>(d) + 1) & RING_MASK], amplitude));
      }
      int32_t gain = static_cast<int32_t>(t[0]);
      int32_t* outEnd = reinterpret_cast<int32_t*>(t[1]);
      int32_t feedback = static_cast<int32_t>(t[2]);
      t += 3;
      int32_t s = static_cast<int32_t>(sum);
      if (outEnd) {
        int32_t* o = outEnd - n + i;
        *o = KV_combine<Mode>(*o, mul23(s, gain));
      }
      w += KV_u32(mul23(s, feedback));
    }
    ring[p] = static_cast<int32_t>(w);
    p = (p - 1) & RING_MASK;
  }
  position = static_cast<uint16_t>(p);
}

// A network of one group with one tap, the table's six entries held in registers.
struct OneTap {
  uint32_t reach;  // the delay plus the one sample every tap adds
  int32_t amplitude, gain, feedback;
  int32_t* out;  // where this block's output starts; null without one

  OneTap(const KV_word* table, int32_t n)
      : reach(static_cast<uint32_t>(table[0]) + 1),
        amplitude(static_cast<int32_t>(table[1])),
        gain(static_cast<int32_t>(table[3])),
        feedback(static_cast<int32_t>(table[5])),
        out(table[4] ? reinterpret_cast<int32_t*>(table[4]) - n : nullptr) {}

  // Samples i ... end - 1 of the block, the ring's next slot p: the steps, and their order, are
  // those of networkLoop.
  template <int Mode>
  void run(const int32_t* in, int32_t i, int32_t end, int32_t* ring, uint32_t& p) const {
    for (; i < end; ++i) {
      uint32_t w = KV_u32(in[i]);
      const int32_t s = KV_mul31(ring[(p + reach) & RING_MASK], amplitude);
      if (out) out[i] = KV_combine<Mode>(out[i], mul23(s, gain));
      w += KV_u32(mul23(s, feedback));
      ring[p] = static_cast<int32_t>(w);
      p = (p - 1) & RING_MASK;
    }
  }
};

template <int Mode>
void oneTapLoop(const int32_t* in, int32_t n, int32_t* ring, uint16_t& position, const KV_word* table, int32_t) {
  uint32_t p = position;
  OneTap(table, n).run<Mode>(in, 0, n, ring, p);
  position = static_cast<uint16_t>(p);
}

#if KV_AVX2_CLONES
// The one-tap block eight samples at a time, for a delay reaching at least a block back: then
// no read waits for a write of the same block, and a write only lands where a later sample
// reads, so eight reads before their eight writes keep the order's results. Eight samples whose
// ring slots wrap round the ring's end go one by one. The output is the input or lies apart
// from it.
template <int Mode>
KV_AVX2 void oneTapLoopAvx2(const int32_t* in, int32_t n, int32_t* ring, uint16_t& position, const KV_word* table,
                            int32_t) {
  const OneTap t(table, n);
  const __m256i a = _mm256_set1_epi32(t.amplitude), g = _mm256_set1_epi32(t.gain);
  const __m256i f = _mm256_set1_epi32(t.feedback);
  uint32_t p = position;
  for (int32_t i = 0; i < n; i += 8) {
    const uint32_t from = (p + t.reach) & RING_MASK;
    if (n - i < 8 || p < 7 || from < 7) {
      t.run<Mode>(in, i, std::min(n, i + 8), ring, p);
      continue;
    }
    const __m256i r = KV_reverse8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(ring + from - 7)));
    const __m256i s = KV_mulShift8<31>(r, a);
    const __m256i w =
        _mm256_add_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i)), KV_mulShift8<23>(s, f));
    if (t.out) {
      __m256i* o = reinterpret_cast<__m256i*>(t.out + i);
      _mm256_storeu_si256(o, KV_combine8<Mode>(_mm256_loadu_si256(o), KV_mulShift8<23>(s, g)));
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(ring + p - 7), KV_reverse8(w));
    p = (p - 8) & RING_MASK;
  }
  position = static_cast<uint16_t>(p);
}
#endif

using NetworkLoop = void (*)(const int32_t*, int32_t, int32_t*, uint16_t&, const KV_word*, int32_t);

constexpr auto networkLoops = KV_loopTable<KV_MODES>([](auto m) -> NetworkLoop { return &networkLoop<m()>; });
constexpr auto oneTapLoops = KV_loopTable<KV_MODES>([](auto m) -> NetworkLoop { return &oneTapLoop<m()>; });
#if KV_AVX2_CLONES
constexpr auto oneTapLoopsAvx2 = KV_loopTable<KV_MODES>([](auto m) -> NetworkLoop { return &oneTapLoopAvx2<m()>; });
#endif

// A table of one group with one tap: delay, amplitude, the marker, gain, output, feedback.
bool isOneTap(const KV_word* table, int32_t length) {
  return length == KV_Effect_Deline::TAP_ENTRIES + KV_Effect_Deline::GROUP_ENTRIES &&
         table[2] == KV_Effect_Deline::MARKER;
}

#if KV_AVX2_CLONES
// Whether the one-tap block may run eight samples at a time: the tap reaches at least a block
// back, and the output is the input or does not overlap it.
bool lanesFit(const KV_word* table, const int32_t* in, int32_t n) {
  if (static_cast<int64_t>(table[0]) + 1 < n) return false;
  if (!table[4]) return true;
  const uintptr_t bytes = sizeof(int32_t) * static_cast<uintptr_t>(n);
  const uintptr_t out = static_cast<uintptr_t>(table[4]) - bytes, from = reinterpret_cast<uintptr_t>(in);
  return out == from || out + bytes <= from || from + bytes <= out;
}
#endif

// The loop for this block's table.
NetworkLoop loopOf(const KV_word* table, int32_t length, [[maybe_unused]] const int32_t* in, [[maybe_unused]] int32_t n,
                   int32_t mode) {
  const size_t m = static_cast<size_t>(mode);
  if (!isOneTap(table, length)) return networkLoops[m];
#if KV_AVX2_CLONES
  if (KV_avx2 && lanesFit(table, in, n)) return oneTapLoopsAvx2[m];
#endif
  return oneTapLoops[m];
}

}  // namespace

KV_Effect_Deline::~KV_Effect_Deline() {
  delete[] ring;
  delete[] table;
}

bool KV_Effect_Deline::allocate() {
  ring = new (std::nothrow) int32_t[RING]();
  table = new (std::nothrow) KV_word[TABLE_CAPACITY]();
  return ring && table;
}

void KV_Effect_Deline::reset() {
  if (ring) std::memset(ring, 0, sizeof(int32_t) * RING);
}

void KV_Effect_Deline::restart() {
  reset();
  ringPosition = 0;
  KV_Effect::restart();
}

int32_t KV_Effect_Deline::delayOf(const Tap& tap) const {
  const float time = tap.time;
  long double d =
      tap.inSamples ? std::trunc(static_cast<long double>(time)) : std::trunc(static_cast<long double>(clock) * time);
  if (!(d >= 0.0L)) return 0;  // negative, or NaN
  if (d > MAX_DELAY) return MAX_DELAY;
  return static_cast<int32_t>(d);
}

void KV_Effect_Deline::prepare() {
  ready = false;
  if (!input || !ring || !table) return;
  int32_t n = KV_lengthOf(input);
  int32_t len = 0;
  for (const auto& g : groups) {
    int64_t needed = int64_t{len} + GROUP_ENTRIES + int64_t{TAP_ENTRIES} * static_cast<int64_t>(g->taps.size());
    if (needed > tableCapacity) return;
    for (const auto& tap : g->taps) {
      tap->tableDelay = len;
      table[len++] = delayOf(*tap);
      tap->tableAmplitude = len;
      table[len++] = tap->amplitude;
    }
    KV_word outEnd = 0;
    if (g->output) {
      int32_t outLength = KV_lengthOf(g->output);
      int32_t* o = view(g->output);
      if (outLength < n) return;  // the last n output samples would start before the array
      if (o && outLength > 0) outEnd = reinterpret_cast<KV_word>(o + outLength);
    }
    table[len++] = MARKER;
    table[len++] = g->gain;
    table[len++] = outEnd;
    table[len++] = g->feedback;
  }
  tableLength = len;
  preparedLength = n;
  ready = true;
}

void KV_Effect_Deline::process() {
  // The table holds this block's output addresses: it is built again before the next one.
  if (!ready) return;
  ready = false;
  const int32_t m = mode;
  if (!input || m < 0 || m >= KV_MODES) return;
  int32_t n = KV_lengthOf(input);
  const int32_t* in = view(input);
  if (n <= 0 || n != preparedLength || !in) return;
  loopOf(table, tableLength, in, n, m)(in, n, ring, ringPosition, table, tableLength);
}

Group* KV_Effect_Deline::addGroup() {
  currentGroup = nullptr;
  if (tableLength + GROUP_ENTRIES > tableCapacity) return nullptr;
  auto* g = new (std::nothrow) Group;
  if (!g) return nullptr;
  groups.emplace_back(g);
  tableLength += GROUP_ENTRIES;
  return currentGroup = g;
}

Tap* KV_Effect_Deline::addTap() {
  if (!currentGroup) return nullptr;
  currentGroup->currentTap = nullptr;
  if (tableLength + TAP_ENTRIES > tableCapacity) return nullptr;
  auto* tap = new (std::nothrow) Tap;
  if (!tap) return nullptr;
  currentGroup->taps.emplace_back(tap);
  tableLength += TAP_ENTRIES;
  return currentGroup->currentTap = tap;
}

void KV_Effect_Deline::clearTaps() {
  if (!currentGroup) return;
  tableLength -= TAP_ENTRIES * static_cast<int32_t>(currentGroup->taps.size());
  currentGroup->taps.clear();
  currentGroup->currentTap = nullptr;
}

bool KV_Effect_Deline::hasGroup(const Group* g) const {
  return std::any_of(groups.begin(), groups.end(), [g](const auto& own) { return own.get() == g; });
}

// ---- options

namespace {

KV_Effect_Deline* D(KV_Object* o) { return static_cast<KV_Effect_Deline*>(o); }

// trunc(v x unit) in extended precision, saturated to 32 bits; NaN gives nothing.
bool scaled(const KV_value& v, long double unit, KV_Shared<int32_t>& out) {
  long double x = static_cast<long double>(v.asNumber()) * unit;
  if (!(x == x)) return false;
  out = KV_truncate32(x);
  return true;
}

KV_value delineI(KV_Object* o, KV_value v) {
  KV_Buffer* b;
  if (KV_liveRef(v, b)) {
    D(o)->input = b;
    D(o)->refer(&D(o)->input);
    D(o)->ready = false;
  }
  return KV_value::ofObject(D(o)->input);
}

// Without a value: a new group. With one: that group, if it is one of this effect's.
KV_value delineG(KV_Object* o, KV_value v) {
  KV_Effect_Deline* e = D(o);
  if (v.type <= KV_NONE) {
    e->addGroup();
    e->ready = false;
  } else if (v.type == KV_OBJECT) {
    auto* g = static_cast<Group*>(v.asPointer());
    if (e->hasGroup(g)) e->currentGroup = g;
  }
  return KV_value::ofObject(e->currentGroup);
}

KV_value delineGo(KV_Object* o, KV_value v) {
  Group* g = D(o)->currentGroup;
  if (!g) return KV_value::ofObject(nullptr);
  KV_Buffer* b;
  if (KV_liveRef(v, b)) {
    g->output = b;
    D(o)->refer(&g->output);
    D(o)->ready = false;
  }
  return KV_value::ofObject(g->output);
}

template <KV_Shared<int32_t> Group::*Field>
KV_value groupLevel(KV_Object* o, KV_value v) {
  Group* g = D(o)->currentGroup;
  if (!g) return KV_value::ofInt(0);
  if (KV_isNumber(v) && scaled(v, 8388607.0L, g->*Field)) D(o)->ready = false;
  return KV_value::ofInt(static_cast<int32_t>(g->*Field));
}

KV_value delineGc(KV_Object* o, KV_value) {
  D(o)->clearTaps();
  D(o)->ready = false;
  return KV_value::none();
}

// Without a value: a new tap in the current group. With one: that tap, if it is the group's.
KV_value delineD(KV_Object* o, KV_value v) {
  KV_Effect_Deline* e = D(o);
  Group* g = e->currentGroup;
  if (!g) return KV_value::ofObject(nullptr);
  if (v.type <= KV_NONE) {
    e->addTap();
    e->ready = false;
  } else if (v.type == KV_OBJECT) {
    auto* tap = static_cast<Tap*>(v.asPointer());
    if (std::any_of(g->taps.begin(), g->taps.end(), [tap](const auto& own) { return own.get() == tap; }))
      g->currentTap = tap;
  }
  return KV_value::ofObject(g->currentTap);
}

Tap* currentTap(KV_Object* o) {
  Group* g = D(o)->currentGroup;
  return g ? g->currentTap : nullptr;
}

// An integer is a number of samples, a float a number of seconds.
KV_value delineDt(KV_Object* o, KV_value v) {
  Tap* tap = currentTap(o);
  if (!tap) return KV_value::ofFloat(0.0f);
  if (KV_isNumber(v)) {
    tap->inSamples = v.type == KV_INT;
    tap->time = static_cast<float>(v.asNumber());
    D(o)->ready = false;
  }
  return KV_value::ofFloat(tap->time);
}

// A query reads as 0: it sets the amplitude to 0.
KV_value delineDa(KV_Object* o, KV_value v) {
  Tap* tap = currentTap(o);
  if (!tap) return KV_value::ofInt(0);
  if (v.type <= KV_NONE) {
    tap->amplitude = 0;
    D(o)->ready = false;
  } else if (KV_isNumber(v) && scaled(v, 2147483647.0L, tap->amplitude)) {
    D(o)->ready = false;
  }
  return KV_value::ofInt(tap->amplitude);
}

KV_Object* createDeline() {
  auto* e = new (std::nothrow) KV_Effect_Deline;
  if (e && !e->allocate()) {
    delete e;
    return nullptr;
  }
  return e;
}

}  // namespace

const KV_option KV_Effect_Deline_options[] = {
    KV_opt_creator(createDeline),
    KV_opt("i", delineI),
    KV_opt("g", delineG),
    KV_opt("go", delineGo),
    KV_opt("ga", groupLevel<&Group::gain>),
    KV_opt("gf", groupLevel<&Group::feedback>),
    KV_opt("gc", delineGc),
    KV_opt("d", delineD),
    KV_opt("dt", delineDt),
    KV_opt("da", delineDa),
    KV_opt("delete", KV_Object_delete),
    KV_opt_end(KV_Effect_options),
};
