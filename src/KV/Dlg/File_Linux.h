// The file dialog on Linux: the desktop's own chooser, zenity (GTK) or else kdialog (KDE), found
// on PATH and run as a child process without a shell, its answer read from its standard output.
// Without either program, or when the user cancels, the answer is none. The rules of the Windows
// dialog are kept: the title "File preset", the filter's patterns, the default extension "bin" on
// saving a name without one, confirmation before replacing a file, an opened file must exist and
// a saved file's folder must exist.
#pragma once

#include <string>
#include <vector>

#include "KV/Dlg/Dlg.h"

class KV_Win;

class KV_Dlg_File_Linux : public KV_Dlg_File_Base {
 public:
  KV_Win* window;      // the editor's window; the chooser is a window of its own
  const char* filter;  // not owned; the common dialogs' form (see KV/Dlg/File.h)
  char fileName[PATH_SIZE];

  KV_Dlg_File_Linux(KV_Win* window, const char* filter);
  KV_Dlg_File_Linux(const KV_Dlg_File_Linux&) = delete;
  KV_Dlg_File_Linux& operator=(const KV_Dlg_File_Linux&) = delete;

  const char* open() override;
  const char* save() override;

  // One filter entry: its description and its patterns.
  struct Filter {
    std::string name;
    std::vector<std::string> patterns;
  };
  static std::vector<Filter> parseFilter(const char* filter);

  // The chooser programs, by preference.
  enum class Chooser { none, zenity, kdialog };
  // The first of zenity and kdialog found as an executable on PATH, and its path.
  static Chooser findChooser(std::string& path);
  // The argument vector (without the program) that asks `kind` for a file.
  static std::vector<std::string> chooserArguments(Chooser kind, bool saving, const std::vector<Filter>& filters);
  // Runs `program` with `args`, no shell; its standard output's first line, trimmed of the line
  // end, when it exits with status 0; false otherwise.
  static bool ask(const std::string& program, const std::vector<std::string>& args, std::string& answer);

 private:
  const char* choose(bool saving);
  bool confirmReplace(Chooser kind, const std::string& program, const std::string& path);
};
