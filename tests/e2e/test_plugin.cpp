// The plug-in binary as a host sees it: identity, texts, conversions and audio.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "PluginLoad.h"
#include "VstHost.h"

namespace {


VstIntPtr VSTCALLBACK noHost(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) { return 0; }

class Plugin : public testing::Test {
 protected:
  void SetUp() override {
    fx = openVarnex();
    ASSERT_NE(fx, nullptr);
  }
  void TearDown() override {
    if (fx) {
      EXPECT_EQ(call(fx, effClose), 1);
    }
  }
  std::string display(int i) { return text(fx, effGetParamDisplay, i); }
  AEffect* fx = nullptr;
};

TEST_F(Plugin, Identity) {
  EXPECT_EQ(fx->magic, kEffectMagic);
  EXPECT_EQ(fx->uniqueID, 0x39373634);
  EXPECT_EQ(std::memcmp(&fx->uniqueID, "4679", 4), 0);
  EXPECT_EQ(fx->numInputs, 1);
  EXPECT_EQ(fx->numOutputs, 2);
  EXPECT_EQ(fx->numPrograms, 1);
  EXPECT_EQ(fx->numParams, 6);
  EXPECT_EQ(fx->flags & ~effFlagsHasEditor, effFlagsCanReplacing);
  EXPECT_EQ(fx->initialDelay, 0);
  EXPECT_EQ(fx->ioRatio, 1.0f);
  EXPECT_EQ(fx->version, 1);
  EXPECT_EQ(call(fx, effIdentify), kEffectIdentify);
  EXPECT_EQ(call(fx, effGetVstVersion), 2400);
  EXPECT_EQ(call(fx, effGetVendorVersion), 1000);
  EXPECT_EQ(call(fx, effGetPlugCategory), 1);
  char bypass[] = "bypass", events[] = "receiveVstEvents";
  EXPECT_EQ(call(fx, effCanDo, 0, 0, bypass), 0);
  EXPECT_EQ(call(fx, effCanDo, 0, 0, events), 0);
  EXPECT_EQ(call(fx, effCanBeAutomated, 3), 1);
  EXPECT_EQ(call(fx, effGetCurrentMidiProgram), -1);
  EXPECT_EQ(call(fx, effSetTotalSampleToProcess, 0, 777), 777);
  EXPECT_EQ(call(fx, effGetTailSize), 0);
  EXPECT_EQ(text(fx, effGetEffectName), "Varnex");
  std::string vendor = text(fx, effGetVendorString);
  EXPECT_FALSE(vendor.empty());
  EXPECT_EQ(text(fx, effGetProductString), vendor + " Varnex");
}

TEST_F(Plugin, NoHostNoPlugin) {
  std::string error;
  VstEntry entry = loadEntry(VARNEX_BINARY, error);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry(noHost), nullptr);
  EXPECT_EQ(entry(nullptr), nullptr);
}

TEST_F(Plugin, ParameterTexts) {
  const char* names[] = {"Multipl", "Source ", "2-x lev", "3-x lev", "Randomi", "Stabili"};
  const char* labels[] = {"On/Off", "of all", "of all", "of all", "of all", "of all"};
  const char* displays[] = {"On", "0.40000", "1.00000", "-0.3000", "0.40000", "0.60000"};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(text(fx, effGetParamName, i), names[i]) << i;
    EXPECT_EQ(text(fx, effGetParamLabel, i), labels[i]) << i;
    EXPECT_EQ(display(i), displays[i]) << i;
  }
  // Texts never pass the 8-byte limit.
  char buf[16];
  std::memset(buf, 'X', sizeof buf);
  call(fx, effGetParamName, 1, 0, buf);
  EXPECT_EQ(std::string(buf + 7, 9), std::string("\0XXXXXXXX", 9));
  std::memset(buf, 'X', sizeof buf);
  call(fx, effGetParamDisplay, 3, 0, buf);
  EXPECT_EQ(buf[7], 0);
  EXPECT_EQ(buf[8], 'X');
  EXPECT_EQ(text(fx, effGetProgramName), "Default program");
  char indexed[64] = {};
  EXPECT_EQ(call(fx, effGetProgramNameIndexed, 3, 9, indexed), 1);
  EXPECT_STREQ(indexed, "Default program");
}

