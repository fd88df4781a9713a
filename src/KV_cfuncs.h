// Error codes, the fatal-error report and access to the library's embedded resources.
#pragma once

#include <cstddef>

#include "KV/Export.h"

// An error code is a pointer to its own message; results are compared by pointer. The wrapper
// has the layout of that pointer, and a result left unlooked-at is a compiler warning: a caller
// that drops one on purpose says so with KV_ignore.
struct [[nodiscard]] KV_error {
  const char* text = nullptr;  // the message; null only inside the interpreter, meaning "no result yet"

  constexpr KV_error() = default;
  constexpr KV_error(const char* message) : text(message) {}
  constexpr KV_error(std::nullptr_t) {}

  explicit constexpr operator bool() const { return text != nullptr; }
  friend constexpr bool operator==(KV_error a, KV_error b) { return a.text == b.text; }
  friend constexpr bool operator!=(KV_error a, KV_error b) { return a.text != b.text; }
};

// Drops a result whose failure the caller cannot act on (teardown); the call says so where it stands.
constexpr void KV_ignore(KV_error) {}

KV_API extern KV_error KV_OK;
KV_API extern KV_error KV_ERROR_UNKNOWN;
KV_API extern KV_error KV_ERROR_FILE_CANNOT_OPEN;
KV_API extern KV_error KV_ERROR_FILE_CANNOT_READ;
KV_API extern KV_error KV_ERROR_FILE_CANNOT_CLOSE;
KV_API extern KV_error KV_ERROR_MEMORY_CANNOT_ALLOCATE;
KV_API extern KV_error KV_ERROR_MEMORY_CANNOT_REALLOC;
KV_API extern KV_error KV_ERROR_MEMORY_CANNOT_FREE;
KV_API extern KV_error KV_ERROR_PARAM_REQUIRED;
KV_API extern KV_error KV_ERROR_RESOURCE_CANNOT_LOAD;
KV_API extern KV_error KV_ERROR_RESOURCE_CANNOT_FIND;
KV_API extern KV_error KV_ERROR_RESOURCE_CANNOT_LOCK;
KV_API extern KV_error KV_ERROR_AUDIO;
KV_API extern KV_error KV_ERROR_AUDIO_CANNOT_OPEN;
KV_API extern KV_error KV_ERROR_AUDIO_CANNOT_INPUT_STOP;
KV_API extern KV_error KV_ERROR_AUDIO_CANNOT_INPUT_CLOSE;
KV_API extern KV_error KV_ERROR_AUDIO_CANNOT_OUTPUT_RESET;
KV_API extern KV_error KV_ERROR_AUDIO_CANNOT_OUTPUT_CLOSE;
KV_API extern KV_error KV_ERROR_COMMAND_NOT_FOUND;
KV_API extern KV_error KV_ERROR_COMMAND_NOT_PARAM;
KV_API extern KV_error KV_ERROR_COMMAND_NOT_SPACE;

// A sequence of steps keeps its first failure: KV_keepFirst(first, step()) for each step.
inline void KV_keepFirst(KV_error& first, KV_error result) {
  if (first == KV_OK) first = result;
}

// The library's module handle, stored by the library entry before anything else runs.
KV_API extern void* hInstance;

// Formats the report into the shared 4096-byte buffer, shows it with the caption "ERROR" and
// returns the box's answer. The caller goes on with its own failure value.
KV_API int KV_error_func(const char* file, int line, const char* proc, const char* date, const char* time,
                         const char* message);

// The text of the last report (the shared buffer).
const char* KV_error_text();

// Tests and headless tools may replace how a report is shown; null restores the platform's box.
using KV_error_presenter = int (*)(const char* text, const char* caption);
void KV_set_error_presenter(KV_error_presenter presenter);

// The bytes of the resource of type "DATA" named `name`, or null after a report.
KV_API const void* KV_resource(const char* name);

// As KV_resource, and stores the resource's size in bytes in *size (0 when not found).
const void* KV_resource_sized(const char* name, size_t* size);

// When `data` lies inside one of the library's resources, stores the number of bytes from `data`
// to the end of that resource in *size and returns true; otherwise returns false. Reports nothing.
bool KV_resource_extent(const void* data, size_t* size);

// Called by the library entry when the library is attached; it has nothing to do.
KV_API void KV_initall();

// Where KV_resource reports from.
#define KV_CFUNCS_FILE "../../../projects/KV/KV_cfuncs"

// The platform half of the report and of the resource lookup.
int KV_error_show(const char* text, const char* caption);
// `size`, when given, receives the resource's size in bytes.
const void* KV_resource_find(const char* name, KV_error* failure, size_t* size = nullptr);
