// The LV2 bundle through the lilv tools: valid against the LV2 schemas, listed with its ports, and
// rendering through lv2apply exactly what the VST plug-in renders through the project's host.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <lv2/core/lv2.h>

#include <cstdio>
#include <string>
#include <vector>

#include "VstHost.h"
#include "app/KV_Application.h"
#include "lv2/KV_Main_Lv2.h"

namespace {

struct Shell {
  int status = -1;
  std::string output;
};

Shell shell(const std::string& command) {
  Shell r;
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return r;
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) r.output.append(buf, n);
  r.status = pclose(p);
  return r;
}

size_t occurrences(const std::string& text, const std::string& word) {
  size_t n = 0;
  for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
  return n;
}

const std::string kBundle = VARNEX_LV2_BUNDLE;
const std::string kLv2Path = "LV2_PATH=" + kBundle + "/.. ";

TEST(Lv2Bundle, ValidatesAgainstTheSchemas) {
  Shell r = shell(
      "sord_validate $(find /usr/lib/lv2/schemas.lv2 /usr/lib/lv2/core.lv2 /usr/lib/lv2/ui.lv2 "
      "/usr/lib/lv2/options.lv2 -name '*.ttl') " +
      kBundle + "/manifest.ttl " + kBundle + "/varnex.ttl");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("Found 0 errors"), std::string::npos) << r.output;
}

TEST(Lv2Bundle, ListsTheParametersAsControlPortsBesideThreeAudioPorts) {
  Shell r = shell(kLv2Path + "lv2info " + KV_Lv2::pluginUri());
  ASSERT_EQ(r.status, 0) << r.output;
  KV_Application app;
  EXPECT_EQ(occurrences(r.output, "lv2core#ControlPort"), static_cast<size_t>(app.paramCount())) << r.output;
  EXPECT_EQ(occurrences(r.output, "lv2core#AudioPort"), 3u) << r.output;
  EXPECT_EQ(occurrences(r.output, "lv2core#OutputPort"), 2u) << r.output;
  EXPECT_NE(r.output.find("extensions/ui#X11UI"), std::string::npos) << r.output;
  EXPECT_EQ(r.output.find("Has latency:       yes"), std::string::npos) << r.output;
  for (int32_t i = 0; i < app.paramCount(); ++i) {
    KV_Apptpl_ParamInfo p = app.paramInfo(i);
    EXPECT_NE(r.output.find(std::string("Symbol:      ") + p.symbol + "\n"), std::string::npos) << p.symbol;
    EXPECT_NE(r.output.find(std::string("Name:        ") + p.name + "\n"), std::string::npos) << p.name;
  }
}

// lv2apply runs the plug-in one frame at a time, so the VST plug-in renders in host blocks of 1.
TEST(Lv2Bundle, Lv2applyRendersWhatTheVstPluginRenders) {
  const std::pair<int32_t, float> settings[] = {{2, 0.8f}, {3, 0.75f}, {4, 0.3f}, {5, 0.9f}};
  // The plain values the VST plug-in takes from these host values, as the product converts them.
  KV_Application app;
  ASSERT_EQ(app.build(), KV_OK);
  std::string controls;
  for (auto [i, x] : settings) {
    app.setNormalized(i, x);
    char value[32];
    std::snprintf(value, sizeof value, "%.9g", static_cast<double>(app.getPlain(i)));
    controls += std::string(" -c ") + app.paramInfo(i).symbol + " " + value;
  }
  (void)app.destroy();

  Wav in = bassClip(1.0, 48000);
  std::string error;
  const std::string inPath = "lv2_in.wav", outPath = "lv2_out.wav";
  ASSERT_TRUE(wavWrite(inPath, in, false, error)) << error;
  std::remove(outPath.c_str());
  Shell r =
      shell(KV_HOST_ENV + kLv2Path + "lv2apply -i " + inPath + " -o " + outPath + controls + " " + KV_Lv2::pluginUri());
  ASSERT_EQ(r.status, 0) << r.output;
  Wav lv2;
  ASSERT_TRUE(wavRead(outPath, lv2, error)) << error;

  VstEntry entry = loadEntry(VARNEX_BINARY, error);
  ASSERT_NE(entry, nullptr) << error;
  AEffect* fx = entry(vsthostCallback);
  ASSERT_NE(fx, nullptr);
  call(fx, effOpen);
  for (auto [i, x] : settings) ASSERT_TRUE(setParam(fx, std::to_string(i) + "=" + std::to_string(x)));
  Wav vst = render(fx, in, 1, false);
  call(fx, effClose);

  ASSERT_EQ(lv2.channels, 2);
  ASSERT_EQ(lv2.rate, 48000);
  ASSERT_EQ(lv2.samples.size(), vst.samples.size());
  size_t differ = 0, first = 0;
  for (size_t k = 0; k < vst.samples.size(); ++k)
    if (lv2.samples[k] != vst.samples[k] && differ++ == 0) first = k;
  EXPECT_EQ(differ, 0u) << "first at sample " << first;
  EXPECT_GT(levels(vst.samples, 2, 0).rms, 0.01);
}

}  // namespace

