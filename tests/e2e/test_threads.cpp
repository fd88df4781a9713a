// The plug-in called from several host threads at once, as real hosts do: audio on one thread,
// automation on another, the editor on a third. The test command also runs this suite under
// ThreadSanitizer, which reports any data race between them.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "EditorHost.h"
#include "EditorShots.h"
#include "PluginLoad.h"
#include "VstHost.h"

namespace {

constexpr int kParams = 6;

// Processes blocks of `frames` of noise until told to stop, or `blocks` of them; counts the
// output samples that are not finite.
struct AudioThread {
  AEffect* fx;
  int frames;
  std::atomic<bool> stop{false};
  std::atomic<int> blocks{0};
  std::atomic<int> notFinite{0};
  std::thread thread;

  AudioThread(AEffect* effect, int blockFrames, int count) : fx(effect), frames(blockFrames) {
    call(fx, effSetSampleRate, 0, 0, nullptr, 44100.0f);
    call(fx, effSetBlockSize, 0, frames);
    call(fx, effMainsChanged, 0, 1);
    thread = std::thread([this, count] { run(count); });
  }
  ~AudioThread() { join(); }
  void join() {
    stop = true;
    if (thread.joinable()) thread.join();
  }
  void run(int count) {
    std::vector<float> in(static_cast<size_t>(frames)), l(in.size()), r(in.size());
    float* inputs[1] = {in.data()};
    float* outputs[2] = {l.data(), r.data()};
    std::minstd_rand noise(7);
    std::uniform_real_distribution<float> sample(-0.8f, 0.8f);
    for (int b = 0; (count <= 0 || b < count) && !stop; ++b) {
      for (float& x : in) x = sample(noise);
      fx->processReplacing(fx, inputs, outputs, frames);
      for (float y : l) notFinite += std::isfinite(y) ? 0 : 1;
      ++blocks;
    }
  }
};

// Sets every parameter to random values until `done`, reading them back between; keeps the last
// value given to each.
struct Automation {
  AEffect* fx;
  std::atomic<bool> done{false};
  float last[kParams];
  std::thread thread;

  explicit Automation(AEffect* effect) : fx(effect) {
    for (int i = 0; i < kParams; ++i) last[i] = fx->getParameter(fx, i);
    thread = std::thread([this] { run(); });
  }
  ~Automation() { join(); }
  void join() {
    done = true;
    if (thread.joinable()) thread.join();
  }
  void run() {
    std::minstd_rand pick(11);
    std::uniform_int_distribution<int> index(0, kParams - 1);
    std::uniform_real_distribution<float> value(0.0f, 1.0f);
    while (!done) {
      const int i = index(pick);
      last[i] = value(pick);
      fx->setParameter(fx, i, last[i]);
      fx->getParameter(fx, index(pick));
      std::this_thread::yield();
    }
  }
};

void expectParametersAre(AEffect* fx, const float* values) {
  for (int i = 0; i < kParams; ++i) {
    // The switch reads back as 0 or 1; the knobs through their ranges, to float precision.
    const float want = i == 0 ? (values[i] > 0.5f ? 1.0f : 0.0f) : values[i];
    EXPECT_NEAR(fx->getParameter(fx, i), want, 1e-5) << "parameter " << i;
  }
}

TEST(Threads, ParametersSetFromAnotherThreadWhileAudioRuns) {
  AEffect* fx = openVarnex();
  ASSERT_NE(fx, nullptr);
  {
    Automation automation(fx);
    AudioThread audio(fx, 32, 500);
    audio.thread.join();
    automation.join();
    EXPECT_EQ(audio.blocks, 500);
    EXPECT_EQ(audio.notFinite, 0);
    expectParametersAre(fx, automation.last);
  }
  EXPECT_EQ(call(fx, effClose), 1);
}

TEST(Threads, InstancesBuiltAndTornDownOnSeveralThreads) {
  Wav in = bassClip(0.1, 44100);
  std::vector<std::vector<float>> renders(4);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < renders.size(); ++t)
    threads.emplace_back([&, t] {
      for (int round = 0; round < 5; ++round) {
        AEffect* fx = openVarnex();
        if (!fx) return;
        renders[t] = render(fx, in, 256, false).samples;
        call(fx, effClose);
      }
    });
  for (auto& t : threads) t.join();
  ASSERT_EQ(renders[0].size(), 2 * in.frames());
  for (size_t t = 1; t < renders.size(); ++t) EXPECT_EQ(renders[t], renders[0]) << "thread " << t;
}

// The editor opened and closed on this thread while audio runs and automation sets parameters;
// then a change from the automation thread is drawn by the editor's own thread.
TEST(Threads, EditorOpenedAndClosedWhileAudioAndAutomationRun) {
  AEffect* fx = openVarnex();
  ASSERT_NE(fx, nullptr);
  {
    EditorHost editor;
    AudioThread audio(fx, 32, 0);
    {
      Automation automation(fx);
      for (int i = 0; i < 100; ++i) {
        std::string error;
        ASSERT_TRUE(editor.open(fx, error)) << error << " at cycle " << i;
        editor.pump(1);
        editor.closeEditor();
      }
      automation.join();
      expectParametersAre(fx, automation.last);
    }
    std::string error;
    ASSERT_TRUE(editor.open(fx, error)) << error;
    std::thread host([fx] {
      fx->setParameter(fx, 0, 1.0f);   // the multiplier on: the knobs not greyed
      fx->setParameter(fx, 1, 0.25f);  // the source level knob
    });
    host.join();
    KnobFrames knobs;
    EXPECT_EQ(knobs.shownAt(settledShot(editor), kKnobs[0][0], kKnobs[0][1]), 24);  // 0.25 over 100 frames
    editor.close();
    audio.join();
    EXPECT_GT(audio.blocks, 0);
    EXPECT_EQ(audio.notFinite, 0);
  }
  EXPECT_EQ(call(fx, effClose), 1);
}

// A knob dragged on the editor's thread while the automation thread sets the same parameter: the
// two threads share the parameter's value, and when both stop the knob shows the value the host
// reads back (the last value stored is the last one sent on).
TEST(Threads, KnobDraggedWhileTheHostSetsItsParameter) {
  AEffect* fx = openVarnex();
  ASSERT_NE(fx, nullptr);
  {
    EditorHost editor;
    std::string error;
    ASSERT_TRUE(editor.open(fx, error)) << error;
    fx->setParameter(fx, 0, 1.0f);
    std::atomic<bool> done{false};
    std::thread host([fx, &done] {
      std::minstd_rand pick(5);
      std::uniform_real_distribution<float> value(0.0f, 1.0f);
      while (!done) fx->setParameter(fx, 1, value(pick)), std::this_thread::yield();
    });
    for (int i = 0; i < 20; ++i) editor.drag(42, 140, i % 2 ? 20 : 72, 140, 4);
    done = true;
    host.join();
    editor.move(5, 5);  // off the knob: no highlight
    KnobFrames knobs;
    EXPECT_NEAR(knobs.shownAt(settledShot(editor), kKnobs[0][0], kKnobs[0][1]), fx->getParameter(fx, 1) * 99, 1.0);
    editor.close();
  }
  EXPECT_EQ(call(fx, effClose), 1);
}

}  // namespace
