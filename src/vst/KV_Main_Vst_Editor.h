// The plug-in's editor: hangs the framework's window into the host's editor window on open,
// lets the application attach its widgets, and undoes both on close. Drawing and mouse handling
// belong to the window and the widgets. Each open chooses the scale (1, or 2 on a high-density
// screen) and lays the product out at it.
#pragma once

#include <memory>

#include "KV/Win/Win_Native.h"
#include "vst/AudioEffect.h"

class KV_Main_Vst;

class KV_Main_Vst_Editor : public AEffEditor {
 public:
  explicit KV_Main_Vst_Editor(KV_Main_Vst* plugin);
  ~KV_Main_Vst_Editor() override;
  KV_Main_Vst_Editor(const KV_Main_Vst_Editor&) = delete;
  KV_Main_Vst_Editor& operator=(const KV_Main_Vst_Editor&) = delete;

  bool getRect(ERect** rect) override;
  bool open(void* parent) override;
  void close() override;
  // Windows delivers the window's messages itself; the X11 window reads its events here.
  void idle() override;

  // The window of the present scale: made again when an open chooses another scale.
  std::unique_ptr<KV_Win_Native> panel;
  KV_Main_Vst* plugin;

 private:
  // The product laid out at `scale` and a window of its size.
  void useScale(int32_t scale);
};
