// kvsh: runs each line of standard input (or of a script file) through the command interpreter
// in text mode and prints the result text, or the message of the error code.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "KV/Spcpp.h"
#include "cli.h"

namespace {

const cli::Tool kTool = {
    "kvsh",
    "usage: kvsh [SCRIPT]\n"
    "Runs each line of SCRIPT (or of standard input) through the framework's command interpreter in\n"
    "text mode and prints its answer, or the error's message. Lines starting with # are comments.\n"
    "  example: KV_Buffer -l 64 -l     answers the new buffer's reference and its length\n"
    "  --help, --version\n"};

// Objects keep a pointer to their creating command, so every line stays allocated for the
// life of the shell.
char* keep(const std::string& line) {
  char* text = static_cast<char*>(std::malloc(line.size() + 1));
  std::memcpy(text, line.c_str(), line.size() + 1);
  return text;
}

bool readLine(std::FILE* in, std::string& line) {
  line.clear();
  int c;
  while ((c = std::fgetc(in)) != EOF && c != '\n') line.push_back(static_cast<char>(c));
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return c != EOF || !line.empty();
}

// Placeholders would take arguments that a typed line does not have.
bool hasPlaceholder(const std::string& line) {
  for (size_t i = 0; i + 1 < line.size(); ++i)
    if (line[i] == '%' && std::strchr("fios", line[i + 1])) return true;
  return false;
}

int runLine(const std::string& line) {
  if (hasPlaceholder(line)) {
    std::printf("kvsh: write values in the line; placeholders take arguments\n");
    return 1;
  }
  char result[4096];
  int capacity = sizeof result - 1;
  va_list none{};
  KV_error e = spcpp_run(SPCPP_TEXT, keep(line), result, &capacity, none);
  std::fflush(stdout);
  if (e == KV_OK) {
    std::printf("%.*s\n", capacity, result);
    return 0;
  }
  std::printf("error: %s\n", e.text);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (cli::answered(kTool, argc, argv)) return 0;
  if (argc > 2) return cli::wrongUsage(kTool, "one script at most");
  if (argc == 2 && argv[1][0] == '-' && argv[1][1]) return cli::wrongUsage(kTool, std::string("unknown option ") + argv[1]);
  std::FILE* in = stdin;
  if (argc == 2 && std::strcmp(argv[1], "-") != 0) {
    in = std::fopen(argv[1], "rb");
    if (!in) return cli::fail(kTool, std::string("cannot open ") + argv[1]);
  }
  int failures = 0;
  std::string line;
  while (readLine(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    failures += runLine(line);
  }
  return failures ? 1 : 0;
}
