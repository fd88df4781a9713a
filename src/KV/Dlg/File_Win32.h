// The file dialog on the common-dialog library: one OPENFILENAMEA record filled at construction
// and reused by both calls, owned at each call by the host's window that holds the editor.
#pragma once

#include "KV_windows.h"
#include <commdlg.h>

#include "KV/Dlg/Dlg.h"

class KV_Win_Win32;

class KV_Dlg_File_Win32 : public KV_Dlg_File_Base {
 public:
  KV_Win_Win32* window;  // its parent window (the host's) owns the dialogs; may be null
  const char* filter;    // not owned
  OPENFILENAMEA record;
  char fileName[PATH_SIZE];

  static constexpr DWORD OPEN_FLAGS = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;   // 0x1800
  static constexpr DWORD SAVE_FLAGS = OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT; // 0x802

  KV_Dlg_File_Win32(KV_Win_Win32* window, const char* filter);
  KV_Dlg_File_Win32(const KV_Dlg_File_Win32&) = delete;
  KV_Dlg_File_Win32& operator=(const KV_Dlg_File_Win32&) = delete;

  const char* open() override;
  // The system appends the default extension "bin" when the user types none.
  const char* save() override;

 private:
  HWND owner() const;
};

#if !defined(_WIN64)
static_assert(sizeof(OPENFILENAMEA) == 88, "the dialog record of 32-bit Windows is 88 bytes");
#endif
static_assert(KV_Dlg_File_Win32::OPEN_FLAGS == 0x1800 && KV_Dlg_File_Win32::SAVE_FLAGS == 0x802, "dialog flags");