TEST_F(Plugin, Conversions) {
  fx->setParameter(fx, 4, 0.0f);
  EXPECT_EQ(display(4), "0.90000");
  fx->setParameter(fx, 4, 1.0f);
  EXPECT_EQ(display(4), "0.10000");
  fx->setParameter(fx, 4, 0.625f);
  EXPECT_NEAR(fx->getParameter(fx, 4), 0.625f, 1e-6f);
  fx->setParameter(fx, 5, 1.0f);
  EXPECT_EQ(display(5), "0.95000");
  fx->setParameter(fx, 0, 0.5f);
  EXPECT_EQ(display(0), "Off");
  EXPECT_EQ(fx->getParameter(fx, 0), 0.0f);
  fx->setParameter(fx, 0, 0.51f);
  EXPECT_EQ(fx->getParameter(fx, 0), 1.0f);
  EXPECT_EQ(display(0), "On");
  fx->setParameter(fx, 3, 0.35f);
  EXPECT_EQ(display(3), "-0.3000");
  fx->setParameter(fx, 3, 1.0f);
  EXPECT_EQ(display(3), "1.00000");
  fx->setParameter(fx, 1, 0.5f);
  EXPECT_EQ(display(1), "0.50000");
  fx->setParameter(fx, 2, 0.5f);
  EXPECT_EQ(display(2), "0.00000");
  fx->setParameter(fx, 5, 0.5f);
  EXPECT_EQ(display(5), "0.47500");
  fx->setParameter(fx, 1, 2.0f);  // extrapolates
  EXPECT_EQ(display(1), "2.00000");
}

TEST_F(Plugin, ProgramsAndChunks) {
  call(fx, effSetProgram, 0, 5);
  EXPECT_EQ(call(fx, effGetProgram), 0);
  call(fx, effSetProgram, 0, 0);
  EXPECT_EQ(call(fx, effGetProgram), 0);
  char name[] = "Renamed";
  call(fx, effSetProgramName, 0, 0, name);
  EXPECT_EQ(text(fx, effGetProgramName), "Default program");
  void* data = &data;
  EXPECT_EQ(call(fx, effGetChunk, 0, 0, &data), -1);
  EXPECT_EQ(data, nullptr);
  char block[10] = {};
  EXPECT_EQ(call(fx, effSetChunk, 0, 10, block), 10);
  EXPECT_EQ(display(1), "0.40000");
}

TEST_F(Plugin, OddHostInputIsHarmless) {
  fx->setParameter(fx, 6, 0.3f);
  fx->setParameter(fx, -1, 0.3f);
  EXPECT_EQ(fx->getParameter(fx, 6), 0.0f);
  EXPECT_EQ(fx->getParameter(fx, -100), 0.0f);
  EXPECT_EQ(text(fx, effGetParamName, 99), "");
  fx->setParameter(fx, 1, std::nanf(""));
  fx->setParameter(fx, 1, INFINITY);
  EXPECT_EQ(display(1), "0.40000");
  call(fx, effGetParamName, 0, 0, nullptr);
  call(fx, effGetParamDisplay, 0, 0, nullptr);
  call(fx, effGetProgramName, 0, 0, nullptr);
  call(fx, effGetEffectName, 0, 0, nullptr);
  call(fx, effCanDo, 0, 0, nullptr);
  call(fx, effGetChunk, 0, 0, nullptr);
  call(fx, effSetSampleRate, 0, 0, nullptr, std::nanf(""));
  call(fx, effSetSampleRate, 0, 0, nullptr, -44100.0f);
  call(fx, effSetSampleRate, 0, 0, nullptr, 1e20f);
  call(fx, effSetSampleRate, 0, 0, nullptr, 0.0f);
  call(fx, effSetSampleRate, 0, 0, nullptr, 3.0e6f);
  call(fx, 9999, 1, 2, nullptr, 0);
  float x[4] = {0.1f, 0.2f, 0.3f, 0.4f}, l[4], r[4];
  float* in[2] = {x, x};
  float* out[2] = {l, r};
  fx->processReplacing(fx, in, out, 0);
  fx->processReplacing(fx, in, out, -5);
  fx->processReplacing(fx, nullptr, out, 4);
  fx->processReplacing(fx, in, nullptr, 4);
  fx->processReplacing(fx, in, out, 4);
  EXPECT_TRUE(std::isfinite(l[3]));
}

