// The Linux file dialog: which chooser it finds on PATH, the arguments it gives zenity and kdialog
// (title, filters, saving with overwrite confirmation), the answers it accepts (existing file to
// open, existing folder to save in, "bin" appended with its own confirmation), cancelling, and no
// chooser at all. The choosers are stand-in scripts that record their arguments and answer what
// the test tells them.
#if !defined(_WIN32)
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "KV/Dlg/File.h"

namespace {

const char FILTER[] = "Presets (*.bin)\0*.bin;*.fxp\0All files\0*.*\0";

void writeText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A chooser stand-in: logs "CALL" and each argument, NUL-separated, into $KV_DLG_LOG; answers
// --question with $KV_DLG_QUESTION (exit status); otherwise prints $KV_DLG_ANSWER and exits 0,
// or exits 1 (cancel) when it is unset.
const char* const STANDIN =
    "#!/bin/sh\n"
    "printf 'CALL\\0' >> \"$KV_DLG_LOG\"\n"
    "for a in \"$@\"; do printf '%s\\0' \"$a\" >> \"$KV_DLG_LOG\"; done\n"
    "case \"$1\" in --question|--warningyesno) exit \"${KV_DLG_QUESTION:-0}\";; esac\n"
    "case \"$3\" in --warningyesno) exit \"${KV_DLG_QUESTION:-0}\";; esac\n"
    "[ -n \"${KV_DLG_ANSWER+x}\" ] || exit 1\n"
    "printf '%s\\r\\n' \"$KV_DLG_ANSWER\"\n";

struct DlgLinux : testing::Test {
  std::string root, bin, other, files, log;
  std::string oldPath;
  bool hadPath = false;

  void SetUp() override {
    char tmpl[] = "/tmp/kv-dlg-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root = tmpl;
    bin = root + "/bin";
    other = root + "/other";
    files = root + "/files";
    log = root + "/log";
    mkdir(bin.c_str(), 0755);
    mkdir(other.c_str(), 0755);
    mkdir(files.c_str(), 0755);
    if (const char* p = std::getenv("PATH")) {
      hadPath = true;
      oldPath = p;
    }
    setenv("PATH", bin.c_str(), 1);
    setenv("KV_DLG_LOG", log.c_str(), 1);
    unsetenv("KV_DLG_ANSWER");
    unsetenv("KV_DLG_QUESTION");
  }
  void TearDown() override {
    if (hadPath) setenv("PATH", oldPath.c_str(), 1);
    else unsetenv("PATH");
    unsetenv("KV_DLG_LOG");
    unsetenv("KV_DLG_ANSWER");
    unsetenv("KV_DLG_QUESTION");
    std::string cmd = "rm -rf '" + root + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }

  void standIn(const std::string& dir, const char* name, mode_t mode = 0755) {
    const std::string p = dir + "/" + name;
    writeText(p, STANDIN);
    chmod(p.c_str(), mode);
  }
  // Every call the stand-ins received, each as its argument list (the program's name first).
  std::vector<std::vector<std::string>> calls() const {
    std::ifstream in(log, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string all = ss.str();
    std::vector<std::vector<std::string>> out;
    size_t from = 0;
    while (from < all.size()) {
      const size_t end = all.find('\0', from);
      const std::string arg = all.substr(from, end - from);
      from = end + 1;
      if (arg == "CALL") out.emplace_back();
      else if (!out.empty()) out.back().push_back(arg);
    }
    return out;
  }
  static bool has(const std::vector<std::string>& args, const std::string& a) {
    for (const std::string& s : args)
      if (s == a) return true;
    return false;
  }
};

}  // namespace

TEST(DlgFilter, PairsBecomeNamedPatternLists) {
  const auto f = KV_Dlg_File_Linux::parseFilter(FILTER);
  ASSERT_EQ(f.size(), 2u);
  EXPECT_EQ(f[0].name, "Presets (*.bin)");
  EXPECT_EQ(f[0].patterns, (std::vector<std::string>{"*.bin", "*.fxp"}));
  EXPECT_EQ(f[1].name, "All files");
  EXPECT_EQ(f[1].patterns, (std::vector<std::string>{"*.*"}));
  EXPECT_TRUE(KV_Dlg_File_Linux::parseFilter(nullptr).empty());
  EXPECT_TRUE(KV_Dlg_File_Linux::parseFilter("").empty());
  // A description whose pattern string is missing ends the list.
  EXPECT_EQ(KV_Dlg_File_Linux::parseFilter("One\0*.a\0Two\0").size(), 1u);
}

TEST_F(DlgLinux, ZenityOpensWithTheTitleAndFiltersAndAnswersAnExistingFile) {
  standIn(bin, "zenity");
  const std::string preset = files + "/bass.bin";
  writeText(preset, "x");
  setenv("KV_DLG_ANSWER", preset.c_str(), 1);
  KV_Dlg_File dlg(nullptr, FILTER);
  EXPECT_EQ(dlg.fileName[0], '\0');
  const char* got = dlg.open();
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got, dlg.fileName);
  EXPECT_STREQ(got, preset.c_str());  // the "\r\n" after the answer is trimmed
  const auto c = calls();
  ASSERT_EQ(c.size(), 1u);
  EXPECT_EQ(c[0], (std::vector<std::string>{"--file-selection", "--title=File preset", "--filename=./",
                                             "--file-filter=Presets (*.bin) | *.bin *.fxp",
                                             "--file-filter=All files | *.*"}));
  // A name that does not exist is not opened; the previous path stays.
  setenv("KV_DLG_ANSWER", (files + "/missing.bin").c_str(), 1);
  EXPECT_EQ(dlg.open(), nullptr);
  EXPECT_STREQ(dlg.fileName, preset.c_str());
  // Nor is a folder.
  setenv("KV_DLG_ANSWER", files.c_str(), 1);
  EXPECT_EQ(dlg.open(), nullptr);
}

