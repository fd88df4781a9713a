// The application template: all that the plug-in binding knows of a product.
#pragma once

#include "KV/KV.h"
#include "KV_cfuncs.h"

class KV_Apptpl {
 public:
  KV_API KV_Apptpl();
  virtual ~KV_Apptpl() = default;

  // Creates the graph, the widgets and the parameter values; sets width and height.
  virtual KV_error build() = 0;
  virtual KV_error attachWindow(KV_Object* window) = 0;
  virtual KV_error detachWindow() = 0;
  virtual KV_error destroy() = 0;
  // Whether the host is to save the state as one opaque block.
  virtual bool hasState() { return false; }
  virtual KV_value saveState() { return KV_value(KV_EMPTY.val, KV_EMPTY.type, KV_EMPTY.len); }
  virtual void loadState(KV_value) {}
};