TEST_F(Plugin, HostFloatingPointStateIsKept) {
  unsigned before = hostFpuWord();
  hostSetPrecision53();
  unsigned mine = hostFpuWord();
  call(fx, effSetSampleRate, 0, 0, nullptr, 48000.0f);
  EXPECT_EQ(hostFpuWord(), mine);
  fx->setParameter(fx, 4, 0.3f);
  EXPECT_EQ(hostFpuWord(), mine);
  float x[64] = {0.5f}, l[64], r[64];
  float* in[1] = {x};
  float* out[2] = {l, r};
  fx->processReplacing(fx, in, out, 64);
  EXPECT_EQ(hostFpuWord(), mine);
  hostSetPrecision53();
  // restore the test program's own state
#if defined(__i386__) || defined(__x86_64__)
  unsigned short cw = static_cast<unsigned short>(before);
  __asm__ volatile("fldcw %0" : : "m"(cw));
#endif
}

// ---- audio through the binary

std::vector<float> mono(const Wav& w) {
  std::vector<float> v;
  for (size_t i = 0; i < w.samples.size(); i += static_cast<size_t>(w.channels)) v.push_back(w.samples[i]);
  return v;
}

Wav run(const Wav& in, int block, const std::vector<std::pair<int, float>>& params = {}) {
  AEffect* fx = openVarnex();
  Wav out;
  if (!fx) return out;
  for (auto& p : params) fx->setParameter(fx, p.first, p.second);
  out = render(fx, in, block, false);
  call(fx, effClose);
  return out;
}

Wav signal(size_t frames, int rate, float amplitude = 1.0f) {
  Wav w = bassClip(static_cast<double>(frames) / rate + 0.01, rate);
  w.samples.resize(frames);
  for (float& s : w.samples) s *= amplitude;
  return w;
}

float quantized(float x) {
  if (x > 1.0f) x = 1.0f;
  if (!(x >= -1.0f)) x = -1.0f;
  int32_t s = static_cast<int32_t>(x * 1073741824.0f);
  return static_cast<float>(s * (1.0 / 1073741824.0));
}

TEST(Audio, SilenceInGivesSilenceOutButTheMultipliersStartUpResidue) {
  // Each multiplier takes the first silent sample after creation (its previous sample starts at
  // -1) as a crossing and keeps a one-sample residue: it surfaces at the lag frames, 882 and
  // (for the doubling multipliers, one ring turn later) 17266, as a few units of 2^-30.
  Wav in;
  in.channels = 1;
  in.rate = 44100;
  in.samples.assign(44100, 0.0f);
  std::vector<float> y = mono(run(in, 512));
  ASSERT_EQ(y.size(), in.samples.size());
  for (size_t i = 0; i < y.size(); ++i) {
    if (i == 882 || i == 17266) {
      EXPECT_NE(y[i], 0.0f) << i;
      EXPECT_LE(std::fabs(y[i]) * 1073741824.0, 8.0) << i;
    } else {
      ASSERT_EQ(y[i], 0.0f) << i;
    }
  }
}

