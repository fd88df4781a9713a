// The command interpreter: one line of text creates, configures, queries or deletes an object.
#pragma once

#include <cstdarg>

#include "KV/KV.h"
#include "KV_cfuncs.h"

enum : int {
  SPCPP_TEXT = 1,      // results are written as text into `out`
  SPCPP_POINTERS = 2,  // results are stored through pointers taken from the arguments
};

// Runs a command in out-pointer mode over the variadic arguments. The text must be writable
// and must outlive the objects it creates.
KV_API KV_error spcpp(char* command, ...);

// The core. In text mode `out` has `*capacity` bytes; on success `*capacity` receives the
// length of the text written.
KV_API KV_error spcpp_run(int flags, char* command, char* out, int* capacity, va_list args);

// Commands run one at a time across threads: the interpreter writes into the command text while
// it runs, and a build keeps a pipe current over many commands. Held by spcpp_run; a caller that
// issues a sequence that must not interleave (a whole build) holds it around the sequence. Never
// taken on the audio path.
class KV_CommandLock {
 public:
  KV_CommandLock();
  ~KV_CommandLock();
  KV_CommandLock(const KV_CommandLock&) = delete;
  KV_CommandLock& operator=(const KV_CommandLock&) = delete;
};

// A writable static copy of a literal command, for code that issues fixed commands.
#define KV_CMD(text) ([]() -> char* { static char kv_cmd_[] = text; return kv_cmd_; }())
