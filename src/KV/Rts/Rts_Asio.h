// The ASIO back end: one instance per installed ASIO driver, blocks of the driver's preferred
// size exchanged through its double buffers.
#pragma once

#include <atomic>
#include <cstdint>

#include "KV/Rts/Asio.h"
#include "KV/Rts/Rts.h"

struct KV_Rts_Asio final : KV_Rts {
  static constexpr long MAX_CHANNELS = 16;  // per direction

  // A channel of the driver: its index among the driver's channels of that direction.
  struct Chan : KV_Rts::Chan {
    long index;
    Chan(const char* name, uint32_t format, int32_t length, long index_)
        : KV_Rts::Chan(name, format, length), index(index_) {}
  };

  long inputCount = 0, outputCount = 0;  // usable channels
  long driverOutputs = 0;                // the driver's outputs, at most 16, as init found them
  long minSize = 0, maxSize = 0, preferredSize = 0, granularity = 0;
  ASIOBufferInfo infos[2 * MAX_CHANNELS] = {};  // inputs first, then outputs, in chain order
  ASIOCallbacks callbacks = {};
  bool buffersCreated = false;
  KV_Chain_Item classItem{this};
  KV_Chain_Item instanceItem{this};

  static KV_Chain classes;
  static Callback callback;
  static std::atomic<KV_Rts_Asio*> active;  // the back end the buffer switch serves
  // The system handle given to the driver's init (a program may set its main window).
  static void* sysHandle;

  // Stores the callback, builds the driver list and registers one instance per listed driver.
  static KV_error classInit(Callback cb);
  // Closes and deletes every instance and the driver list (leaving COM): the program's last step.
  static void classExit();

  KV_error init() override;
  KV_error exit() override;
  KV_error mode(Mode* m) override;
  KV_error free() override;

  // The channel format word of a sample type; 0 for a type that makes the channel unusable.
  static uint32_t formatOf(ASIOSampleType type);

  // The host callbacks handed to the driver.
  static void bufferSwitch(long index, ASIOBool directProcess);
  static void sampleRateChanged(ASIOSampleRate rate);
  static long message(long selector, long value, void* msg, double* opt);
  static ASIOTime* bufferSwitchTimeInfo(ASIOTime* params, long index, ASIOBool directProcess);

 private:
  explicit KV_Rts_Asio(const char* name) : KV_Rts(name) {}
  ~KV_Rts_Asio() = default;
};
