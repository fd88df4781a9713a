// The text widget the command KV_Wid_Text creates: the platform's text drawing (GDI on Windows,
// FreeType on Linux) over the common settings.
#pragma once

#if defined(_WIN32)
#include "KV/Wid/Text_Win32.h"
using KV_Wid_Text_Platform = KV_Wid_Text_Win32;
#else
#include "KV/Wid/Text_Linux.h"
using KV_Wid_Text_Platform = KV_Wid_Text_Linux;
#endif

struct KV_Wid_Text : KV_Wid_Text_Platform {};

extern const KV_option KV_Wid_Text_options[];
