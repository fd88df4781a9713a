// The LV2 UI in a real host: jalv (its GTK front end embeds X11 UIs) on a JACK server of its own
// with the dummy driver, under the test display. The embedded panel shows what the VST editor
// shows, and a knob dragged in it changes the control port in jalv: jalv 1.6 prints only the
// starting values of input ports, so the new value is read where jalv applies it, in the plug-in's
// output, recorded from JACK while a metronome feeds the input.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "EditorHost.h"
#include "VstHost.h"
#include "app/KV_Application.h"
#include "lv2/KV_Main_Lv2.h"

// Xlib last: its macros (None, Bool, Status) would clash with the headers above.
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xutil.h>
// clang-format on

namespace {

// Starts `command` in the background through the shell; answers its process id, or 0.
pid_t start(const std::string& command) {
  FILE* p = popen((command + " & echo $!").c_str(), "r");
  if (!p) return 0;
  long pid = 0;
  if (std::fscanf(p, "%ld", &pid) != 1) pid = 0;
  pclose(p);
  return static_cast<pid_t>(pid);
}

void stop(pid_t pid) {
  if (pid > 0) kill(pid, SIGTERM);
}

// A window of w x h without children: the embedded panel (jalv's own frames around it have children).
Window findLeaf(Display* d, Window w, int width, int height) {
  Window root, up, *children = nullptr;
  unsigned n = 0;
  if (!XQueryTree(d, w, &root, &up, &children, &n)) return 0;
  Window found = 0;
  XWindowAttributes a;
  if (n == 0 && XGetWindowAttributes(d, w, &a) && a.width == width && a.height == height && a.map_state == IsViewable)
    found = w;
  for (unsigned i = 0; i < n && !found; ++i) found = findLeaf(d, children[i], width, height);
  if (children) XFree(children);
  return found;
}

kvpic::Image grab(Display* d, Window w, int width, int height) {
  kvpic::Image out(width, height);
  XImage* img = XGetImage(d, w, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height), AllPlanes, ZPixmap);
  if (!img) return kvpic::Image();
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const unsigned long p = XGetPixel(img, x, y);
      uint8_t* q = out.at(x, y);
      q[0] = static_cast<uint8_t>(p & 0xFF), q[1] = static_cast<uint8_t>(p >> 8 & 0xFF);
      q[2] = static_cast<uint8_t>(p >> 16 & 0xFF), q[3] = 255;
    }
  XDestroyImage(img);
  return out;
}

void mouse(Display* d, Window w, int type, int x, int y, bool down) {
  XEvent e{};
  e.type = type;
  e.xany.display = d;
  if (type == MotionNotify) {
    e.xmotion.window = w, e.xmotion.x = x, e.xmotion.y = y, e.xmotion.state = down ? Button1Mask : 0;
  } else {
    e.xbutton.window = w, e.xbutton.x = x, e.xbutton.y = y, e.xbutton.button = Button1;
  }
  long mask = type == MotionNotify ? PointerMotionMask : type == ButtonPress ? ButtonPressMask : ButtonReleaseMask;
  XSendEvent(d, w, False, mask, &e);
  XSync(d, False);
  std::this_thread::sleep_for(std::chrono::milliseconds(60));  // jalv idles the UI at 30 Hz
}

std::string readAll(const std::string& path) {
  std::ifstream f(path);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// The value jalv printed for `symbol` (the first time), or NaN.
float printedValue(const std::string& log, const std::string& symbol) {
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind(symbol + " = ", 0) == 0) return std::strtof(line.c_str() + symbol.size() + 3, nullptr);
  return NAN;
}

double rms(const Wav& w, double from, double to) {
  const size_t a = static_cast<size_t>(from * w.rate), b = std::min(w.frames(), static_cast<size_t>(to * w.rate));
  double sum = 0;
  for (size_t k = a; k < b; ++k) sum += static_cast<double>(w.samples[k * w.channels]) * w.samples[k * w.channels];
  return b > a ? std::sqrt(sum / static_cast<double>(b - a)) : 0.0;
}

// The VST editor's picture of the same product, through the project's host.
kvpic::Image vstPanel() {
  std::string error;
  VstEntry entry = loadEntry(VARNEX_BINARY, error);
  EXPECT_NE(entry, nullptr) << error;
  AEffect* fx = entry ? entry(vsthostCallback) : nullptr;
  kvpic::Image shot;
  if (!fx) return shot;
  EditorHost host;
  EXPECT_TRUE(host.open(fx, error)) << error;
  host.pump(300);
  EXPECT_TRUE(host.screenshot(shot));
  host.close();
  call(fx, effClose);
  return shot;
}

