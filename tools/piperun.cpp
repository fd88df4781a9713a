// piperun: builds a sound pipe from a command script and feeds a WAV file through it, block by
// block, from a named input buffer to a named output buffer.
//
//   piperun SCRIPT IN.wav OUT.wav [--in NAME] [--out NAME] [--pipe NAME]
//
// A script line is a command as kvsh takes it; "NAME = command" keeps the first word of the
// command's answer (the reference of the object it made) under NAME, and "$NAME" anywhere in a
// later line stands for that reference. Lines starting with # are comments. The defaults are the
// names "pipe", "in" and "out". The script leaves the pipe current or ends it; piperun ends it.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "AudioFile.h"
#include "KV/Effect/Soundpipe.h"
#include "KV/Spcpp.h"
#include "cli.h"

namespace {

const cli::Tool kTool = {
    "piperun",
    "usage: piperun SCRIPT IN.wav OUT.wav [--in NAME] [--out NAME] [--pipe NAME]\n"
    "Builds a sound pipe from a script of kvsh commands and runs IN.wav through it (its first\n"
    "channel), from the buffer named 'in' to the buffer named 'out', into OUT.wav.\n"
    "  NAME = command   keeps the reference the command answers under NAME; $NAME stands for it\n"
    "  --in, --out, --pipe NAME   other names for the input, output and pipe (default in, out, pipe)\n"
    "  --help, --version\n"};

std::map<std::string, std::string> names;

std::string trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r\n"), b = s.find_last_not_of(" \t\r\n");
  return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

// Replaces every $NAME with its reference; false when a name is unknown.
bool substitute(std::string& line, std::string& missing) {
  std::string out;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] != '$') {
      out += line[i];
      continue;
    }
    size_t j = i + 1;
    while (j < line.size() && (std::isalnum(static_cast<unsigned char>(line[j])) || line[j] == '_')) ++j;
    std::string name = line.substr(i + 1, j - i - 1);
    auto it = names.find(name);
    if (it == names.end()) {
      missing = name;
      return false;
    }
    out += it->second;
    i = j - 1;
  }
  line = out;
  return true;
}

// Runs one command in text mode; the text stays allocated, as objects keep pointing into it.
bool runCommand(const std::string& command, std::string& answer) {
  static std::vector<std::unique_ptr<char[]>> kept;
  kept.emplace_back(new char[command.size() + 1]);
  char* text = kept.back().get();
  std::memcpy(text, command.c_str(), command.size() + 1);
  char out[4096];
  int capacity = sizeof out - 1;
  va_list none{};
  KV_error e = spcpp_run(SPCPP_TEXT, text, out, &capacity, none);
  if (e != KV_OK) {
    std::fprintf(stderr, "piperun: %s: %s\n", command.c_str(), e.text);
    return false;
  }
  answer.assign(out, static_cast<size_t>(capacity));
  return true;
}

bool runScript(const char* path) {
  std::FILE* f = std::fopen(path, "rb");
  if (!f) {
    std::fprintf(stderr, "piperun: cannot open %s\n", path);
    return false;
  }
  char buf[4096];
  int lineNo = 0;
  bool ok = true;
  while (ok && std::fgets(buf, sizeof buf, f)) {
    ++lineNo;
    std::string line = trim(buf);
    if (line.empty() || line[0] == '#') continue;
    std::string name;
    size_t eq = line.find(" = ");
    if (eq != std::string::npos && line.find(' ') == eq) {
      name = line.substr(0, eq);
      line = trim(line.substr(eq + 3));
    }
    std::string missing, answer;
    bool placeholder = false;
    for (size_t i = 0; i + 1 < line.size(); ++i)
      if (line[i] == '%' && std::strchr("fios", line[i + 1])) placeholder = true;
    if (placeholder) {
      std::fprintf(stderr, "piperun: %s:%d: placeholders take arguments; write values\n", path, lineNo);
      ok = false;
    } else if (!substitute(line, missing)) {
      std::fprintf(stderr, "piperun: %s:%d: no object named '%s'\n", path, lineNo, missing.c_str());
      ok = false;
    } else if (!runCommand(line, answer)) {
      ok = false;
    } else if (!name.empty()) {
      names[name] = answer.substr(0, answer.find(' '));
    }
  }
  std::fclose(f);
  return ok;
}

