// vsthost: loads a VST 2.4 plug-in binary, lists its identity and parameters, sets parameters by
// index or name, and renders a WAV file (or a synthesised bass clip) through it.
//
//   vsthost PLUGIN [options]
//     -p INDEX=VALUE | -p NAME=VALUE   set a parameter (normalized 0..1), in order given
//     -i IN.wav                       input file (first channel used, as the plug-in does)
//     --bass SECONDS                  synthesise a bass clip as input instead
//     -o OUT.wav                      write the result (32-bit float, or --pcm16)
//     -b FRAMES                       host block size (default 512)
//     -r RATE                         sample rate for a synthesised clip (default 44100)
//     --stereo                        feed the plug-in two input channels
//     --harmonics HZ                  print the levels at HZ, 2 x HZ and 3 x HZ before and after
//   Editor mode (X11 on Linux, Win32 on Windows), actions run in the order given:
//     --editor                        open the plug-in's editor in a window of the host's own
//     --move X,Y | --press X,Y | --release X,Y | --click X,Y
//     --drag X0,Y0,X1,Y1              press, move in steps, release
//     --wait MS                       keep the editor running (idle calls) for MS milliseconds
//     --screenshot FILE.png           save what the editor shows
//   The parameters are listed again after the editor actions.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "EditorHost.h"
#include "VstHost.h"

namespace {

int usage() {
  std::fprintf(stderr, "usage: vsthost PLUGIN [-p INDEX|NAME=VALUE]... [-i IN.wav | --bass SECONDS] [-o OUT.wav] "
                       "[-b FRAMES] [-r RATE] [--stereo] [--pcm16]\n");
  return 2;
}

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
  if (argc < 2) return usage();
  std::string plugin = argv[1], inPath, outPath;
  std::vector<std::string> sets;
  int block = 512, rate = 44100;
  double bass = 0, harmonics = 0;
  bool stereo = false, pcm16 = false, editorMode = false;
  std::vector<Action> actions;
  for (int i = 2; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    const char* v = nullptr;
    if (a == "-p" && (v = next())) sets.push_back(v);
    else if (a == "-i" && (v = next())) inPath = v;
    else if (a == "-o" && (v = next())) outPath = v;
    else if (a == "-b" && (v = next())) block = std::atoi(v);
    else if (a == "-r" && (v = next())) rate = std::atoi(v);
    else if (a == "--bass" && (v = next())) bass = std::atof(v);
    else if (a == "--harmonics" && (v = next())) harmonics = std::atof(v);
    else if (a == "--stereo") stereo = true;
    else if (a == "--pcm16") pcm16 = true;
    else if (a == "--editor") editorMode = true;
    else if (isEditorAction(a) && (v = next())) {
      actions.push_back({a, v});
      editorMode = true;
    }
    else return usage();
  }
  if (block < 1 || rate < 1) return usage();

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
  if (!outPath.empty()) {
    Wav in;
    if (!inPath.empty()) {
      if (!wavRead(inPath, in, error)) {
        std::fprintf(stderr, "vsthost: %s\n", error.c_str());
        call(fx, effClose);
        return 1;
      }
    } else {
      in = bassClip(bass > 0 ? bass : 4.0, rate);
    }
    Wav out = render(fx, in, block, stereo);
    Levels li = levels(in.samples, in.channels, 0);
    std::printf("rendered %zu frames at %d Hz in blocks of %d: %s\n", in.frames(), in.rate, block, outPath.c_str());
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
    if (!wavWrite(outPath, out, pcm16, error)) {
      std::fprintf(stderr, "vsthost: %s\n", error.c_str());
      status = 1;
    }
  }
  call(fx, effClose);
  return status;
}
