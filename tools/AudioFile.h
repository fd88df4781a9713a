// Audio files as the tools read and write them. On Linux through libsndfile: WAV, AIFF, FLAC, Ogg
// and whatever else it reads come in; WAV or FLAC go out, by the output's extension. On Windows
// through the tree's own WAV code (wav.h), so that the programs stay one self-contained file.
#pragma once

#include <string>

#include "wav.h"

// Reads every channel, interleaved, as floats; false with a one-line reason in `error`.
bool audioRead(const std::string& path, Wav& audio, std::string& error);

// Writes the whole file or nothing: on failure no file is left at `path`. WAV: 32-bit float, or
// 16-bit PCM with `pcm16`; FLAC (Linux): 24-bit, or 16-bit with `pcm16`.
bool audioWrite(const std::string& path, const Wav& audio, bool pcm16, std::string& error);
