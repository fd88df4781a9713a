// The window class of the platform this is built for: the one an editor owns.
#pragma once

#if defined(_WIN32)
#include "KV/Win/Win_Win32.h"
using KV_Win_Native = KV_Win_Win32;
using KV_Win_Parent = HWND;
#else
#include "KV/Win/Win_X11.h"
using KV_Win_Native = KV_Win_X11;
using KV_Win_Parent = void*;
#endif