TEST(Audio, BothOutputsCarryTheSameSignal) {
  Wav out = run(signal(3000, 44100), 256);
  ASSERT_EQ(out.channels, 2);
  for (size_t i = 0; i < out.frames(); ++i) ASSERT_EQ(out.samples[2 * i], out.samples[2 * i + 1]) << i;
}

TEST(Audio, MultiplierOffGivesTheClippedInputUndelayed) {
  Wav in = signal(4096, 44100, 3.0f);  // drives past full scale
  in.samples[3000] = std::nanf("");
  Wav out = run(in, 512, {{0, 0.0f}});
  std::vector<float> y = mono(out);
  ASSERT_EQ(y.size(), in.samples.size());
  // The switch came before the first block: from the second block on, only the copies run.
  for (size_t i = 1024; i < y.size(); ++i) ASSERT_EQ(y[i], quantized(in.samples[i])) << i;
  EXPECT_EQ(y[3000], -1.0f);
}

TEST(Audio, LongHostBlocksRunInPiecesOf512) {
  // A host block of 1000 runs the pipe on 512 and then 488 samples: exactly what a host giving
  // those two blocks itself gets. (Other schedules may differ: the multipliers' reads can run
  // ahead of their writes inside a block, so their output depends on where blocks begin.)
  Wav in = signal(6000, 44100, 0.8f);
  std::vector<int> pieces;
  for (size_t done = 0; done < in.frames(); done += 1000) pieces.insert(pieces.end(), {512, 488});
  AEffect* fx = openVarnex();
  ASSERT_NE(fx, nullptr);
  std::vector<float> split = mono(renderSchedule(fx, in, pieces, false));
  call(fx, effClose);
  std::vector<float> whole = mono(run(in, 1000));
  ASSERT_EQ(whole.size(), in.frames());
  EXPECT_EQ(whole, split);
}

TEST(Audio, LevelGainsZeroGiveTheScaledDelayedSource) {
  const int rate = 44100;
  Wav in = signal(8192, rate, 0.9f);
  Wav out = run(in, 512, {{2, 0.5f}, {3, 0.5f}});  // both levels to 0
  std::vector<float> y = mono(out);
  // The lag time is the single-precision 0.02, a little under 0.02: 881.99998 samples at 44.1 kHz.
  const size_t delay = static_cast<size_t>(rate * static_cast<double>(0.02f)) + 1;
  EXPECT_EQ(delay, 882u);
  // The gain's unit is 2^24 and a k of 1 is K = 2^31 / 127, so 0.4 multiplies by 0.4 x 128/127.
  const double gain = std::trunc(static_cast<long double>(0.4f) * 2147483648.0L / 127.0L) / 16777216.0;
  EXPECT_NEAR(gain, 0.4 * 128 / 127, 1e-7);
  double worst = 0;
  for (size_t i = delay; i < y.size(); ++i) worst = std::fmax(worst, std::fabs(y[i] - gain * in.samples[i - delay]));
  EXPECT_LT(worst, 1e-6);
  for (size_t i = 0; i < delay - 1; ++i) ASSERT_EQ(y[i], 0.0f) << i;
}

TEST(Audio, RenderIsRecordedForComparisonAcrossTargets) {
  Wav in = signal(44100, 44100, 0.7f);
  Wav out = run(in, 512);
  std::string error;
  ASSERT_TRUE(wavWrite("varnex_render.wav", out, false, error)) << error;
  Levels l = levels(out.samples, 2, 0);
  EXPECT_GT(l.rms, 0.01);
  EXPECT_LT(l.peak, 2.0);
}

TEST(Audio, A53BitHostGetsTheSameSamples) {
  // 32-bit hosts often run the x87 unit at 53-bit precision; the plug-in computes its
  // extended-precision coefficients and lags the same way whatever the host left.
  Wav in = signal(8000, 48000, 0.7f);
  std::vector<float> plain = mono(run(in, 512));
  unsigned before = hostFpuWord();
  hostSetPrecision53();
  unsigned host = hostFpuWord();
  std::vector<float> narrow = mono(run(in, 512));
  EXPECT_EQ(hostFpuWord(), host);
#if defined(__i386__) || defined(__x86_64__)
  unsigned short cw = static_cast<unsigned short>(before);
  __asm__ volatile("fldcw %0" : : "m"(cw));
#endif
  ASSERT_EQ(plain.size(), in.frames());
  EXPECT_EQ(plain, narrow);
}

