// The file dialog to instantiate: the common dialogs on Windows, the desktop's own chooser on
// Linux. Construct it with the editor's window (or null) and a filter in the common dialogs' form:
// pairs of zero-terminated strings, a description and its patterns separated by ';', ended by an
// empty string, for example "Presets (*.bin)\0*.bin\0All files\0*.*\0".
#pragma once

#if defined(_WIN32)
#include "KV/Dlg/File_Win32.h"
using KV_Dlg_File_Platform = KV_Dlg_File_Win32;
#else
#include "KV/Dlg/File_Linux.h"
using KV_Dlg_File_Platform = KV_Dlg_File_Linux;
#endif

class KV_Dlg_File : public KV_Dlg_File_Platform {
 public:
  using KV_Dlg_File_Platform::KV_Dlg_File_Platform;
};
