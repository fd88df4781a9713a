// The LV2 bundle through the lilv tools: valid against the LV2 schemas, listed with its ports, and
// rendering through lv2apply exactly what the VST plug-in renders through the project's host; and
// in a headless Ardour session, saved and reloaded.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <lv2/core/lv2.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
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

// A parameter set by its host value (normalized, as the VST plug-in takes it) and the plain value
// the product makes of it, in the parameter's own units as the LV2 port carries it.
struct Setting {
  int32_t index;
  float normalized;
  float plain;
};

std::vector<Setting> settingsOf(const std::vector<std::pair<int32_t, float>>& values) {
  KV_Application app;
  std::vector<Setting> out;
  if (app.build() != KV_OK) return out;
  for (auto [i, x] : values) {
    app.setNormalized(i, x);
    out.push_back({i, x, app.getPlain(i)});
  }
  (void)app.destroy();
  return out;
}

std::string plainText(float v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(v));
  return text;
}

// The VST plug-in's render of `in` with these settings, in host blocks of `block` frames.
Wav vstRender(const Wav& in, const std::vector<Setting>& settings, int block, std::string& error) {
  VstEntry entry = loadEntry(VARNEX_BINARY, error);
  AEffect* fx = entry ? entry(vsthostCallback) : nullptr;
  if (!fx) {
    if (error.empty()) error = "the plug-in made no effect";
    return Wav();
  }
  call(fx, effOpen);
  for (const Setting& s : settings)
    if (!setParam(fx, std::to_string(s.index) + "=" + std::to_string(s.normalized))) error = "no parameter";
  Wav out = render(fx, in, block, false);
  call(fx, effClose);
  return out;
}

size_t differing(const std::vector<float>& a, const std::vector<float>& b, size_t& first) {
  size_t n = 0;
  for (size_t k = 0; k < a.size() && k < b.size(); ++k)
    if (a[k] != b[k] && n++ == 0) first = k;
  return n;
}

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
  const std::vector<Setting> settings = settingsOf({{2, 0.8f}, {3, 0.75f}, {4, 0.3f}, {5, 0.9f}});
  ASSERT_EQ(settings.size(), 4u);
  KV_Application app;
  std::string controls;
  for (const Setting& s : settings)
    controls += std::string(" -c ") + app.paramInfo(s.index).symbol + " " + plainText(s.plain);

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

  Wav vst = vstRender(in, settings, 1, error);
  ASSERT_TRUE(error.empty()) << error;

  ASSERT_EQ(lv2.channels, 2);
  ASSERT_EQ(lv2.rate, 48000);
  ASSERT_EQ(lv2.samples.size(), vst.samples.size());
  size_t first = 0;
  EXPECT_EQ(differing(lv2.samples, vst.samples, first), 0u) << "first at sample " << first;
  EXPECT_GT(levels(vst.samples, 2, 0).rms, 0.01);
}

// What ardour_session.lua prints: the control inputs' values by index, the bounce's files by channel.
struct ArdourRun {
  Shell shell;
  std::map<int32_t, std::string> params;
  std::vector<std::string> renders;
};

ArdourRun ardour(const std::string& arguments) {
  const std::string home = std::filesystem::absolute("ardour_home").string();
  std::filesystem::create_directories(home);
  ArdourRun run;
  run.shell = shell("HOME=" + home + " XDG_CONFIG_HOME=" + home + "/config XDG_CACHE_HOME=" + home +
                    "/cache LV2_PATH=" VARNEX_LV2_PLAIN_BUNDLE "/.. ardour7-lua " VARNEX_ARDOUR_SCRIPT " " + arguments);
  std::istringstream lines(run.shell.output);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string word;
    int32_t index;
    std::string value;
    if (!(words >> word)) continue;
    if (word == "param" && words >> index >> value) run.params[index] = value;
    if (word == "render" && std::getline(words >> std::ws, value)) run.renders.push_back(value);
  }
  return run;
}

// The renders of one bounce, one mono file per channel, against the two channels of `expected`.
void expectRender(const ArdourRun& run, const Wav& expected) {
  ASSERT_EQ(run.renders.size(), 2u) << run.shell.output;
  for (size_t c = 0; c < 2; ++c) {
    Wav got;
    std::string error;
    ASSERT_TRUE(wavRead(run.renders[c], got, error)) << error;
    ASSERT_EQ(got.channels, 1);
    std::vector<float> want;
    for (size_t k = c; k < expected.samples.size(); k += 2) want.push_back(expected.samples[k]);
    ASSERT_EQ(got.samples.size(), want.size());
    size_t first = 0;
    EXPECT_EQ(differing(got.samples, want, first), 0u) << run.renders[c] << ": first at sample " << first;
  }
}

// A 48 kHz session with the plug-in on a mono track playing a bass clip, two values set, bounced
// with processing, saved; loaded again by a new Ardour process and bounced again. Ardour bounces
// in runs of 8192 frames, whole runs of the product's 512, so both bounces are the VST plug-in's
// render in host blocks of 8192, sample for sample.
TEST(Lv2InArdour, ASavedSessionKeepsItsValuesAndRendersWhatTheVstPluginRenders) {
  const std::vector<Setting> settings = settingsOf({{3, 0.75f}, {4, 0.25f}});
  ASSERT_EQ(settings.size(), 2u);
  Wav in = bassClip(2.0, 48000);
  std::string error;
  const std::string inPath = std::filesystem::absolute("ardour_in.wav").string();
  const std::string dir = std::filesystem::absolute("ardour_session").string();
  const std::string frames = std::to_string(in.frames());
  ASSERT_TRUE(wavWrite(inPath, in, false, error)) << error;
  std::filesystem::remove_all(dir);

  std::string values;
  for (const Setting& s : settings) values += " " + std::to_string(s.index) + "=" + plainText(s.plain);
  ArdourRun made = ardour("create " + dir + " " + inPath + " " + frames + " " + KV_Lv2::pluginUri() + values);
  ASSERT_EQ(made.shell.status, 0) << made.shell.output;
  ArdourRun reloaded = ardour("reload " + dir + " " + frames);
  ASSERT_EQ(reloaded.shell.status, 0) << reloaded.shell.output;

  EXPECT_EQ(made.params.size(), static_cast<size_t>(KV_Application().paramCount())) << made.shell.output;
  for (const Setting& s : settings) EXPECT_EQ(made.params[s.index], plainText(s.plain)) << made.shell.output;
  EXPECT_EQ(reloaded.params, made.params) << reloaded.shell.output;

  Wav vst = vstRender(in, settings, 8192, error);
  ASSERT_TRUE(error.empty()) << error;
  EXPECT_GT(levels(vst.samples, 2, 0).rms, 0.01);
  expectRender(made, vst);
  expectRender(reloaded, vst);
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
