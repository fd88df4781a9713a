// A multi-tap delay network with feedback over one 65536-sample ring. Groups sum their taps,
// write the sum scaled by a gain into their own output and feed it back scaled by a feedback
// factor. The network is compiled into one flat table before every block.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "KV/Effect/Effect.h"

struct KV_Effect_Deline_Group_Delay {
  KV_Shared<int32_t> amplitude{0};  // 1.0 = 2147483647
  KV_Shared<float> time{0.0f};      // seconds, or samples when inSamples
  KV_Shared<bool> inSamples{false};
  int32_t tableDelay = -1;   // where the last table build put this tap's delay and amplitude
  int32_t tableAmplitude = -1;
};

struct KV_Effect_Deline_Group {
  KV_Shared<int32_t> feedback{0};      // 1.0 = 8388607
  KV_Shared<int32_t> gain{8388607};    // 1.0 = 8388607
  KV_Buffer* output = nullptr;
  std::vector<std::unique_ptr<KV_Effect_Deline_Group_Delay>> taps;
  KV_Effect_Deline_Group_Delay* currentTap = nullptr;
};

struct KV_Effect_Deline : KV_Effect {
  static constexpr int32_t RING = 65536;
  static constexpr int32_t TABLE_CAPACITY = 16384;
  static constexpr int32_t MAX_DELAY = 65534;
  static constexpr int32_t GROUP_ENTRIES = 4;
  static constexpr int32_t TAP_ENTRIES = 2;
  static constexpr KV_word MARKER = -1;

  KV_Buffer* input = nullptr;
  std::vector<std::unique_ptr<KV_Effect_Deline_Group>> groups;
  KV_Effect_Deline_Group* currentGroup = nullptr;
  int32_t* ring = nullptr;
  uint16_t ringPosition = 0;  // the slot the next sample goes to; moves down
  // Entries are pointer-wide, so that a group's output address fits on every target.
  KV_word* table = nullptr;
  int32_t tableLength = 0;
  int32_t tableCapacity = TABLE_CAPACITY;
  int32_t preparedLength = 0;  // the block length the table was built for

  ~KV_Effect_Deline() override;

  // Allocates the ring and the table; false when memory is short.
  bool allocate();

  void process() override;
  // Builds the table. Leaves the effect not ready without an input, or when a group's output
  // is shorter than the block.
  void prepare() override;
  void clockChanged() override { ready = false; }
  void reset() override;
  // Clears the ring and puts its position back to the start.
  void restart() override;

  // The delay in samples the table gets for a tap: clamped to 0 ... 65534.
  int32_t delayOf(const KV_Effect_Deline_Group_Delay& tap) const;

  // Network changes. Each refuses what would exceed the table and makes the current group or
  // tap none instead, so that the options that follow act on nothing.
  KV_Effect_Deline_Group* addGroup();
  KV_Effect_Deline_Group_Delay* addTap();
  void clearTaps();
  bool hasGroup(const KV_Effect_Deline_Group* g) const;
};

KV_API extern const KV_option KV_Effect_Deline_options[];
