// The wave-device back end: against a device layer of the test's own (which formats open, the
// order of the probes, the flow of buffers and the extra-buffer rule, the drain in free, devices
// that refuse to stop or close), and against Wine's own winmm.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "KV/Rts/Rts_Win32.h"

namespace {

using Chan = KV_Rts::Chan;
using Mode = KV_Rts::Mode;

// A wave device played by the test. Input buffers come back from a thread of its own, filled
// with a known signal; after each block it plays `playsPerBlock` of the queued output buffers.
class FakeWave : public KV_Rts_Win32_Device {
 public:
  enum Refuse { NONE, IN_STOP, OUT_RESET, IN_CLOSE, OUT_CLOSE };

  std::function<bool(bool input, const WAVEFORMATEX&)> accepts = [](bool, const WAVEFORMATEX&) { return true; };
  std::atomic<Refuse> refuse{NONE};
  int playsPerBlock = 1;

  struct Open {
    bool input;
    UINT id;
    WAVEFORMATEX format;
    DWORD flags;
    bool hasCallback;
  };
  struct Write {
    int32_t block;
    int32_t index;
    std::vector<uint8_t> content;
    DWORD flags;
    DWORD loops;
  };
  std::vector<Open> opens;
  int openNow = 0;  // handles not yet closed
  int stops = 0, resets = 0, inCloses = 0, outCloses = 0, unprepared = 0;
  size_t queuedAtStop = 0;
  std::atomic<int32_t> blocks{0};  // input blocks handed back while the back end had a mode
  std::vector<int32_t> writesPerBlock;
  std::vector<Write> writes;

  ~FakeWave() override { halt(); }

  static int16_t left(int32_t block, int32_t frame) { return static_cast<int16_t>((block * 1000 + frame) % 30000 + 1); }
  static int16_t right(int32_t block, int32_t frame) { return static_cast<int16_t>(-left(block, frame)); }

