// The dialogs: KV_Dlg is the base of every dialog and holds nothing but the table of virtual
// operations; KV_Dlg_File_Base is the file dialog's interface. Dialogs are plain classes made
// with new, not objects of the command language.
#pragma once

class KV_Dlg {
 protected:
  KV_Dlg() = default;
  ~KV_Dlg() = default;
};

// Asks the user for the path of a preset to load (open) or to save to (save). Both answer the
// chosen path, which lives in the dialog and is overwritten by the next call, or null when the
// user cancels or no dialog can be shown; the previous path then stays in the dialog. Both are
// modal: they return when the user has closed the dialog.
class KV_Dlg_File_Base : public KV_Dlg {
 public:
  virtual const char* open() = 0;
  virtual const char* save() = 0;
  virtual ~KV_Dlg_File_Base() = default;

  static constexpr unsigned PATH_SIZE = 4096;  // characters of the path buffer, its zero included
};
