#include "KV/Dlg/File_Win32.h"

#include <cstring>

#include "KV/Win/Win_Win32.h"

KV_Dlg_File_Win32::KV_Dlg_File_Win32(KV_Win_Win32* window_, const char* filter_) : window(window_), filter(filter_) {
  std::memset(&record, 0, sizeof record);
  fileName[0] = '\0';
  record.lStructSize = sizeof record;
  record.hInstance = GetModuleHandleA(nullptr);
  record.lpstrFilter = filter;
  record.nFilterIndex = 0;
  record.lpstrFile = fileName;
  record.nMaxFile = PATH_SIZE;
  record.lpstrInitialDir = ".";
  record.lpstrTitle = "File preset";
  record.lpstrDefExt = "bin";
}

HWND KV_Dlg_File_Win32::owner() const { return window ? window->parent : nullptr; }

const char* KV_Dlg_File_Win32::open() {
  record.hwndOwner = owner();
  record.Flags = OPEN_FLAGS;
  return GetOpenFileNameA(&record) ? fileName : nullptr;
}

const char* KV_Dlg_File_Win32::save() {
  record.hwndOwner = owner();
  record.Flags = SAVE_FLAGS;
  return GetSaveFileNameA(&record) ? fileName : nullptr;
}
