// What every command-line tool of the tree answers alike: --help prints the usage on standard
// output, --version the version, and a wrong usage a short message and the usage on standard
// error with status 2. A failure is status 1 with one line that says what to do.
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#ifndef KV_VERSION
#define KV_VERSION "unknown"
#endif

namespace cli {

constexpr int kFailure = 1;
constexpr int kWrongUsage = 2;

struct Tool {
  const char* name;   // as the user types it
  const char* usage;  // the whole usage text, starting "usage: ", ending in a newline
};

// When the arguments ask for --help or --version, prints the answer on standard output and
// gives true (the program then exits 0).
inline bool answered(const Tool& tool, int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
      std::fputs(tool.usage, stdout);
      return true;
    }
    if (!std::strcmp(argv[i], "--version")) {
      std::printf("%s (Varnex) %s\n", tool.name, KV_VERSION);
      return true;
    }
  }
  return false;
}

// "NAME: MESSAGE" and the usage on standard error; the status of a wrong usage.
inline int wrongUsage(const Tool& tool, const std::string& message) {
  std::fprintf(stderr, "%s: %s\n%s", tool.name, message.c_str(), tool.usage);
  return kWrongUsage;
}

// "NAME: MESSAGE" on standard error; the status of a failure.
inline int fail(const Tool& tool, const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", tool.name, message.c_str());
  return kFailure;
}

// A whole decimal number in [lo, hi]; false for anything else ("12x", "", out of range).
inline bool parseInt(const char* text, int lo, int hi, int& out) {
  if (!text || !*text) return false;
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (*end || v < lo || v > hi) return false;
  out = static_cast<int>(v);
  return true;
}

// A decimal number (a fraction allowed) in [lo, hi].
inline bool parseNumber(const char* text, double lo, double hi, double& out) {
  if (!text || !*text) return false;
  char* end = nullptr;
  const double v = std::strtod(text, &end);
  if (*end || !(v >= lo && v <= hi)) return false;
  out = v;
  return true;
}

// A long job's progress on standard error, "NAME: WHAT 42%", rewritten in place; only when
// standard error is a terminal and the job has run for more than a second, so that a short job or
// a log file sees nothing.
class Progress {
 public:
  Progress(const Tool& tool, const char* what) : tool_(tool), what_(what) {
#if defined(_WIN32)
    terminal_ = _isatty(2) != 0;
#else
    terminal_ = isatty(2) != 0;
#endif
  }
  ~Progress() {
    if (shown_ >= 0) std::fputc('\n', stderr);
  }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  void operator()(size_t done, size_t total) {
    if (!terminal_ || total == 0) return;
    const int percent = static_cast<int>(done * 100 / total);
    if (percent == shown_ || std::chrono::steady_clock::now() - start_ < std::chrono::seconds(1)) return;
    shown_ = percent;
    std::fprintf(stderr, "\r%s: %s %d%%", tool_.name, what_, percent);
    std::fflush(stderr);
  }

 private:
  const Tool& tool_;
  const char* what_;
  bool terminal_ = false;
  int shown_ = -1;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace cli