  MMRESULT inOpen(HWAVEIN* h, UINT id, const WAVEFORMATEX* f, DWORD_PTR cb, DWORD_PTR inst, DWORD flags) override {
    opens.push_back({true, id, *f, flags, cb != 0});
    if (!accepts(true, *f)) return WAVERR_BADFORMAT;
    if ((flags & CALLBACK_TYPEMASK) == CALLBACK_FUNCTION) {
      proc = reinterpret_cast<decltype(proc)>(cb);
      instance = inst;
      format = *f;
    }
    ++openNow;
    *h = reinterpret_cast<HWAVEIN>(static_cast<uintptr_t>(0x100 + opens.size()));
    return MMSYSERR_NOERROR;
  }
  MMRESULT outOpen(HWAVEOUT* h, UINT id, const WAVEFORMATEX* f, DWORD_PTR cb, DWORD_PTR, DWORD flags) override {
    opens.push_back({false, id, *f, flags, cb != 0});
    if (!accepts(false, *f)) return WAVERR_BADFORMAT;
    ++openNow;
    *h = reinterpret_cast<HWAVEOUT>(static_cast<uintptr_t>(0x100 + opens.size()));
    return MMSYSERR_NOERROR;
  }
  MMRESULT inPrepare(HWAVEIN, WAVEHDR* hdr) override {
    hdr->dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
  }
  MMRESULT outPrepare(HWAVEOUT, WAVEHDR* hdr) override {
    hdr->dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
  }
  MMRESULT inUnprepare(HWAVEIN, WAVEHDR* hdr) override {
    hdr->dwFlags &= ~WHDR_PREPARED;
    ++unprepared;
    return MMSYSERR_NOERROR;
  }
  MMRESULT outUnprepare(HWAVEOUT, WAVEHDR* hdr) override {
    hdr->dwFlags &= ~WHDR_PREPARED;
    ++unprepared;
    return MMSYSERR_NOERROR;
  }
  MMRESULT inAdd(HWAVEIN, WAVEHDR* hdr) override {
    if (!(hdr->dwFlags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
    std::lock_guard<std::mutex> lock(mutex);
    hdr->dwFlags = (hdr->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    inQueue.push_back(hdr);
    ++added;
    return MMSYSERR_NOERROR;
  }
  MMRESULT inStart(HWAVEIN) override {
    running = true;
    thread = std::thread([this] { deliver(); });
    return MMSYSERR_NOERROR;
  }
  MMRESULT inStop(HWAVEIN) override {
    ++stops;
    if (refuse == IN_STOP) return MMSYSERR_ERROR;
    {
      std::lock_guard<std::mutex> lock(mutex);
      queuedAtStop = inQueue.size();
    }
    halt();
    return MMSYSERR_NOERROR;
  }
  MMRESULT inReset(HWAVEIN) override {
    halt();
    std::lock_guard<std::mutex> lock(mutex);
    for (WAVEHDR* h : inQueue) h->dwFlags = (h->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    inQueue.clear();
    return MMSYSERR_NOERROR;
  }
  MMRESULT inClose(HWAVEIN) override {
    ++inCloses;
    if (refuse == IN_CLOSE) return MMSYSERR_ERROR;
    --openNow;
    return MMSYSERR_NOERROR;
  }
  MMRESULT outWrite(HWAVEOUT, WAVEHDR* hdr) override {
    if (!(hdr->dwFlags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
    const auto* slot = reinterpret_cast<const KV_Rts_Win32::Slot*>(hdr->dwUser);
    const auto* bytes = reinterpret_cast<const uint8_t*>(hdr->lpData);
    writes.push_back({current, slot->index, std::vector<uint8_t>(bytes, bytes + hdr->dwBufferLength), hdr->dwFlags,
                      hdr->dwLoops});
    ++writtenThisBlock;
    hdr->dwFlags &= ~WHDR_DONE;
    outQueue.push_back(hdr);
    return MMSYSERR_NOERROR;
  }
  MMRESULT outReset(HWAVEOUT) override {
    ++resets;
    if (refuse == OUT_RESET) return MMSYSERR_ERROR;
    for (WAVEHDR* h : outQueue) h->dwFlags |= WHDR_DONE;
    outQueue.clear();
    return MMSYSERR_NOERROR;
  }
  MMRESULT outClose(HWAVEOUT) override {
    ++outCloses;
    if (refuse == OUT_CLOSE) return MMSYSERR_ERROR;
    --openNow;
    return MMSYSERR_NOERROR;
  }

  // Stops the device thread.
  void halt() {
    running = false;
    if (thread.joinable() && thread.get_id() != std::this_thread::get_id()) thread.join();
  }

 private:
  void deliver() {
    while (running) {
      WAVEHDR* h = nullptr;
      {
        std::lock_guard<std::mutex> lock(mutex);
        if (!inQueue.empty()) {
          h = inQueue.front();
          inQueue.pop_front();
        }
      }
      if (!h) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        continue;
      }
      fill(h, next);
      current = next;
      writtenThisBlock = 0;
      const int32_t before = static_cast<int32_t>(inAdds());
      proc(nullptr, WIM_DATA, instance, reinterpret_cast<DWORD_PTR>(h), 0);
      // A block that was queued again belongs to the run; a returned one to the drain.
      if (static_cast<int32_t>(inAdds()) > before) {
        writesPerBlock.push_back(writtenThisBlock);
        for (int p = 0; p < playsPerBlock && !outQueue.empty(); ++p) {
          outQueue.front()->dwFlags |= WHDR_DONE;
          outQueue.pop_front();
        }
        ++next;
        blocks.fetch_add(1);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  size_t inAdds() {
    std::lock_guard<std::mutex> lock(mutex);
    return added;
  }

  void fill(WAVEHDR* h, int32_t block) {
    ++delivered;
    auto* s = reinterpret_cast<int16_t*>(h->lpData);
    const int32_t frames = static_cast<int32_t>(h->dwBufferLength / 4);
    if (format.wBitsPerSample == 16)
      for (int32_t f = 0; f < frames; ++f) {
        s[2 * f] = left(block, f);
        s[2 * f + 1] = right(block, f);
      }
    h->dwBytesRecorded = h->dwBufferLength;
    h->dwFlags = (h->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
  }

  void(CALLBACK* proc)(HWAVEIN, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) = nullptr;  // winmm calls it as stdcall
  DWORD_PTR instance = 0;
  WAVEFORMATEX format{};
  std::mutex mutex;
  std::deque<WAVEHDR*> inQueue;
  std::deque<WAVEHDR*> outQueue;  // device thread only
  size_t added = 0, delivered = 0;
  std::atomic<bool> running{false};
  std::thread thread;
  int32_t next = 0, current = -1;
  int32_t writtenThisBlock = 0;
};

// The application: the inputs straight to the first two outputs.
KV_Rts* app = nullptr;
std::atomic<int32_t> callbacks{0};
std::atomic<int32_t> refused{0};

void passThrough() {
  callbacks.fetch_add(1);
  Chan* in[2] = {};
  Chan* out[2] = {};
  int i = 0, o = 0;
  KV_Rts::walk<Chan>(app->inputs, [&](Chan* c) {
    if (i < 2) in[i++] = c;
  });
  KV_Rts::walk<Chan>(app->outputs, [&](Chan* c) {
    if (o < 2) out[o++] = c;
  });
  for (int c = 0; c < 2; ++c)
    if (in[c] && out[c] && KV_Rts::copyBuffer(out[c], in[c]) != KV_OK) refused.fetch_add(1);
}

bool only16BitStereo44k(bool, const WAVEFORMATEX& f) {
  return f.wBitsPerSample == 16 && f.nSamplesPerSec == 44100 && f.nChannels == 2;
}

class RtsWin32 : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(KV_Rts_Win32::classInit(passThrough), KV_OK);
    ASSERT_EQ(KV_Rts_Win32::classes.count, 1);
    rts = static_cast<KV_Rts_Win32*>(KV_Rts_Win32::classes.first()->owner);
    rts->use(fake);
    app = rts;
    callbacks = 0;
    refused = 0;
  }
  void TearDown() override {
    fake.refuse = FakeWave::NONE;
    KV_Rts_Win32::classExit();
    fake.halt();
    app = nullptr;
  }

  Mode* findMode(int32_t rate, int32_t bits, int32_t channels) {
    Mode* found = nullptr;
    KV_Rts::walk<Mode>(rts->modes, [&](Mode* m) {
      if (!found && m->rate == rate && m->bits == bits && m->channels == channels) found = m;
    });
    return found;
  }

  bool waitBlocks(int32_t n) {
    for (int i = 0; i < 5000 && fake.blocks.load() < n; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return fake.blocks.load() >= n;
  }

  FakeWave fake;
  KV_Rts_Win32* rts = nullptr;
};

TEST_F(RtsWin32, ClassInitialisationRegistersOneInstanceNamedWindows) {
  EXPECT_STREQ(rts->name, "Windows");
  bool listed = false;
  for (KV_Chain_Item* it = KV_Rts_instances.first(); !KV_Rts_instances.isEnd(it); it = it->next)
    listed |= KV_Rts_of(it) == rts;
  EXPECT_TRUE(listed);
  const int32_t before = KV_Rts_instances.count;
  KV_Rts_Win32::classExit();
  EXPECT_EQ(KV_Rts_instances.count, before - 1);
  EXPECT_EQ(KV_Rts_Win32::classes.count, 0);
}

TEST_F(RtsWin32, ADeviceOfOneFormatGivesOneModeAfterProbingInOrder) {
  fake.accepts = only16BitStereo44k;
  ASSERT_EQ(rts->init(), KV_OK);
  ASSERT_EQ(rts->modes.count, 1);
  Mode* m = static_cast<Mode*>(rts->modes.first());
  EXPECT_EQ(m->rate, 44100);
  EXPECT_EQ(m->bits, 16);
  EXPECT_EQ(m->frames, 441);
  EXPECT_EQ(m->channels, 2);
  EXPECT_STREQ(m->text, " 44.1 kHz, 16 bit, stereo");
  EXPECT_EQ(KV_Rts_Win32::active.load(), rts);

  // Each resolution tries its rates on the input; only the one input that opens asks the output,
  // four channels before two.
  std::vector<std::string> order;
  for (const FakeWave::Open& o : fake.opens) {
    order.push_back(std::string(o.input ? "in " : "out ") + std::to_string(o.format.wBitsPerSample) + " " +
                    std::to_string(o.format.nSamplesPerSec) + " " + std::to_string(o.format.nChannels));
    EXPECT_EQ(o.id, WAVE_MAPPER);
    EXPECT_EQ(o.flags, static_cast<DWORD>(WAVE_FORMAT_DIRECT | CALLBACK_NULL));
    EXPECT_FALSE(o.hasCallback);
    EXPECT_EQ(o.format.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(o.format.nBlockAlign, o.format.nChannels * o.format.wBitsPerSample / 8);
    EXPECT_EQ(o.format.nAvgBytesPerSec, o.format.nSamplesPerSec * o.format.nBlockAlign);
  }
  const std::vector<std::string> want = {
      "in 32 48000 2", "in 32 96000 2", "in 32 192000 2", "in 32 44100 2", "in 24 48000 2",  "in 24 96000 2",
      "in 24 192000 2", "in 24 44100 2", "in 16 48000 2", "in 16 96000 2", "in 16 192000 2", "in 16 44100 2",
      "out 16 44100 4", "out 16 44100 2"};
  EXPECT_EQ(order, want);
  EXPECT_EQ(fake.openNow, 0) << "every probe is closed again";

  std::vector<std::string> inputs;
  KV_Rts::walk<Chan>(rts->inputs, [&](Chan* c) {
    inputs.push_back(c->name);
    EXPECT_EQ(c->data, nullptr);
    EXPECT_EQ(c->length, 0);
  });
  EXPECT_EQ(inputs, (std::vector<std::string>{"Left", "Right"}));
}

TEST_F(RtsWin32, ADeviceOfEveryFormatListsBestResolutionAndQuadroFirst) {
  ASSERT_EQ(rts->init(), KV_OK);
  ASSERT_EQ(rts->modes.count, 24);
  std::vector<std::string> texts;
  KV_Rts::walk<Mode>(rts->modes, [&](Mode* m) { texts.push_back(m->text); });
  EXPECT_EQ(texts[0], " 48.0 kHz, 32 bit, quadro");
  EXPECT_EQ(texts[1], " 48.0 kHz, 32 bit, stereo");
  EXPECT_EQ(texts[5], "192.0 kHz, 32 bit, stereo");
  EXPECT_EQ(texts[8], " 48.0 kHz, 24 bit, quadro");
  EXPECT_EQ(texts[23], " 44.1 kHz, 16 bit, stereo");
  // A second init finds the same modes, not twice as many.
  ASSERT_EQ(rts->init(), KV_OK);
  EXPECT_EQ(rts->modes.count, 24);
  EXPECT_EQ(rts->inputs.count, 2);
}

TEST_F(RtsWin32, AQuadroModeQueuesEightBuffersAndNamesItsOutputs) {
  ASSERT_EQ(rts->init(), KV_OK);
  Mode* quadro = findMode(48000, 24, 4);
  ASSERT_NE(quadro, nullptr);
  ASSERT_EQ(rts->mode(quadro), KV_OK);
  std::vector<std::string> names;
  KV_Rts::walk<Chan>(rts->outputs, [&](Chan* c) {
    names.push_back(c->name);
    EXPECT_EQ(c->format, KV_Rts::format(12, 24));
    EXPECT_EQ(c->length, 480);
  });
  EXPECT_EQ(names, (std::vector<std::string>{"Left front", "Right front", "Left back", "Right back"}));
  KV_Rts::walk<Chan>(rts->inputs, [&](Chan* c) {
    EXPECT_EQ(c->format, KV_Rts::format(6, 24));
    EXPECT_EQ(c->length, 480);
  });
  // The device opens: input stereo with the callback, output with four channels.
  ASSERT_GE(fake.opens.size(), 2u);
  const FakeWave::Open& in = fake.opens[fake.opens.size() - 2];
  const FakeWave::Open& out = fake.opens.back();
  EXPECT_TRUE(in.input);
  EXPECT_EQ(in.flags, static_cast<DWORD>(WAVE_FORMAT_DIRECT | CALLBACK_FUNCTION));
  EXPECT_EQ(in.format.nChannels, 2);
  EXPECT_EQ(in.format.nBlockAlign, 6);
  EXPECT_FALSE(out.input);
  EXPECT_TRUE(out.hasCallback);
  EXPECT_EQ(out.format.nChannels, 4);
  EXPECT_EQ(out.format.nAvgBytesPerSec, 48000u * 12);
  for (int i = 0; i < KV_Rts_Win32::BUFFERS; ++i) {
    EXPECT_EQ(rts->inHeaders[i].dwBufferLength, 2u * 3 * 480) << i;
    EXPECT_EQ(rts->outHeaders[i].dwBufferLength, 4u * 3 * 480) << i;
    if (i > 0) {
      EXPECT_EQ(rts->outBlocks[i] - rts->outBlocks[i - 1], 4 * 3 * 480);
    }
  }
  EXPECT_EQ(rts->outBlocks[0] - rts->inBlocks[0], 8 * 2 * 3 * 480);
  ASSERT_TRUE(waitBlocks(3));
  EXPECT_EQ(rts->free(), KV_OK);
  EXPECT_EQ(rts->outputs.count, 0);
  EXPECT_EQ(fake.openNow, 0);
}

TEST_F(RtsWin32, BlocksFlowThroughTheCallbackAndTheQueueIsToppedUp) {
  fake.accepts = only16BitStereo44k;
  ASSERT_EQ(rts->init(), KV_OK);
  ASSERT_EQ(rts->mode(static_cast<Mode*>(rts->modes.first())), KV_OK);
  ASSERT_TRUE(waitBlocks(12));
  ASSERT_EQ(rts->free(), KV_OK);
  EXPECT_EQ(refused.load(), 0);
  EXPECT_EQ(callbacks.load(), fake.blocks.load());

  // Eight free buffers: two written; the device plays one per block, so the queue fills with
  // two a block until fewer than six are free, then one a block.
  ASSERT_GE(fake.writesPerBlock.size(), 12u);
  const std::vector<int32_t> firstTwelve(fake.writesPerBlock.begin(), fake.writesPerBlock.begin() + 12);
  EXPECT_EQ(firstTwelve, (std::vector<int32_t>{2, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1}));

  // The first buffer written in a block holds that block; an extra one holds what it held before.
  std::vector<std::vector<uint8_t>> previous(KV_Rts_Win32::BUFFERS, std::vector<uint8_t>(441 * 4, 0));
  int32_t lastBlock = -1;
  for (const FakeWave::Write& w : fake.writes) {
    EXPECT_EQ(w.flags & (WHDR_BEGINLOOP | WHDR_ENDLOOP), static_cast<DWORD>(WHDR_BEGINLOOP | WHDR_ENDLOOP));
    EXPECT_EQ(w.loops, 1u);
    ASSERT_EQ(w.content.size(), 441u * 4);
    if (w.block != lastBlock) {
      const auto* s = reinterpret_cast<const int16_t*>(w.content.data());
      for (int32_t f = 0; f < 441; ++f) {
        ASSERT_EQ(s[2 * f], FakeWave::left(w.block, f)) << "block " << w.block << " frame " << f;
        ASSERT_EQ(s[2 * f + 1], FakeWave::right(w.block, f)) << "block " << w.block << " frame " << f;
      }
    } else {
      EXPECT_EQ(w.content, previous[static_cast<size_t>(w.index)]) << "extra buffer of block " << w.block;
    }
    previous[static_cast<size_t>(w.index)] = w.content;
    lastBlock = w.block;
  }

  // free waited until every input buffer was back, and none was queued again.
  EXPECT_EQ(fake.queuedAtStop, 0u);
  EXPECT_EQ(fake.stops, 1);
  EXPECT_EQ(fake.resets, 1);
  EXPECT_EQ(fake.openNow, 0);
  EXPECT_EQ(KV_Rts_Win32::returned.load(), 0xFFu);
  EXPECT_EQ(rts->currentMode(), nullptr);
  EXPECT_EQ(rts->area, nullptr);
}

TEST_F(RtsWin32, ADeviceThatPlaysNothingGetsSevenBuffersAndTheBlocksGoOn) {
  fake.accepts = only16BitStereo44k;
  fake.playsPerBlock = 0;
  ASSERT_EQ(rts->init(), KV_OK);
  ASSERT_EQ(rts->mode(static_cast<Mode*>(rts->modes.first())), KV_OK);
  ASSERT_TRUE(waitBlocks(10));
  ASSERT_EQ(rts->free(), KV_OK);
  ASSERT_GE(fake.writesPerBlock.size(), 10u);
  const std::vector<int32_t> firstTen(fake.writesPerBlock.begin(), fake.writesPerBlock.begin() + 10);
  EXPECT_EQ(firstTen, (std::vector<int32_t>{2, 2, 1, 1, 1, 0, 0, 0, 0, 0}));
  EXPECT_EQ(fake.writes.size(), 7u);
  EXPECT_EQ(callbacks.load(), fake.blocks.load());
  EXPECT_EQ(refused.load(), 0);
}

TEST_F(RtsWin32, AFailingOutputOpenLeavesEverythingClosed) {
  fake.accepts = only16BitStereo44k;
  ASSERT_EQ(rts->init(), KV_OK);
  fake.accepts = [](bool input, const WAVEFORMATEX& f) { return input && only16BitStereo44k(input, f); };
  EXPECT_EQ(rts->mode(static_cast<Mode*>(rts->modes.first())), KV_ERROR_AUDIO_CANNOT_OPEN);
  EXPECT_EQ(fake.openNow, 0);
  EXPECT_EQ(rts->currentMode(), nullptr);
  EXPECT_EQ(rts->outputs.count, 0);
  EXPECT_EQ(rts->area, nullptr);
  EXPECT_EQ(rts->free(), KV_OK);

  fake.accepts = [](bool, const WAVEFORMATEX&) { return false; };
  Mode other(44100, 16, 441, 2);
  EXPECT_EQ(rts->mode(&other), KV_ERROR_AUDIO_CANNOT_OPEN);
  EXPECT_EQ(fake.openNow, 0);
}

struct Refusal {
  FakeWave::Refuse refuse;
  KV_error (*expected)();
  int stops, resets, inCloses, outCloses;
};

class RtsWin32Refusing : public RtsWin32, public testing::WithParamInterface<Refusal> {};

TEST_P(RtsWin32Refusing, FreeGivesUpAfterTenAttemptsHalfASecondApart) {
  const Refusal& r = GetParam();
  fake.accepts = only16BitStereo44k;
  ASSERT_EQ(rts->init(), KV_OK);
  ASSERT_EQ(rts->mode(static_cast<Mode*>(rts->modes.first())), KV_OK);
  ASSERT_TRUE(waitBlocks(2));
  fake.refuse = r.refuse;
  const int inCloses = fake.inCloses, outCloses = fake.outCloses;  // the probes' closes
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(rts->free(), r.expected());
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(9 * 500));
  EXPECT_EQ(fake.stops, r.stops);
  EXPECT_EQ(fake.resets, r.resets);
  EXPECT_EQ(fake.inCloses - inCloses, r.inCloses);
  EXPECT_EQ(fake.outCloses - outCloses, r.outCloses);
  EXPECT_EQ(rts->currentMode(), nullptr);
  EXPECT_EQ(rts->outputs.count, 0);
  EXPECT_NE(rts->area, nullptr) << "a device that may still use the buffers keeps them";

  // Once the device gives in, free finishes the job without waiting for the drain again.
  fake.refuse = FakeWave::NONE;
  const auto again = std::chrono::steady_clock::now();
  EXPECT_EQ(rts->free(), KV_OK);
  EXPECT_LT(std::chrono::steady_clock::now() - again, std::chrono::seconds(2));
  EXPECT_EQ(fake.openNow, 0);
  EXPECT_EQ(rts->area, nullptr);
}

KV_error inputStop() { return KV_ERROR_AUDIO_CANNOT_INPUT_STOP; }
KV_error outputClose() { return KV_ERROR_AUDIO_CANNOT_OUTPUT_CLOSE; }

INSTANTIATE_TEST_SUITE_P(RtsWin32Devices, RtsWin32Refusing,
                         testing::Values(Refusal{FakeWave::IN_STOP, inputStop, 10, 0, 0, 0},
                                         Refusal{FakeWave::OUT_CLOSE, outputClose, 1, 1, 1, 10}));

// ---- Wine's winmm ----

TEST(RtsWin32Winmm, RunsTheDefaultDevicesOfWine) {
  ASSERT_EQ(KV_Rts_Win32::classInit(passThrough), KV_OK);
  auto* rts = static_cast<KV_Rts_Win32*>(KV_Rts_Win32::classes.first()->owner);
  app = rts;
  callbacks = 0;
  refused = 0;
  ASSERT_EQ(rts->init(), KV_OK);
  Mode* chosen = nullptr;
  KV_Rts::walk<Mode>(rts->modes, [&](Mode* m) {
    if (!chosen && m->bits == 16 && m->channels == 2) chosen = m;
  });
  if (!chosen) {
    const char* alsa = std::getenv("ALSA_CONFIG_PATH");
    KV_Rts_Win32::classExit();
    GTEST_SKIP() << "winmm under Wine offers no 16-bit stereo wave device (input " << waveInGetNumDevs() << ", output "
                 << waveOutGetNumDevs() << " devices; ALSA_CONFIG_PATH " << (alsa ? alsa : "not set") << ")";
  }
  for (int round = 0; round < 2; ++round) {
    const int32_t before = callbacks.load();
    ASSERT_EQ(rts->mode(chosen), KV_OK) << chosen->text;
    for (int i = 0; i < 5000 && callbacks.load() < before + 10; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_GE(callbacks.load(), before + 10) << "blocks from " << chosen->text;
    KV_Rts::walk<Chan>(rts->inputs, [&](Chan* c) {
      const auto* p = static_cast<const uint8_t*>(c->data);
      EXPECT_TRUE(p >= rts->area && p < rts->outBlocks[0]) << c->name;
    });
    ASSERT_EQ(rts->free(), KV_OK);
    const int32_t after = callbacks.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(callbacks.load(), after) << "no block after free";
    EXPECT_EQ(rts->inDevice, nullptr);
    EXPECT_EQ(rts->outDevice, nullptr);
  }
  EXPECT_EQ(refused.load(), 0);
  KV_Rts_Win32::classExit();
  app = nullptr;
}

}  // namespace
