// varnex: the product without a host. Runs the plug-in's graph live through one of the
// framework's real-time back ends (JACK on Linux; wave devices or ASIO on Windows) and shows its
// editor in a window of its own, whose knobs drive the graph as they do in a host.
//
//   varnex --list                      back ends and their modes
//   varnex [--backend NAME] [--mode N] [--seconds S] [--tone HZ] [--no-editor]
//          [--connect] [--screenshot FILE.png] [--scale 1|2]
//
//   --backend NAME   the back end whose name starts with NAME (case ignored); default the first
//                    that opens
//   --mode N         its mode number as --list shows it (default 0)
//   --seconds S      run for S seconds (default: until the editor window is closed, or 10 s
//                    without an editor)
//   --tone HZ        feed a sine of HZ instead of the input (to hear the harmonics at once)
//   --scale 1|2      the editor's scale, whatever the screen's DPI (as VARNEX_UI_SCALE sets it)
//   --connect        JACK: connect system:capture_1 to the input and the outputs to
//                    system:playback_1/2
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "EditorHost.h"
#include "KV/Rts/Rts.h"
#include "VstHost.h"
#include "cli.h"
#include "vst/KV_Main_Vst.h"

#if defined(_WIN32)
#include "KV/Rts/Rts_Asio.h"
#include "KV/Rts/Rts_Win32.h"
#else
#include "KV/Rts/Rts_Jack.h"
#endif

