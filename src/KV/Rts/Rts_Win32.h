// The wave-device back end: stereo input from the default wave-in device, two or four channels
// of output to the default wave-out device, blocks of 10 ms with eight buffers in flight each way.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <cstdint>

#include "KV/Rts/Rts.h"

// The winmm calls the back end makes. The default layer forwards each to winmm; a test hands the
// back end a layer of its own to play a device that behaves in a chosen way.
struct KV_Rts_Win32_Device {
  virtual MMRESULT inOpen(HWAVEIN* h, UINT id, const WAVEFORMATEX* f, DWORD_PTR cb, DWORD_PTR inst, DWORD flags);
  virtual MMRESULT inPrepare(HWAVEIN h, WAVEHDR* hdr);
  virtual MMRESULT inUnprepare(HWAVEIN h, WAVEHDR* hdr);
  virtual MMRESULT inAdd(HWAVEIN h, WAVEHDR* hdr);
  virtual MMRESULT inStart(HWAVEIN h);
  virtual MMRESULT inStop(HWAVEIN h);
  virtual MMRESULT inReset(HWAVEIN h);
  virtual MMRESULT inClose(HWAVEIN h);
  virtual MMRESULT outOpen(HWAVEOUT* h, UINT id, const WAVEFORMATEX* f, DWORD_PTR cb, DWORD_PTR inst, DWORD flags);
  virtual MMRESULT outPrepare(HWAVEOUT h, WAVEHDR* hdr);
  virtual MMRESULT outUnprepare(HWAVEOUT h, WAVEHDR* hdr);
  virtual MMRESULT outWrite(HWAVEOUT h, WAVEHDR* hdr);
  virtual MMRESULT outReset(HWAVEOUT h);
  virtual MMRESULT outClose(HWAVEOUT h);
  virtual ~KV_Rts_Win32_Device() = default;

  // The layer over winmm itself, shared by every instance.
  static KV_Rts_Win32_Device& winmm();
};

struct KV_Rts_Win32 final : KV_Rts {
  static constexpr int BUFFERS = 8;
  static constexpr int ATTEMPTS = 10;          // stop, reset and close are tried this often...
  static constexpr DWORD ATTEMPT_PAUSE = 500;  // ...this many ms apart
  static constexpr DWORD DRAIN_WAIT = 10000;   // ms for all input buffers to come back in free
  static constexpr DWORD DRAIN_SETTLE = 100;   // ms after they have

  // The user data of the input and output headers with the same index.
  struct Slot {
    KV_Rts_Win32* rts;
    int32_t index;
  };

  Slot slots[BUFFERS];
  WAVEHDR inHeaders[BUFFERS];
  WAVEHDR outHeaders[BUFFERS];
  uint8_t* inBlocks[BUFFERS] = {};
  uint8_t* outBlocks[BUFFERS] = {};
  // Where the outputs point when the device holds every output buffer: the block is computed
  // and dropped, never written into a buffer being played.
  uint8_t* spareBlock = nullptr;
  uint8_t* area = nullptr;  // every block, one allocation
  WAVEFORMATEX waveFormat;
  HWAVEIN inDevice = nullptr;
  HWAVEOUT outDevice = nullptr;
  KV_Chain_Item classItem{this};
  KV_Chain_Item instanceItem{this};
  HANDLE drained = nullptr;  // set when all input buffers have come back after the mode was cleared
  KV_Rts_Win32_Device* device;

  // The back end's class chain, the block callback, the back end the device callback serves and
  // the returned-buffer mask.
  static KV_Chain classes;
  static Callback callback;
  static std::atomic<KV_Rts_Win32*> active;
  static std::atomic<uint32_t> returned;

  // Stores the callback and registers the one instance, named "Windows".
  static KV_error classInit(Callback cb);
  // Closes, empties and deletes every instance the class initialisation made: the program's last step.
  static void classExit();

  // The device layer the next init and mode use (default: winmm).
  void use(KV_Rts_Win32_Device& layer) { device = &layer; }

  KV_error init() override;
  KV_error mode(Mode* m) override;
  KV_error free() override;

  // The device thread's entry for input buffers; the output callback does nothing.
  static void CALLBACK inputProc(HWAVEIN h, UINT msg, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR p2);
  static void CALLBACK outputProc(HWAVEOUT h, UINT msg, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR p2);

 private:
  KV_Rts_Win32();
  ~KV_Rts_Win32();

  void setFormat(int32_t channels, int32_t rate, int32_t bits);
  bool probeInput(int32_t rate, int32_t bits);
  bool probeOutput(int32_t channels, int32_t rate, int32_t bits);
  void resetHeaders();
  void onInput(int32_t index);
  void play(int32_t index);
  void closeAll();
  KV_error failMode(KV_error e);
};
