// The tools' audio files through the tree's own WAV code: the Windows programs stay one file.
#include "AudioFile.h"

bool audioRead(const std::string& path, Wav& audio, std::string& error) { return wavRead(path, audio, error); }

bool audioWrite(const std::string& path, const Wav& audio, bool pcm16, std::string& error) {
  return wavWrite(path, audio, pcm16, error);
}
