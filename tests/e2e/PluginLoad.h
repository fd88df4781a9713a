// What the end-to-end suites share: the plug-in binary loaded once and opened as a host opens it.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "VstHost.h"

inline AEffect* openVarnex() {
  std::string error;
  static VstEntry entry = loadEntry(VARNEX_BINARY, error);
  EXPECT_NE(entry, nullptr) << error;
  if (!entry) return nullptr;
  AEffect* fx = entry(vsthostCallback);
  if (fx) call(fx, effOpen);
  return fx;
}
