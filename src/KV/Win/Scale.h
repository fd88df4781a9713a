// The scale an editor is shown at: 2 on high-density screens (144 DPI and above), else 1; an
// environment variable set to 1 or 2 overrides the screen.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int32_t KV_Win_BASE_DPI = 96;
constexpr int32_t KV_Win_HIGH_DPI = 144;

// The dots per inch of the window `parent` (a platform window handle) where the system tells them,
// else of its screen (of the default screen without a parent); KV_Win_BASE_DPI when unknown.
int32_t KV_Win_dpi(void* parent);
// The process's environment variable `name` into `out` (cut to `size`); false when it is not set.
bool KV_Win_variable(const char* name, char* out, size_t size);

// 2 at KV_Win_HIGH_DPI and above, else 1.
inline int32_t KV_Win_scaleOfDpi(int32_t dpi) { return dpi >= KV_Win_HIGH_DPI ? 2 : 1; }
// The variable's value when it is exactly "1" or "2"; otherwise the scale of the DPI of `parent`.
int32_t KV_Win_chooseScale(void* parent, const char* variable);