namespace {

// The plug-in through its descriptor, as a host drives it: blocks of 256 frames.
struct Lv2Instance {
  void* library = dlopen(VARNEX_LV2_BUNDLE "/varnex.so", RTLD_NOW | RTLD_LOCAL);
  const LV2_Descriptor* d = nullptr;
  LV2_Handle h = nullptr;
  float controls[6] = {};
  std::vector<float> in = std::vector<float>(256), left = std::vector<float>(256), right = std::vector<float>(256);

  Lv2Instance() {
    auto entry = library ? reinterpret_cast<LV2_Descriptor_Function>(dlsym(library, "lv2_descriptor")) : nullptr;
    d = entry ? entry(0) : nullptr;
    h = d ? d->instantiate(d, 48000, VARNEX_LV2_BUNDLE, nullptr) : nullptr;
    if (!h) return;
    KV_Application app;
    for (int32_t i = 0; i < 6; ++i) controls[i] = app.paramInfo(i).initial;
    d->connect_port(h, KV_Lv2::AUDIO_IN, in.data());
    d->connect_port(h, KV_Lv2::AUDIO_OUT_L, left.data());
    d->connect_port(h, KV_Lv2::AUDIO_OUT_R, right.data());
    for (uint32_t i = 0; i < 6; ++i) d->connect_port(h, KV_Lv2::FIRST_CONTROL + i, &controls[i]);
    d->activate(h);
  }
  ~Lv2Instance() {
    if (h) d->cleanup(h);
    if (library) dlclose(library);
  }
  // Runs `blocks` blocks of `clip` from `from`, or of silence when `clip` is null; answers the left output.
  std::vector<float> run(const Wav* clip, size_t from, int blocks) {
    std::vector<float> out;
    for (int b = 0; b < blocks; ++b) {
      for (size_t k = 0; k < in.size(); ++k) in[k] = clip ? clip->samples[from + b * in.size() + k] : 0.0f;
      d->run(h, static_cast<uint32_t>(in.size()));
      out.insert(out.end(), left.begin(), left.end());
    }
    return out;
  }
};

// Deactivate and activate give a clean state: after other sound, the render equals a fresh instance's.
TEST(Lv2Plugin, ActivationStartsFromAFreshState) {
  Wav clip = bassClip(1.0, 48000);
  Lv2Instance fresh;
  ASSERT_NE(fresh.h, nullptr);
  std::vector<float> expected = fresh.run(&clip, 0, 40);
  Lv2Instance used;
  ASSERT_NE(used.h, nullptr);
  used.run(&clip, 12000, 60);
  used.d->deactivate ? used.d->deactivate(used.h) : void();
  used.d->activate(used.h);
  EXPECT_TRUE(used.run(&clip, 0, 40) == expected);
}

}  // namespace
