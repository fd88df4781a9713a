#include "KV/Dlg/File_Linux.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {
constexpr const char* TITLE = "File preset";
constexpr const char* DEFAULT_EXTENSION = ".bin";

bool isFile(const std::string& p) {
  struct stat st;
  return stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool exists(const std::string& p) {
  struct stat st;
  return stat(p.c_str(), &st) == 0;
}

bool isFolder(const std::string& p) {
  struct stat st;
  return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string folderOf(const std::string& p) {
  const size_t slash = p.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : p.substr(0, slash);
}

// The last path component has no dot after its first character: no extension was typed.
bool hasExtension(const std::string& p) {
  const size_t slash = p.rfind('/');
  const size_t start = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = p.rfind('.');
  return dot != std::string::npos && dot > start;
}

void closeBoth(int fds[2]) {
  close(fds[0]);
  close(fds[1]);
}
}  // namespace

KV_Dlg_File_Linux::KV_Dlg_File_Linux(KV_Win* window_, const char* filter_) : window(window_), filter(filter_) {
  fileName[0] = '\0';
}

std::vector<KV_Dlg_File_Linux::Filter> KV_Dlg_File_Linux::parseFilter(const char* f) {
  std::vector<Filter> out;
  if (!f) return out;
  // Pairs of strings until an empty description; a description without its patterns ends it too.
  while (*f) {
    Filter entry;
    entry.name = f;
    f += entry.name.size() + 1;
    if (!*f) break;
    const std::string list = f;
    f += list.size() + 1;
    size_t from = 0;
    while (from <= list.size()) {
      size_t semi = list.find(';', from);
      if (semi == std::string::npos) semi = list.size();
      std::string pattern = list.substr(from, semi - from);
      const size_t a = pattern.find_first_not_of(' '), b = pattern.find_last_not_of(' ');
      if (a != std::string::npos) entry.patterns.push_back(pattern.substr(a, b - a + 1));
      from = semi + 1;
    }
    if (!entry.patterns.empty()) out.push_back(entry);
  }
  return out;
}

KV_Dlg_File_Linux::Chooser KV_Dlg_File_Linux::findChooser(std::string& path) {
  const char* env = std::getenv("PATH");
  const std::string dirs = env ? env : "";
  for (Chooser kind : {Chooser::zenity, Chooser::kdialog}) {
    const char* name = kind == Chooser::zenity ? "zenity" : "kdialog";
    size_t from = 0;
    while (from <= dirs.size()) {
      size_t colon = dirs.find(':', from);
      if (colon == std::string::npos) colon = dirs.size();
      std::string dir = dirs.substr(from, colon - from);
      from = colon + 1;
      if (dir.empty()) continue;  // an empty entry (the current folder) is not searched
      const std::string candidate = dir + "/" + name;
      if (isFile(candidate) && access(candidate.c_str(), X_OK) == 0) {
        path = candidate;
        return kind;
      }
    }
  }
  path.clear();
  return Chooser::none;
}

std::vector<std::string> KV_Dlg_File_Linux::chooserArguments(Chooser kind, bool saving,
                                                             const std::vector<Filter>& filters) {
  std::vector<std::string> args;
  if (kind == Chooser::zenity) {
    args = {"--file-selection", std::string("--title=") + TITLE, "--filename=./"};
    if (saving) {
      args.push_back("--save");
      args.push_back("--confirm-overwrite");
    }
    for (const Filter& f : filters) {
      std::string option = "--file-filter=" + f.name + " |";
      for (const std::string& p : f.patterns) option += " " + p;
      args.push_back(option);
    }
  } else if (kind == Chooser::kdialog) {
    args = {"--title", TITLE, saving ? "--getsavefilename" : "--getopenfilename", "."};
    std::string list;
    for (const Filter& f : filters) {
      if (!list.empty()) list += "\n";
      for (size_t i = 0; i < f.patterns.size(); ++i) list += (i ? " " : "") + f.patterns[i];
      list += "|" + f.name;
    }
    if (!list.empty()) args.push_back(list);
  }
  return args;
}

bool KV_Dlg_File_Linux::ask(const std::string& program, const std::vector<std::string>& args, std::string& answer) {
  answer.clear();
  int out[2];
  if (pipe(out) != 0) return false;
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) {
    closeBoth(out);
    return false;
  }
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawn_file_actions_addclose(&actions, out[1]);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (spawned != 0) {
    close(out[0]);
    return false;
  }
  std::string text;
  char buf[1024];
  for (;;) {
    const ssize_t n = read(out[0], buf, sizeof buf);
    if (n > 0) text.append(buf, static_cast<size_t>(n));
    else if (n == 0 || errno != EINTR) break;
  }
  close(out[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return false;
  const size_t end = text.find('\n');
  answer = text.substr(0, end);
  if (!answer.empty() && answer.back() == '\r') answer.pop_back();
  return true;
}

bool KV_Dlg_File_Linux::confirmReplace(Chooser kind, const std::string& program, const std::string& path) {
  const std::string question = path + " already exists.\nDo you want to replace it?";
  std::vector<std::string> args;
  if (kind == Chooser::zenity) args = {"--question", std::string("--title=") + TITLE, "--text=" + question};
  else args = {"--title", TITLE, "--warningyesno", question};
  std::string ignored;
  return ask(program, args, ignored);
}

const char* KV_Dlg_File_Linux::choose(bool saving) {
  std::string program;
  const Chooser kind = findChooser(program);
  if (kind == Chooser::none) return nullptr;
  std::string path;
  if (!ask(program, chooserArguments(kind, saving, parseFilter(filter)), path) || path.empty()) return nullptr;
  if (saving) {
    if (!isFolder(folderOf(path))) return nullptr;
    // The chooser has confirmed replacing the name it answered; a name that gets the default
    // extension only here is asked about here.
    if (!hasExtension(path)) {
      path += DEFAULT_EXTENSION;
      if (exists(path) && !confirmReplace(kind, program, path)) return nullptr;
    }
  } else if (!isFile(path)) {
    return nullptr;
  }
  if (path.size() >= PATH_SIZE) return nullptr;
  std::memcpy(fileName, path.c_str(), path.size() + 1);
  return fileName;
}

const char* KV_Dlg_File_Linux::open() { return choose(false); }
const char* KV_Dlg_File_Linux::save() { return choose(true); }