TEST_F(DlgLinux, CancellingAnswersNoneAndKeepsThePreviousPath) {
  standIn(bin, "zenity");
  const std::string preset = files + "/lead.bin";
  writeText(preset, "x");
  KV_Dlg_File dlg(nullptr, FILTER);
  setenv("KV_DLG_ANSWER", preset.c_str(), 1);
  ASSERT_NE(dlg.open(), nullptr);
  unsetenv("KV_DLG_ANSWER");  // the stand-in now exits 1, as a cancelled chooser does
  EXPECT_EQ(dlg.open(), nullptr);
  EXPECT_EQ(dlg.save(), nullptr);
  EXPECT_STREQ(dlg.fileName, preset.c_str());
  // An empty answer with status 0 is no choice either.
  setenv("KV_DLG_ANSWER", "", 1);
  EXPECT_EQ(dlg.save(), nullptr);
  EXPECT_STREQ(dlg.fileName, preset.c_str());
  EXPECT_EQ(calls().size(), 4u);
}

TEST_F(DlgLinux, ZenitySavesWithOverwriteConfirmationAndAppendsBin) {
  standIn(bin, "zenity");
  KV_Dlg_File dlg(nullptr, FILTER);
  setenv("KV_DLG_ANSWER", (files + "/new").c_str(), 1);
  const char* got = dlg.save();
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(std::string(got), files + "/new.bin");
  auto c = calls();
  ASSERT_EQ(c.size(), 1u);  // nothing to confirm: new.bin does not exist
  EXPECT_TRUE(has(c[0], "--save"));
  EXPECT_TRUE(has(c[0], "--confirm-overwrite"));
  EXPECT_TRUE(has(c[0], "--title=File preset"));
  // A typed extension is kept; a dot in a folder name is no extension.
  setenv("KV_DLG_ANSWER", (files + "/patch.dat").c_str(), 1);
  EXPECT_EQ(std::string(dlg.save()), files + "/patch.dat");
  mkdir((files + "/v1.2").c_str(), 0755);
  setenv("KV_DLG_ANSWER", (files + "/v1.2/pad").c_str(), 1);
  EXPECT_EQ(std::string(dlg.save()), files + "/v1.2/pad.bin");
  // The folder must exist.
  setenv("KV_DLG_ANSWER", (files + "/nowhere/x.bin").c_str(), 1);
  EXPECT_EQ(dlg.save(), nullptr);
  EXPECT_EQ(std::string(dlg.fileName), files + "/v1.2/pad.bin");
}