template <class T>
T* object(const std::string& name) {
  auto it = names.find(name);
  if (it == names.end()) return nullptr;
  return reinterpret_cast<T*>(static_cast<uintptr_t>(std::strtoull(it->second.c_str(), nullptr, 16)));
}

// Deletes what the script built: the effects, then the buffers, then the pipe.
void teardown(KV_Soundpipe* pipe) {
  while (pipe->effects.count) delete static_cast<KV_Object*>(pipe->effects.first()->owner);
  while (pipe->buffers.count) delete static_cast<KV_Object*>(pipe->buffers.first()->owner);
  delete pipe;
}

}  // namespace

int main(int argc, char** argv) {
  if (cli::answered(kTool, argc, argv)) return 0;
  std::vector<const char*> files;
  std::string inName = "in", outName = "out", pipeName = "pipe";
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    std::string* target = a == "--in" ? &inName : a == "--out" ? &outName : a == "--pipe" ? &pipeName : nullptr;
    if (target) {
      if (i + 1 >= argc) return cli::wrongUsage(kTool, a + " needs a name");
      *target = argv[++i];
    } else if (a.size() > 1 && a[0] == '-') {
      return cli::wrongUsage(kTool, "unknown option " + a);
    } else {
      files.push_back(argv[i]);
    }
  }
  if (files.size() != 3) return cli::wrongUsage(kTool, "SCRIPT, IN.wav and OUT.wav are needed");
  Wav in;
  std::string error;
  if (!audioRead(files[1], in, error)) {
    std::fprintf(stderr, "piperun: %s\n", error.c_str());
    return 1;
  }
  if (!runScript(files[0])) return 1;
  KV_Soundpipe* pipe = object<KV_Soundpipe>(pipeName);
  KV_Buffer* input = object<KV_Buffer>(inName);
  KV_Buffer* output = object<KV_Buffer>(outName);
  if (!pipe || !input || !output) {
    std::fprintf(stderr, "piperun: the script must name a pipe '%s' and buffers '%s' and '%s'\n", pipeName.c_str(),
                 inName.c_str(), outName.c_str());
    return 1;
  }
  if (KV_currentpipe == pipe) KV_currentpipe = nullptr;
  std::string answer;
  char clock[64];
  std::snprintf(clock, sizeof clock, "%d", in.rate);
  KV_forEach<KV_Object>(pipe->effects, [&](KV_Object* e) {
    char cmd[128];
    std::snprintf(cmd, sizeof cmd, "KV_Effect 0x%llX -clock %s", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(e)), clock);
    runCommand(cmd, answer);
  });
  int32_t block = input->count < output->count ? input->count : output->count;
  if (block <= 0) {
    std::fprintf(stderr, "piperun: the buffers have no samples (was the pipe's -bl set before they were made?)\n");
    return 1;
  }
  Wav out;
  out.channels = 1;
  out.rate = in.rate;
  size_t frames = in.frames();
  out.samples.resize(frames);
  {
    cli::Progress progress(kTool, "running");
    for (size_t pos = 0; pos < frames; pos += static_cast<size_t>(block)) {
      int32_t n = static_cast<int32_t>(frames - pos < static_cast<size_t>(block) ? frames - pos : static_cast<size_t>(block));
      for (int32_t i = 0; i < n; ++i) input->main[i] = KV_sampleOf(in.samples[(pos + static_cast<size_t>(i)) * static_cast<size_t>(in.channels)]);
      pipe->blockLength = n;
      pipe->process();
      for (int32_t i = 0; i < n; ++i) out.samples[pos + static_cast<size_t>(i)] = KV_floatOf(output->main[i]);
      progress(pos + static_cast<size_t>(n), frames);
    }
  }
  std::printf("piperun: %zu frames through %d effects in blocks of %d: %s\n", frames, pipe->effects.count, block, files[2]);
  teardown(pipe);
  if (!audioWrite(files[2], out, false, error)) {
    std::fprintf(stderr, "piperun: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
