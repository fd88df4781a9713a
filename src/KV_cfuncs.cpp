#include "KV_cfuncs.h"

#include <cstdio>

KV_error KV_OK = "Operation OK";
KV_error KV_ERROR_UNKNOWN = "Unknown error";
KV_error KV_ERROR_FILE_CANNOT_OPEN = "Cannot open file";
KV_error KV_ERROR_FILE_CANNOT_READ = "Cannot read file";
KV_error KV_ERROR_FILE_CANNOT_CLOSE = "Cannot close file";
KV_error KV_ERROR_MEMORY_CANNOT_ALLOCATE = "Cannot allocate memory";
KV_error KV_ERROR_MEMORY_CANNOT_REALLOC = "Cannot re-allocate memory";
KV_error KV_ERROR_MEMORY_CANNOT_FREE = "Cannot free memory";
KV_error KV_ERROR_PARAM_REQUIRED = "Argument required";
KV_error KV_ERROR_RESOURCE_CANNOT_LOAD = "Cannot load resource";
KV_error KV_ERROR_RESOURCE_CANNOT_FIND = "Cannot find resource";
KV_error KV_ERROR_RESOURCE_CANNOT_LOCK = "Cannot lock resource";
KV_error KV_ERROR_AUDIO = "Audio operating error";
KV_error KV_ERROR_AUDIO_CANNOT_OPEN = "Cannot open audio device";
KV_error KV_ERROR_AUDIO_CANNOT_INPUT_STOP = "Cannot stop input audio device";
KV_error KV_ERROR_AUDIO_CANNOT_INPUT_CLOSE = "Cannot close input audio device";
KV_error KV_ERROR_AUDIO_CANNOT_OUTPUT_RESET = "Cannot reset output audio device";
KV_error KV_ERROR_AUDIO_CANNOT_OUTPUT_CLOSE = "Cannot close output audio device";
KV_error KV_ERROR_COMMAND_NOT_FOUND = "Command not found";
KV_error KV_ERROR_COMMAND_NOT_PARAM = "Param not found";
KV_error KV_ERROR_COMMAND_NOT_SPACE = "Not enough space for command result";

void* hInstance = nullptr;

namespace {
char errorText[4096];
KV_error_presenter presenter = nullptr;

const char* orEmpty(const char* s) { return s ? s : ""; }
}  // namespace

int KV_error_func(const char* file, int line, const char* proc, const char* date, const char* time,
                  const char* message) {
  std::snprintf(errorText, sizeof errorText, "Error: %s\nFile: %s\nLine: %d\nProc: %s\nDate: %s\nTime: %s",
                orEmpty(message), orEmpty(file), line, orEmpty(proc), orEmpty(date), orEmpty(time));
  if (presenter) return presenter(errorText, "ERROR");
  return KV_error_show(errorText, "ERROR");
}

const char* KV_error_text() { return errorText; }

void KV_set_error_presenter(KV_error_presenter p) { presenter = p; }

const void* KV_resource(const char* name) {
  size_t size = 0;
  return KV_resource_sized(name, &size);
}

const void* KV_resource_sized(const char* name, size_t* size) {
  KV_error failure = nullptr;
  *size = 0;
  const void* data = KV_resource_find(name, &failure, size);
  if (data) return data;
  *size = 0;
  if (failure == KV_ERROR_RESOURCE_CANNOT_LOAD)
    KV_error_func(KV_CFUNCS_FILE, 130, "KV_resource", __DATE__, __TIME__, KV_ERROR_RESOURCE_CANNOT_LOAD.text);
  else if (failure == KV_ERROR_RESOURCE_CANNOT_LOCK)
    KV_error_func(KV_CFUNCS_FILE, 138, "KV_resource", __DATE__, __TIME__, KV_ERROR_RESOURCE_CANNOT_LOCK.text);
  else
    KV_error_func(KV_CFUNCS_FILE, 121, "KV_resource", __DATE__, __TIME__, name ? name : "");
  return nullptr;
}

void KV_initall() {}