TEST(Lv2Ui, JalvShowsTheEditorAndAKnobDragWritesThePort) {
  Display* d = XOpenDisplay(nullptr);
  ASSERT_NE(d, nullptr) << "no X display";
  KV_Application app;
  ASSERT_EQ(app.build(), KV_OK);
  const int width = app.editorWidth(), height = app.editorHeight();
  const KV_Apptpl_ParamInfo source = app.paramInfo(1);
  (void)app.destroy();

  const kvpic::Image expected = vstPanel();
  const std::string server = "kv-lv2-ui-" + std::to_string(getpid()), log = "jalv-" + server + ".log";
  pid_t jack = start("jackd --no-realtime -n " + server + " -d dummy -r 48000 -p 1024 >/dev/null 2>&1");
  ASSERT_GT(jack, 0);
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const std::string env = "JACK_DEFAULT_SERVER=" + server + " ";
  pid_t jalv = start(env + "LV2_PATH=" VARNEX_LV2_BUNDLE "/.. exec jalv.gtk3 --print-controls -x --jack-name kvlv2 " +
                     KV_Lv2::pluginUri() + " >" + log + " 2>&1");
  // A 2 kHz beep ten times a second: above the bands, so the output follows the source level.
  pid_t metro = start(env + "exec jack_metro -n kvmetro -b 600 -f 2000 -A 0.5 -D 50 >/dev/null 2>&1");
  Window panel = 0;
  for (int i = 0; i < 100 && !panel; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    panel = findLeaf(d, DefaultRootWindow(d), width, height);
  }
  kvpic::Image shown, dragged;
  pid_t recorder = 0;
  if (panel) {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the first idle paints
    shown = grab(d, panel, width, height);
    kvpic::writeFile("jalv-editor.png", kvpic::encodePNG(shown));
    std::remove("jalv-output.wav");
    // Both clients' ports exist before they are joined (a loaded machine starts them slowly).
    for (int i = 0; i < 100 && std::system((env + "jack_lsp | grep -q kvmetro:600_bpm").c_str()) != 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(std::system((env + "jack_connect kvmetro:600_bpm kvlv2:in").c_str()), 0);
    recorder = start(env + "exec jack_rec -f jalv-output.wav -d 3 kvlv2:out_l >/dev/null 2>&1");
    std::this_thread::sleep_for(std::chrono::milliseconds(1300));
    // A drag to the right on the source knob, one frame per pixel.
    const int x0 = 42, y0 = 140;
    mouse(d, panel, MotionNotify, x0, y0, false);
    mouse(d, panel, ButtonPress, x0, y0, true);
    for (int s = 1; s <= 6; ++s) mouse(d, panel, MotionNotify, x0 + 5 * s, y0, true);
    mouse(d, panel, ButtonRelease, x0 + 30, y0, false);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    dragged = grab(d, panel, width, height);
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));  // the recording ends
  }
  stop(recorder);
  stop(metro);
  stop(jalv);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  stop(jack);
  XCloseDisplay(d);
  const std::string printed = readAll(log);
  ASSERT_NE(panel, 0u) << "jalv showed no panel of " << width << " x " << height << "\n" << printed;

  ASSERT_EQ(expected.bgra.size(), shown.bgra.size());
  // The same composition, up to a rounding step of the background's blend in a few pixels.
  int differ = 0;
  for (size_t k = 0; k < shown.bgra.size(); ++k) differ += std::abs(expected.bgra[k] - shown.bgra[k]) > 2;
  EXPECT_EQ(differ, 0) << "the embedded panel is not the VST editor's";
  EXPECT_EQ(printedValue(printed, "source"), source.initial) << printed;
  // The knob turned on the screen, and the source level rose in the plug-in jalv runs (30 frames of
  // 100 from 0.4 is about 0.7; the harmonics of the beep's leak into the bands stay as they were, so
  // the whole output rises by less). Without the drag both seconds measure alike.
  ASSERT_EQ(dragged.bgra.size(), shown.bgra.size());
  EXPECT_FALSE(dragged.bgra == shown.bgra);
  Wav out;
  std::string error;
  ASSERT_TRUE(wavRead("jalv-output.wav", out, error)) << error;
  const double before = rms(out, 0.1, 1.1), after = rms(out, 1.9, 2.9);
  EXPECT_GT(before, 0.01);
  EXPECT_GT(after / before, 1.1) << before << " then " << after;
  EXPECT_LT(after / before, 2.1) << before << " then " << after;
}

}  // namespace
