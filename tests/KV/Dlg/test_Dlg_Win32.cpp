// The Windows file dialog on the common dialogs: the record as the constructor fills it, and the
// real open and save dialogs answered from a second thread that finds the window titled
// "File preset": cancelling, a typed name, and "bin" appended to a name typed without extension.
#if defined(_WIN32)
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "KV/Dlg/File.h"

#include <dlgs.h>

namespace {

const char FILTER[] = "Presets (*.bin)\0*.bin\0All files\0*.*\0";

// The top-level window titled "File preset", waited for up to 30 s.
HWND findDialog() {
  for (int i = 0; i < 600; ++i) {
    HWND h = FindWindowA(nullptr, "File preset");
    if (h && IsWindowVisible(h)) return h;
    Sleep(50);
  }
  return nullptr;
}

// Answers the next dialog from a thread of its own: types `name` into the file-name field and
// presses OK, or presses Cancel when `name` is null.
struct Answerer {
  std::thread thread;
  std::atomic<bool> found{false};
  std::atomic<bool> typed{false};

  explicit Answerer(const char* name) {
    std::string text = name ? name : "";
    const bool cancel = name == nullptr;
    thread = std::thread([this, text, cancel] {
      HWND dlg = findDialog();
      if (!dlg) return;
      found = true;
      Sleep(200);  // let the dialog finish filling itself
      if (cancel) {
        PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dlg, IDCANCEL)));
        return;
      }
      // The file-name field is edt1 in some versions of the dialog and the combo box cmb13 in others.
      HWND field = GetDlgItem(dlg, edt1);
      if (!field) field = GetDlgItem(dlg, cmb13);
      if (!field) return;
      typed = SendMessageA(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())) != 0;
      PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dlg, IDOK)));
    });
  }
  ~Answerer() {
    if (thread.joinable()) thread.join();
  }
};

std::string tempFolder() {
  char base[MAX_PATH];
  GetTempPathA(MAX_PATH, base);
  std::string dir = std::string(base) + "kv-dlg-" + std::to_string(GetCurrentProcessId());
  CreateDirectoryA(dir.c_str(), nullptr);
  return dir;
}

void touch(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f) std::fclose(f);
}

bool sameFile(const std::string& a, const std::string& b) {
  char fa[MAX_PATH], fb[MAX_PATH];
  GetLongPathNameA(a.c_str(), fa, MAX_PATH);
  GetLongPathNameA(b.c_str(), fb, MAX_PATH);
  return lstrcmpiA(fa, fb) == 0 || lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

}  // namespace

TEST(DlgWin32Record, TheConstructorFillsTheRecordOnce) {
  KV_Dlg_File dlg(nullptr, FILTER);
  const OPENFILENAMEA& r = dlg.record;
  EXPECT_EQ(r.lStructSize, sizeof(OPENFILENAMEA));
#if !defined(_WIN64)
  EXPECT_EQ(r.lStructSize, 88u);
#endif
  EXPECT_EQ(r.hwndOwner, nullptr);
  EXPECT_EQ(r.hInstance, GetModuleHandleA(nullptr));
  EXPECT_EQ(r.lpstrFilter, FILTER);
  EXPECT_EQ(r.lpstrCustomFilter, nullptr);
  EXPECT_EQ(r.nFilterIndex, 0u);
  EXPECT_EQ(r.lpstrFile, dlg.fileName);
  EXPECT_EQ(r.nMaxFile, 4096u);
  EXPECT_EQ(r.lpstrFileTitle, nullptr);
  EXPECT_STREQ(r.lpstrInitialDir, ".");
  EXPECT_STREQ(r.lpstrTitle, "File preset");
  EXPECT_EQ(r.Flags, 0u);
  EXPECT_STREQ(r.lpstrDefExt, "bin");
  EXPECT_EQ(r.lpfnHook, nullptr);
  EXPECT_EQ(r.lpTemplateName, nullptr);
  EXPECT_EQ(dlg.fileName[0], '\0');
}

TEST(DlgWin32, OpenAnswersTheTypedFileAndCancelKeepsIt) {
  const std::string dir = tempFolder();
  const std::string preset = dir + "\\bass.bin";
  touch(preset);
  KV_Dlg_File dlg(nullptr, FILTER);
  const char* got;
  {
    Answerer a(preset.c_str());
    got = dlg.open();
    a.thread.join();
    ASSERT_TRUE(a.found);
    EXPECT_TRUE(a.typed);
  }
  EXPECT_EQ(dlg.record.Flags & 0x1800u, 0x1800u);
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got, dlg.fileName);
  EXPECT_TRUE(sameFile(got, preset)) << got;
  const std::string before = dlg.fileName;
  {
    Answerer a(nullptr);
    got = dlg.open();
    a.thread.join();
    ASSERT_TRUE(a.found);
  }
  EXPECT_EQ(got, nullptr);
  EXPECT_EQ(before, dlg.fileName);
  DeleteFileA(preset.c_str());
  RemoveDirectoryA(dir.c_str());
}

TEST(DlgWin32, SaveAppendsBinToANameTypedWithoutExtension) {
  const std::string dir = tempFolder();
  KV_Dlg_File dlg(nullptr, FILTER);
  const char* got;
  {
    Answerer a((dir + "\\fresh").c_str());
    got = dlg.save();
    a.thread.join();
    ASSERT_TRUE(a.found);
  }
  EXPECT_EQ(dlg.record.Flags & 0x802u, 0x802u);
  ASSERT_NE(got, nullptr);
  EXPECT_TRUE(sameFile(got, dir + "\\fresh.bin")) << got;
  {
    Answerer a((dir + "\\typed.dat").c_str());
    got = dlg.save();
    a.thread.join();
  }
  ASSERT_NE(got, nullptr);
  EXPECT_TRUE(sameFile(got, dir + "\\typed.dat")) << got;
  const std::string before = dlg.fileName;
  {
    Answerer a(nullptr);
    got = dlg.save();
    a.thread.join();
    ASSERT_TRUE(a.found);
  }
  EXPECT_EQ(got, nullptr);
  EXPECT_EQ(before, dlg.fileName);
  RemoveDirectoryA(dir.c_str());
}
#endif