TEST(Audio, InstancesOnSeveralThreadsAgree) {
  Wav in = signal(20000, 44100, 0.6f);
  std::vector<float> a, b, c;
  std::thread t1([&] { a = mono(run(in, 512)); });
  std::thread t2([&] { b = mono(run(in, 512)); });
  std::thread t3([&] { c = mono(run(in, 512)); });
  t1.join();
  t2.join();
  t3.join();
  ASSERT_EQ(a.size(), in.samples.size());
  EXPECT_EQ(a, b);
  EXPECT_EQ(a, c);
}

TEST(Audio, ParameterChangesFromTwoThreadsAtOnce) {
  AEffect* fx = openVarnex();
  ASSERT_NE(fx, nullptr);
  std::thread host([&] {
    for (int i = 0; i < 2000; ++i) fx->setParameter(fx, 5, (i % 10) / 10.0f);
  });
  std::thread editor([&] {
    for (int i = 0; i < 2000; ++i) fx->setParameter(fx, 5, (i % 7) / 7.0f);
  });
  float x[512] = {}, l[512], r[512];
  float* inputs[1] = {x};
  float* outputs[2] = {l, r};
  for (int i = 0; i < 200; ++i) fx->processReplacing(fx, inputs, outputs, 512);
  host.join();
  editor.join();
  fx->setParameter(fx, 5, 1.0f);
  EXPECT_EQ(text(fx, effGetParamDisplay, 5), "0.95000");
  EXPECT_EQ(call(fx, effClose), 1);
}

// Resume starts the graph over: a render after it is a fresh instance's, whatever ran before.
TEST(Audio, ResumeStartsLikeAFreshInstance) {
  Wav in = signal(20000, 44100, 0.7f);
  std::vector<float> fresh = mono(run(in, 512));
  AEffect* fx = openVarnex();
  ASSERT_NE(fx, nullptr);
  std::vector<float> first = mono(render(fx, in, 512, false));
  render(fx, signal(7000, 44100, -0.9f), 300, false);  // another signal, other blocks
  std::vector<float> again = mono(render(fx, in, 512, false));
  call(fx, effClose);
  ASSERT_EQ(fresh.size(), in.frames());
  EXPECT_EQ(first, fresh);
  EXPECT_EQ(again, fresh);
}

// Ardour's order before a bounce: the engine has run silence through the plug-in for a number of
// cycles that depends on timing, then suspends, enlarges the block and resumes.
TEST(Audio, BounceAfterAnyNumberOfSilentCyclesIsTheFreshRender) {
  Wav in = signal(20000, 44100, 0.7f);
  std::vector<float> fresh = mono(run(in, 8192));
  ASSERT_EQ(fresh.size(), in.frames());
  std::vector<float> silence(1024, 0.0f), l(1024), r(1024);
  float* inputs[1] = {silence.data()};
  float* outputs[2] = {l.data(), r.data()};
  for (int cycles : {0, 1, 47}) {
    AEffect* fx = openVarnex();
    ASSERT_NE(fx, nullptr);
    call(fx, effSetSampleRate, 0, 0, nullptr, 44100.0f);
    call(fx, effSetBlockSize, 0, 1024);
    call(fx, effMainsChanged, 0, 1);
    for (int i = 0; i < cycles; ++i) fx->processReplacing(fx, inputs, outputs, 1024);
    call(fx, effMainsChanged, 0, 0);
    EXPECT_EQ(mono(render(fx, in, 8192, false)), fresh) << cycles << " silent cycles";
    call(fx, effClose);
  }
}

}  // namespace
