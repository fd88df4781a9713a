// The command interpreter in text mode over a script of lines, as kvsh and piperun run them.
// "$N" in a line stands for the first word of the answer of line N (0 to 9), so that later lines
// reach the objects the earlier ones made; a line "run" runs every live pipe once. At the end
// of the input every object still alive is deleted, the effects first, so that each input starts
// from nothing. Lines with -com are left out: it takes the address of a function to call, which
// only a program can give.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <list>
#include <string>
#include <vector>

#include "KV/Effect/Effect.h"
#include "KV/Live.h"
#include "KV/Spcpp.h"
#include "KV_cfuncs.h"

namespace {

constexpr size_t MAX_LINES = 24;
constexpr int MAX_RUNS = 4;
constexpr long MAX_LENGTH = 4096;  // buffer and block lengths: a bigger one only costs memory

// The line with every $N replaced by answer N.
std::string substitute(const std::string& line, const std::vector<std::string>& answers) {
  std::string out;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '$' && i + 1 < line.size() && line[i + 1] >= '0' && line[i + 1] <= '9') {
      size_t n = static_cast<size_t>(line[i + 1] - '0');
      if (n < answers.size()) out += answers[n];
      ++i;
    } else {
      out += line[i];
    }
  }
  return out;
}

// True when an -l or -bl word is followed by a number beyond MAX_LENGTH.
bool asksTooMuch(const std::string& line) {
  for (size_t at = line.find("-l"); at != std::string::npos; at = line.find("-l", at + 1)) {
    size_t v = line.find(' ', at);
    if (v != std::string::npos && std::labs(std::strtol(line.c_str() + v + 1, nullptr, 10)) > MAX_LENGTH) return true;
    if (v != std::string::npos && std::strtod(line.c_str() + v + 1, nullptr) > MAX_LENGTH) return true;
  }
  for (size_t at = line.find("-bl"); at != std::string::npos; at = line.find("-bl", at + 1)) {
    size_t v = line.find(' ', at);
    if (v != std::string::npos && std::strtod(line.c_str() + v + 1, nullptr) > MAX_LENGTH) return true;
  }
  return false;
}

// Placeholders would take arguments that a script line does not have; the lone % takes none.
bool hasPlaceholder(const std::string& line) {
  for (size_t i = 0; i + 1 < line.size(); ++i)
    if (line[i] == '%' && std::strchr("fios", line[i + 1])) return true;
  return false;
}

template <class T>
std::vector<T*> live() {
  std::vector<T*> found;
  KV_forEachLive(
      [](KV_Object* o, void* to) {
        if (T* t = dynamic_cast<T*>(o); t && !KV_isLive(o, KV_LIVE_OWNED))
          static_cast<std::vector<T*>*>(to)->push_back(t);
      },
      &found);
  return found;
}

void runPipes() {
  for (KV_Soundpipe* p : live<KV_Soundpipe>()) p->process();
}

// Deletes one object a caller owns, an effect before anything else; false when none is left.
bool deleteOne() {
  std::vector<KV_Effect*> effects = live<KV_Effect>();
  if (!effects.empty()) {
    delete effects.front();
    return true;
  }
  std::vector<KV_Object*> rest = live<KV_Object>();
  if (rest.empty()) return false;
  delete rest.front();
  return true;
}

}  // namespace

// The fatal-error reports of missing resources and bad headers are expected here: not shown.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  KV_set_error_presenter([](const char*, const char*) { return 1; });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::list<std::string> texts;  // objects point into their commands: kept to the end
  std::vector<std::string> answers;
  int runs = 0;
  const char* p = reinterpret_cast<const char*>(data);
  std::string script(p, size);
  size_t start = 0;
  while (start <= script.size() && answers.size() < MAX_LINES) {
    size_t end = script.find('\n', start);
    if (end == std::string::npos) end = script.size();
    std::string line = substitute(script.substr(start, end - start), answers);
    start = end + 1;
    line = line.substr(0, std::strlen(line.c_str()));  // a NUL ends the line, as in a C string
    std::string answer;
    if (line == "run") {
      if (runs++ < MAX_RUNS) runPipes();
    } else if (!asksTooMuch(line) && !hasPlaceholder(line) && line.find("-com") == std::string::npos) {
      texts.push_back(line);
      char out[512];
      int capacity = sizeof out;
      va_list none{};
      if (spcpp_run(SPCPP_TEXT, texts.back().data(), out, &capacity, none) == KV_OK)
        answer.assign(out, static_cast<size_t>(capacity));
    }
    answers.push_back(answer.substr(0, answer.find(' ')));
  }
  while (deleteOne()) {
  }
  KV_currentpipe = nullptr;
  return 0;
}