TEST_F(DlgLinux, ReplacingAFileThatOnlyTheDefaultExtensionNamesIsAskedFirst) {
  standIn(bin, "zenity");
  writeText(files + "/old.bin", "x");
  KV_Dlg_File dlg(nullptr, FILTER);
  setenv("KV_DLG_ANSWER", (files + "/old").c_str(), 1);
  setenv("KV_DLG_QUESTION", "1", 1);  // "No"
  EXPECT_EQ(dlg.save(), nullptr);
  EXPECT_EQ(dlg.fileName[0], '\0');
  auto c = calls();
  ASSERT_EQ(c.size(), 2u);
  EXPECT_EQ(c[1][0], "--question");
  EXPECT_EQ(c[1][1], "--title=File preset");
  EXPECT_NE(c[1][2].find(files + "/old.bin already exists"), std::string::npos);
  setenv("KV_DLG_QUESTION", "0", 1);  // "Yes"
  EXPECT_EQ(std::string(dlg.save()), files + "/old.bin");
}

TEST_F(DlgLinux, KdialogIsUsedWhenZenityIsMissingOrNotExecutable) {
  standIn(bin, "zenity", 0644);  // present but not executable: skipped
  standIn(bin, "kdialog");
  const std::string preset = files + "/pad.fxp";
  writeText(preset, "x");
  setenv("KV_DLG_ANSWER", preset.c_str(), 1);
  KV_Dlg_File dlg(nullptr, FILTER);
  EXPECT_STREQ(dlg.open(), preset.c_str());
  setenv("KV_DLG_ANSWER", (files + "/saved").c_str(), 1);
  EXPECT_EQ(std::string(dlg.save()), files + "/saved.bin");
  const auto c = calls();
  ASSERT_EQ(c.size(), 2u);
  EXPECT_EQ(c[0], (std::vector<std::string>{"--title", "File preset", "--getopenfilename", ".",
                                             "*.bin *.fxp|Presets (*.bin)\n*.*|All files"}));
  EXPECT_EQ(c[1][2], "--getsavefilename");
  // kdialog asks about a replaced file with --warningyesno.
  writeText(files + "/saved.bin", "x");
  setenv("KV_DLG_QUESTION", "1", 1);
  EXPECT_EQ(dlg.save(), nullptr);
  const auto d = calls();
  ASSERT_EQ(d.size(), 4u);
  EXPECT_EQ(d[3][2], "--warningyesno");
}

TEST_F(DlgLinux, ZenityIsPreferredAndPathOrderDecides) {
  standIn(other, "kdialog");
  standIn(bin, "zenity");
  setenv("PATH", (other + "::" + bin).c_str(), 1);  // kdialog earlier, zenity still preferred
  std::string path;
  EXPECT_EQ(KV_Dlg_File_Linux::findChooser(path), KV_Dlg_File_Linux::Chooser::zenity);
  EXPECT_EQ(path, bin + "/zenity");
  standIn(other, "zenity");
  EXPECT_EQ(KV_Dlg_File_Linux::findChooser(path), KV_Dlg_File_Linux::Chooser::zenity);
  EXPECT_EQ(path, other + "/zenity");
}

TEST_F(DlgLinux, WithoutAChooserTheAnswerIsNone) {
  standIn(other, "zenity");  // not on PATH
  KV_Dlg_File dlg(nullptr, FILTER);
  std::string path = "x";
  EXPECT_EQ(KV_Dlg_File_Linux::findChooser(path), KV_Dlg_File_Linux::Chooser::none);
  EXPECT_TRUE(path.empty());
  EXPECT_EQ(dlg.open(), nullptr);
  EXPECT_EQ(dlg.save(), nullptr);
  unsetenv("PATH");
  EXPECT_EQ(dlg.open(), nullptr);
  EXPECT_TRUE(calls().empty());
}

TEST_F(DlgLinux, NamesReachTheProgramAndComeBackUnquoted) {
  standIn(bin, "zenity");
  // Characters a shell would act on: quotes, $, ;, a backquote and spaces.
  const std::string odd = files + "/it's a \"pre set\" $HOME;`x` & |.bin";
  writeText(odd, "x");
  setenv("KV_DLG_ANSWER", odd.c_str(), 1);
  KV_Dlg_File dlg(nullptr, "Odd ';$(id)\0*.bin\0");
  EXPECT_STREQ(dlg.open(), odd.c_str());
  const auto c = calls();
  ASSERT_EQ(c.size(), 1u);
  EXPECT_EQ(c[0].back(), "--file-filter=Odd ';$(id) | *.bin");
  // The stand-in's answer is taken from its first line only.
  const std::string both = files + "/first.bin";
  writeText(both, "x");
  writeText(bin + "/zenity", std::string("#!/bin/sh\nprintf '%s\\nsecond\\n' '") + both + "'\n");
  chmod((bin + "/zenity").c_str(), 0755);
  EXPECT_STREQ(dlg.open(), both.c_str());
}
#endif
