// The real-time audio base: the abstract device back end KV_Rts, its operating modes and
// channels, the channel format word and the conversion of one block between two channel formats.
// Back ends (wave devices, ASIO, JACK) derive from KV_Rts and register in KV_Rts_instances.
#pragma once

#include <atomic>
#include <cstdint>

#include "KV/KV.h"
#include "KV_cfuncs.h"

struct KV_Rts {
  // The application's block callback, run on the driver's thread once per block.
  using Callback = void (*)();

  // Channel format word: bits 0-7 stride in bytes, 8-15 significant bits, 16-23 padding bits
  // above them, 24-31 1 for a floating-point sample. Integer containers are signed little-endian
  // with the significant bits in the low bits; the container is (significant + padding) / 8 bytes.
  static constexpr uint32_t format(uint32_t stride, uint32_t bits, uint32_t padding = 0, bool floating = false) {
    return (stride & 0xFFu) | (bits & 0xFFu) << 8 | (padding & 0xFFu) << 16 | (floating ? 1u : 0u) << 24;
  }
  static constexpr uint32_t strideOf(uint32_t f) { return f & 0xFFu; }
  static constexpr uint32_t bitsOf(uint32_t f) { return f >> 8 & 0xFFu; }
  static constexpr uint32_t paddingOf(uint32_t f) { return f >> 16 & 0xFFu; }
  static constexpr bool isFloat(uint32_t f) { return (f >> 24) == 1u; }
  // Bytes of an integer container; 0 for a floating-point sample.
  static constexpr uint32_t containerOf(uint32_t f) { return isFloat(f) ? 0u : (bitsOf(f) + paddingOf(f)) / 8u; }

  // One operating mode. Built with new and linked in `modes`; the item's owner is null, the
  // item is the mode itself.
  struct Mode final : KV_Chain_Item {
    int32_t rate;      // Hz
    int32_t frames;    // frames per block exchanged with the device
    int32_t bits;      // sample resolution
    int32_t channels;
    char text[64];     // " 44.1 kHz, 16 bit, stereo"

    Mode(int32_t rate, int32_t bits, int32_t frames, int32_t channels);
  };

  // One input or output channel over the current device buffer. Built with new and linked in
  // `inputs` or `outputs`; the item's owner is null. A back end may extend it (the ASIO back end
  // adds the driver's channel index): the base releases channels through this type.
  struct Chan : KV_Chain_Item {
    char name[64];
    void* data = nullptr;   // this channel's first sample in the current block
    int32_t length = 0;     // samples per block
    uint32_t format = 0;    // channel format word

    explicit Chan(const char* name = nullptr, uint32_t format = 0, int32_t length = 0);
    virtual ~Chan() = default;
  };

  std::atomic<Mode*> current{nullptr};  // null while closed; driver callbacks test it first
  KV_Chain modes;
  bool running = false;
  char name[64];
  KV_Chain inputs;
  KV_Chain outputs;

  KV_Rts(const KV_Rts&) = delete;
  KV_Rts& operator=(const KV_Rts&) = delete;

  // The seven operations, in slot order. The base behaviour is what each back end builds on.
  virtual KV_error init();              // KV_OK (back ends: find modes and input channels)
  virtual KV_error exit();              // release every mode and channel; a released current mode is forgotten
  virtual KV_error mode(Mode* m);       // current = m (back ends: open and start the device)
  // current = null, then release the output channels. A driver thread that may be inside the
  // block callback at that moment is to be quietened by the back end before this runs.
  virtual KV_error free();
  virtual KV_error start();             // running = set
  virtual KV_error stop();              // running = clear
  virtual KV_error reserved();          // the seventh slot: KV_OK, nothing else, in every back end

  Mode* currentMode() const { return current.load(std::memory_order_acquire); }

  // Converts one block from `src`'s format into `dst`'s. KV_OK, or null when it refuses:
  // channels of different lengths set the refusal latch, and from then on, for the rest of the
  // process, every call is refused. Null channels, a null data pointer for a non-empty block and
  // a format word it cannot read are refused without latching.
  static KV_error copyBuffer(Chan* dst, Chan* src);
  // True once copyBuffer has met channels of different lengths.
  static bool refusing();

  // Walks the members of a chain of modes or channels as T, in chain order.
  template <class T, class F>
  static void walk(const KV_Chain& chain, F&& f) {
    KV_forEachItem(chain, [&](KV_Chain_Item* it) { f(static_cast<T*>(it)); });
  }
  // Unlinks and deletes every mode of `modes`, or every channel of a channel chain.
  void releaseModes();
  static void releaseChans(KV_Chain& chain);

 protected:
  // Only a back end is made; it copies at most 63 characters of `name` (null: empty).
  explicit KV_Rts(const char* name = nullptr);
  // Back ends are never destroyed through the base.
  ~KV_Rts() = default;
};

// Every back-end instance, each registered by its back end's class initialisation through an
// item whose owner is the instance's KV_Rts. Exported.
KV_API extern KV_Chain KV_Rts_instances;

// Library-load initialisation of a real-time chain (KV_Rts_instances, a back end's class chain)
// behind its once-only flag: reaching it again, as a class initialisation does, leaves a chain
// that is set up, and its members, alone.
void KV_Rts_initChain(KV_Chain& chain, bool& ready);
// The load-time set-up of KV_Rts_instances; runs at library load, and again harmlessly.
void KV_Rts_initInstances();
// Appends a back end's instance item to KV_Rts_instances (an item already in a chain stays put).
void KV_Rts_register(KV_Chain_Item* item);
// A back-end instance joins its class chain and KV_Rts_instances, and leaves both again.
void KV_Rts_enrol(KV_Chain& classes, KV_Chain_Item* classItem, KV_Chain_Item* instanceItem);
void KV_Rts_withdraw(KV_Chain& classes, KV_Chain_Item* classItem, KV_Chain_Item* instanceItem);
// A back end's unload: every instance of its class chain is released, leaves the chain and
// KV_Rts_instances, and is deleted (by `destroy`, as only the back end may delete its own).
template <class T, class Release, class Destroy>
void KV_Rts_retireAll(KV_Chain& classes, bool& ready, Release&& release, Destroy&& destroy) {
  KV_Rts_initChain(classes, ready);
  while (!classes.isEnd(classes.first())) {
    T* rts = static_cast<T*>(classes.first()->owner);
    release(rts);
    KV_Rts_withdraw(classes, &rts->classItem, &rts->instanceItem);
    destroy(rts);
  }
}
// The back end behind an item of KV_Rts_instances.
inline KV_Rts* KV_Rts_of(const KV_Chain_Item* item) { return static_cast<KV_Rts*>(item->owner); }
