// vsthost: loads a VST 2.4 plug-in binary, lists its identity and parameters, sets parameters by
// index or name, renders a WAV file (or a synthesised bass clip) through it, and drives its editor
// in a window of its own. The options are in the usage text below.
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "AudioFile.h"
#include "EditorHost.h"
#include "PowerPlot.h"
#include "VstHost.h"
#include "cli.h"

namespace {

const cli::Tool kTool = {
    "vsthost",
    "usage: vsthost PLUGIN [options]\n"
    "Loads a VST 2.4 plug-in binary, lists its identity and parameters, and renders audio through it.\n"
    "  -p INDEX=VALUE | -p NAME=VALUE  set a parameter (normalized 0..1), in the order given\n"
    "  -i IN.wav                       input file (the first channel feeds the plug-in)\n"
    "  --bass SECONDS                  synthesise a bass clip as input instead (default 4)\n"
    "  -o OUT.wav                      write the result (32-bit float, or --pcm16)\n"
    "  -b FRAMES                       host block size (default 512)\n"
    "  -r RATE                         sample rate of a synthesised clip (default 44100)\n"
    "  --stereo                        feed the plug-in two input channels\n"
    "  --harmonics HZ                  print the levels at HZ, 2 x HZ and 3 x HZ before and after\n"
    "  --spectrum FILE.png             draw the input's and the output's spectra, the fundamental\n"
    "                                  (--harmonics HZ, or the input's strongest) and harmonics marked\n"
    "Editor mode (needs a display), actions run in the order given:\n"
    "  --editor                        open the plug-in's editor in a window of the host's own\n"
    "  --move X,Y | --press X,Y | --release X,Y | --click X,Y | --drag X0,Y0,X1,Y1\n"
    "  --wait MS                       keep the editor running for MS milliseconds\n"
    "  --screenshot FILE.png           save what the editor shows\n"
    "  --scale 1|2                     open the editor at this scale whatever the screen's DPI (the\n"
    "                                  actions' coordinates are the editor's pixels at that scale)\n"
    "  --help, --version\n"};

struct Action {
  std::string name, value;
};

bool isEditorAction(const std::string& a) {
  return a == "--move" || a == "--press" || a == "--release" || a == "--click" || a == "--drag" || a == "--wait" ||
         a == "--screenshot";
}

// Runs the editor actions in order; false with a message when one fails.
bool runEditor(AEffect* fx, const std::vector<Action>& actions) {
  EditorHost editor;
  std::string error;
  if (!editor.open(fx, error)) {
    std::fprintf(stderr, "vsthost: %s\n", error.c_str());
    return false;
  }
  std::printf("editor: %d x %d\n", editor.width(), editor.height());
  for (const Action& a : actions) {
    int v[4] = {0, 0, 0, 0};
    const int n = std::sscanf(a.value.c_str(), "%d,%d,%d,%d", &v[0], &v[1], &v[2], &v[3]);
    if (a.name == "--move" && n == 2) editor.move(v[0], v[1]);
    else if (a.name == "--press" && n == 2) editor.press(v[0], v[1]);
    else if (a.name == "--release" && n == 2) editor.release(v[0], v[1]);
    else if (a.name == "--click" && n == 2) editor.click(v[0], v[1]);
    else if (a.name == "--drag" && n == 4) editor.drag(v[0], v[1], v[2], v[3]);
    else if (a.name == "--wait" && n == 1) editor.pump(v[0]);
    else if (a.name == "--screenshot") {
      kvpic::Image shot;
      if (!editor.screenshot(shot) || !kvpic::writeFile(a.value, kvpic::encodePNG(shot))) {
        std::fprintf(stderr, "vsthost: cannot save the screenshot %s\n", a.value.c_str());
        return false;
      }
      std::printf("screenshot: %s\n", a.value.c_str());
    } else {
      std::fprintf(stderr, "vsthost: bad editor action %s %s\n", a.name.c_str(), a.value.c_str());
      return false;
    }
  }
  editor.close();
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (cli::answered(kTool, argc, argv)) return 0;
  if (argc < 2) return cli::wrongUsage(kTool, "no plug-in given");
  std::string plugin = argv[1], inPath, outPath, spectrumPath;
  if (plugin.size() > 1 && plugin[0] == '-') return cli::wrongUsage(kTool, "unknown option " + plugin + " (the plug-in comes first, then the options)");
  std::vector<std::string> sets;
  int block = 512, rate = 44100;
  double bass = 0, harmonics = 0;
  bool stereo = false, pcm16 = false, editorMode = false;
  std::vector<Action> actions;
  for (int i = 2; i < argc; ++i) {
    std::string a = argv[i];
    const bool takesValue = a == "-p" || a == "-i" || a == "-o" || a == "-b" || a == "-r" || a == "--bass" ||
                            a == "--harmonics" || a == "--spectrum" || a == "--scale" || isEditorAction(a);
    const char* v = takesValue && i + 1 < argc ? argv[++i] : nullptr;
    if (takesValue && !v) return cli::wrongUsage(kTool, a + " needs a value");
    bool good = true;
    if (a == "-p") sets.push_back(v);
    else if (a == "-i") inPath = v;
    else if (a == "-o") outPath = v;
    else if (a == "--spectrum") spectrumPath = v;
    else if (a == "-b") good = cli::parseInt(v, 1, 1 << 20, block);
    else if (a == "-r") good = cli::parseInt(v, 1, 1 << 24, rate);
    else if (a == "--bass") good = cli::parseNumber(v, 0.001, 3600, bass);
    else if (a == "--harmonics") good = cli::parseNumber(v, 1, 1e6, harmonics);
    else if (a == "--stereo") stereo = true;
    else if (a == "--pcm16") pcm16 = true;
    else if (a == "--editor") editorMode = true;
    else if (a == "--scale") {
      int scale = 0;
      good = cli::parseInt(v, 1, 2, scale);
      if (good) EditorHost::forceScale(scale);
      editorMode = true;
    }
    else if (isEditorAction(a)) {
      actions.push_back({a, v});
      editorMode = true;
    } else return cli::wrongUsage(kTool, "unknown option " + a);
    if (!good) return cli::wrongUsage(kTool, "bad value for " + a + ": " + v);
  }
  const bool rendering = !outPath.empty() || !spectrumPath.empty();
  if ((!inPath.empty() || bass > 0) && !rendering) return cli::wrongUsage(kTool, "an input needs -o OUT.wav or --spectrum FILE.png");

  std::string error;
  VstEntry entry = loadEntry(plugin, error);
  if (!entry) {
    std::fprintf(stderr, "vsthost: %s\n", error.c_str());
    return 1;
  }
  AEffect* fx = entry(vsthostCallback);
  if (!fx || fx->magic != kEffectMagic) {
    std::fprintf(stderr, "vsthost: %s gave no effect\n", plugin.c_str());
    return 1;
  }
  call(fx, effOpen);
  for (const std::string& s : sets)
    if (!setParam(fx, s)) {
      std::fprintf(stderr, "vsthost: no parameter '%s'\n", s.c_str());
      call(fx, effClose);
      return 1;
    }
  listPlugin(fx);

  int status = 0;
  if (editorMode) {
    if (!runEditor(fx, actions)) status = 1;
    listPlugin(fx);
  }
  if (rendering) {
    Wav in;
    if (!inPath.empty()) {
      if (!audioRead(inPath, in, error)) {
        std::fprintf(stderr, "vsthost: %s\n", error.c_str());
        call(fx, effClose);
        return 1;
      }
    } else {
      in = bassClip(bass > 0 ? bass : 4.0, rate);
    }
    Wav out;
    {
      cli::Progress progress(kTool, "rendering");
      out = render(fx, in, block, stereo, std::ref(progress));
    }
    Levels li = levels(in.samples, in.channels, 0);
    std::printf("rendered %zu frames at %d Hz in blocks of %d%s%s\n", in.frames(), in.rate, block,
                outPath.empty() ? "" : ": ", outPath.c_str());
    std::printf("input  channel 1: peak %.1f dBFS, rms %.1f dBFS\n", dB(li.peak), dB(li.rms));
    for (int c = 0; c < out.channels; ++c) {
      Levels l = levels(out.samples, out.channels, c);
      std::printf("output channel %d: peak %.1f dBFS, rms %.1f dBFS\n", c + 1, dB(l.peak), dB(l.rms));
    }
    if (harmonics > 0) {
      // The first half second: the clip's opening note.
      size_t to = static_cast<size_t>(in.rate / 2);
      for (int h = 1; h <= 3; ++h) {
        double hz = harmonics * h;
        std::printf("harmonic %d (%.1f Hz): input %.1f dBFS, output %.1f dBFS\n", h, hz,
                    toneLevel(in.samples, in.channels, 0, in.rate, hz, 0, to),
                    toneLevel(out.samples, out.channels, 0, out.rate, hz, 0, to));
      }
    }
    if (!outPath.empty() && !audioWrite(outPath, out, pcm16, error)) status = cli::fail(kTool, error);
    if (!spectrumPath.empty()) {
      if (!kvpic::writeFile(spectrumPath, kvpic::encodePNG(spectrum::draw(in, out, harmonics))))
        status = cli::fail(kTool, "cannot write " + spectrumPath);
      else
        std::printf("spectrum: %s\n", spectrumPath.c_str());
    }
  }
  call(fx, effClose);
  return status;
}