namespace {

const cli::Tool kTool = {
    "varnex",
    "usage: varnex --list\n"
    "       varnex [--backend NAME] [--mode N] [--seconds S] [--tone HZ] [--no-editor] [--connect]\n"
    "              [--screenshot FILE.png] [--scale 1|2]\n"
    "Runs the Varnex harmonic exciter live on a sound card, with its editor in a window of its own.\n"
    "  --list           the back ends and their modes (an absent one says why)\n"
    "  --backend NAME   the back end whose name starts with NAME; default the first that opens\n"
    "  --mode N         its mode number as --list shows it (default 0)\n"
    "  --seconds S      run for S seconds (default: until the editor closes; 10 s without it)\n"
    "  --tone HZ        feed a sine of HZ instead of the input\n"
    "  --no-editor      run without the editor (no display needed)\n"
    "  --connect        JACK: connect system:capture_1 to the input, the outputs to system:playback_1/2\n"
    "  --screenshot F   save the editor's picture at the end\n"
    "  --scale 1|2      the editor's scale, whatever the screen's DPI\n"
    "  --help, --version\n"};

// What the block callback works with; set before the device starts, read on its thread.
struct Live {
  KV_Rts* rts = nullptr;
  AEffect* fx = nullptr;
  double toneHz = 0, phase = 0;
  std::vector<float> in, out[2], silence;
  KV_Rts::Chan inChan, outChan[2], silentChan;
  std::atomic<long> blocks{0};
  std::atomic<float> peak{0};
} live;

constexpr uint32_t kFloat = KV_Rts::format(4, 32, 0, true);

// A float channel of `frames` samples over `v`, zeroed.
void floatChannel(KV_Rts::Chan& c, std::vector<float>& v, int32_t frames) {
  v.assign(static_cast<size_t>(frames), 0.0f);
  c.data = v.data();
  c.length = frames;
  c.format = kFloat;
}

void prepare(int32_t frames) {
  floatChannel(live.inChan, live.in, frames);
  for (int c = 0; c < 2; ++c) floatChannel(live.outChan[c], live.out[c], frames);
  floatChannel(live.silentChan, live.silence, frames);
}

// One device block: the first input into the plug-in, its two outputs to the first two device
// outputs (any further outputs get silence).
void block() {
  KV_Rts* rts = live.rts;
  KV_Rts::Mode* m = rts ? rts->currentMode() : nullptr;
  if (!m || static_cast<size_t>(m->frames) != live.in.size()) return;
  const int32_t n = m->frames;
  KV_Chain_Item* first = rts->inputs.first();
  if (live.toneHz > 0) {
    const double step = 2.0 * 3.14159265358979 * live.toneHz / m->rate;
    for (int32_t i = 0; i < n; ++i, live.phase += step) live.in[static_cast<size_t>(i)] = 0.5f * static_cast<float>(std::sin(live.phase));
    live.phase = std::fmod(live.phase, 2.0 * 3.14159265358979);
  } else if (!rts->inputs.isEnd(first)) {
    // The device's thread has nobody to tell: a refused block leaves the last input in place.
    KV_ignore(KV_Rts::copyBuffer(&live.inChan, static_cast<KV_Rts::Chan*>(first)));
  }
  float* ins[1] = {live.in.data()};
  float* outs[2] = {live.out[0].data(), live.out[1].data()};
  live.fx->processReplacing(live.fx, ins, outs, n);
  float p = 0;
  for (int32_t i = 0; i < n; ++i) p = std::max(p, std::fabs(live.out[0][static_cast<size_t>(i)]));
  if (p > live.peak.load()) live.peak = p;
  int c = 0;
  KV_Rts::walk<KV_Rts::Chan>(rts->outputs, [&](KV_Rts::Chan* out) {
    KV_ignore(KV_Rts::copyBuffer(out, c < 2 ? &live.outChan[c] : &live.silentChan));
    ++c;
  });
  ++live.blocks;
}

// A back end that could not be made is missing from the list, which --list shows.
void initBackEnds() {
#if defined(_WIN32)
  KV_ignore(KV_Rts_Asio::classInit(block));
  KV_ignore(KV_Rts_Win32::classInit(block));
#else
  KV_ignore(KV_Rts_Jack::classInit(block));
#endif
}

void exitBackEnds() {
#if defined(_WIN32)
  KV_Rts_Asio::classExit();
  KV_Rts_Win32::classExit();
#else
  KV_Rts_Jack::classExit();
#endif
}

bool startsWith(const char* name, const std::string& prefix) {
  for (size_t i = 0; i < prefix.size(); ++i)
    if (!name[i] || std::tolower(static_cast<unsigned char>(name[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  return true;
}

KV_Rts::Mode* modeNumber(KV_Rts* rts, int n) {
  int i = 0;
  return static_cast<KV_Rts::Mode*>(KV_firstItem(rts->modes, [&](KV_Chain_Item*) { return i++ == n; }));
}

// Why a back end did not open: its own word for an absent device or server, or a plain one.
const char* absence(KV_Rts* rts) {
#if !defined(_WIN32)
  if (auto* jack = KV_findIn<KV_Rts_Jack>(KV_Rts_Jack::classes, [&](KV_Rts_Jack* j) { return j == rts && j->absence; }))
    return jack->absence;
#endif
  return "cannot open";
}

void list() {
  KV_forEach<KV_Rts>(KV_Rts_instances, [](KV_Rts* rts) {
    const KV_error e = rts->init();
    std::printf("%s%s%s%s\n", rts->name, e == KV_OK ? "" : "  (", e == KV_OK ? "" : absence(rts), e == KV_OK ? "" : ")");
    int i = 0;
    KV_Rts::walk<KV_Rts::Mode>(rts->modes,
                               [&](KV_Rts::Mode* m) { std::printf("  mode %d:%s, %d frames\n", i++, m->text, m->frames); });
    KV_ignore(rts->exit());  // leaving a back end that was only looked at
  });
}

std::string lastAbsence;  // why the last back end tried did not open

// The back end to run: the named one, or the first that opens. It is left initialised.
KV_Rts* choose(const std::string& name) {
  return KV_findIn<KV_Rts>(KV_Rts_instances, [&](KV_Rts* rts) {
    if (!name.empty() && !startsWith(rts->name, name)) return false;
    if (rts->init() == KV_OK && !rts->modes.isEnd(rts->modes.first())) return true;
    lastAbsence = std::string(rts->name) + ": " + absence(rts);
    KV_ignore(rts->exit());  // leaving one that did not open
    return false;
  });
}

#if !defined(_WIN32)
// A connection JACK refuses is said on standard error; the ports can still be joined by hand.
void connectPorts(KV_Rts_Jack* jack, const char* source, const char* destination) {
  if (jack->connect(source, destination) != KV_OK)
    std::fprintf(stderr, "varnex: cannot connect %s to %s; connect them with a patchbay\n", source, destination);
}

void connectSystemPorts(KV_Rts* rts) {
  auto* jack = static_cast<KV_Rts_Jack*>(rts);
  KV_Chain_Item* in = rts->inputs.first();
  if (!rts->inputs.isEnd(in)) connectPorts(jack, "system:capture_1", jack->portName(static_cast<KV_Rts::Chan*>(in)));
  int c = 0;
  KV_Rts::walk<KV_Rts::Chan>(rts->outputs, [&](KV_Rts::Chan* out) {
    if (++c > 2) return;  // the first two outputs
    const std::string dest = "system:playback_" + std::to_string(c);
    connectPorts(jack, jack->portName(out), dest.c_str());
  });
}
#endif

}  // namespace

int main(int argc, char** argv) {
  if (cli::answered(kTool, argc, argv)) return 0;
  std::string backend, screenshot;
  int modeIndex = 0;
  double seconds = -1;
  bool showList = false, editor = true;
  [[maybe_unused]] bool connect = false;  // JACK only
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool takesValue = a == "--backend" || a == "--mode" || a == "--seconds" || a == "--tone" || a == "--screenshot" ||
                            a == "--scale";
    const char* v = takesValue && i + 1 < argc ? argv[++i] : nullptr;
    if (takesValue && !v) return cli::wrongUsage(kTool, a + " needs a value");
    bool good = true;
    if (a == "--list") showList = true;
    else if (a == "--no-editor") editor = false;
    else if (a == "--connect") connect = true;
    else if (a == "--backend") backend = v;
    else if (a == "--mode") good = cli::parseInt(v, 0, 1 << 20, modeIndex);
    else if (a == "--seconds") good = cli::parseNumber(v, 0, 1e7, seconds);
    else if (a == "--tone") good = cli::parseNumber(v, 1, 1e5, live.toneHz);
    else if (a == "--screenshot") screenshot = v;
    else if (a == "--scale") {
      int scale = 0;
      good = cli::parseInt(v, 1, 2, scale);
      if (good) EditorHost::forceScale(scale);
    }
    else return cli::wrongUsage(kTool, "unknown option " + a);
    if (!good) return cli::wrongUsage(kTool, "bad value for " + a + ": " + v);
  }
  initBackEnds();
  if (showList) {
    list();
    exitBackEnds();
    return 0;
  }
  KV_Rts* rts = choose(backend);
  if (!rts) {
    cli::fail(kTool, lastAbsence.empty() ? "no back end " + (backend.empty() ? std::string() : "'" + backend + "' ") +
                                               "could be opened (see varnex --list)"
                                         : lastAbsence);
    exitBackEnds();
    return cli::kFailure;
  }
  KV_Rts::Mode* mode = modeNumber(rts, modeIndex);
  if (!mode) {
    cli::fail(kTool, std::string(rts->name) + " has no mode " + std::to_string(modeIndex) + " (see varnex --list)");
    KV_ignore(rts->exit());  // the failure to tell is the one above
    exitBackEnds();
    return cli::kFailure;
  }

  auto* plugin = new KV_Main_Vst(vsthostCallback);
  AEffect* fx = plugin->getAeffect();
  call(fx, effOpen);
  call(fx, effSetSampleRate, 0, 0, nullptr, static_cast<float>(mode->rate));
  call(fx, effSetBlockSize, 0, mode->frames);
  call(fx, effMainsChanged, 0, 1);
  live.fx = fx;
  live.rts = rts;
  prepare(mode->frames);

  int status = 0;
  if (rts->mode(mode) != KV_OK) {
    status = cli::fail(kTool, std::string(rts->name) + " cannot run" + mode->text);
  } else {
    KV_ignore(rts->start());  // the base only marks it running
#if !defined(_WIN32)
    if (connect) connectSystemPorts(rts);
#endif
    std::printf("varnex: running on %s%s, %d frames per block\n", rts->name, mode->text, mode->frames);
    std::fflush(stdout);
    EditorHost window;
    std::string error;
    const bool shown = editor && window.open(fx, error);
    if (editor && !shown) status = cli::fail(kTool, error + "; or run with --no-editor");
    const double runFor = status ? 0 : seconds >= 0 ? seconds : (shown ? 1e9 : 10);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<long>(runFor * 1000));
    while (std::chrono::steady_clock::now() < end) {
      if (shown) {
        window.pump(30);
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
      }
    }
    if (shown && !screenshot.empty()) {
      kvpic::Image shot;
      if (!window.screenshot(shot) || !kvpic::writeFile(screenshot, kvpic::encodePNG(shot))) status = 1;
    }
    window.close();
    // Closing goes on whatever happens: a device that will not close has shown its box.
    KV_ignore(rts->stop());
    KV_ignore(rts->free());
    std::printf("varnex: %ld blocks processed, output peak %.3f\n", live.blocks.load(), live.peak.load());
  }
  live.rts = nullptr;
  KV_ignore(rts->exit());
  exitBackEnds();
  call(fx, effMainsChanged, 0, 0);
  call(fx, effClose);
  return status;
}
