#include "KV/Rts/Rts_Win32.h"

#include <cstdlib>
#include <cstring>
#include <new>

// ---- the layer over winmm ----

MMRESULT KV_Rts_Win32_Device::inOpen(HWAVEIN* h, UINT id, const WAVEFORMATEX* f, DWORD_PTR cb, DWORD_PTR inst,
                                     DWORD flags) {
  return waveInOpen(h, id, f, cb, inst, flags);
}
MMRESULT KV_Rts_Win32_Device::inPrepare(HWAVEIN h, WAVEHDR* hdr) { return waveInPrepareHeader(h, hdr, sizeof *hdr); }
MMRESULT KV_Rts_Win32_Device::inUnprepare(HWAVEIN h, WAVEHDR* hdr) {
  return waveInUnprepareHeader(h, hdr, sizeof *hdr);
}
MMRESULT KV_Rts_Win32_Device::inAdd(HWAVEIN h, WAVEHDR* hdr) { return waveInAddBuffer(h, hdr, sizeof *hdr); }
MMRESULT KV_Rts_Win32_Device::inStart(HWAVEIN h) { return waveInStart(h); }
MMRESULT KV_Rts_Win32_Device::inStop(HWAVEIN h) { return waveInStop(h); }
MMRESULT KV_Rts_Win32_Device::inReset(HWAVEIN h) { return waveInReset(h); }
MMRESULT KV_Rts_Win32_Device::inClose(HWAVEIN h) { return waveInClose(h); }
MMRESULT KV_Rts_Win32_Device::outOpen(HWAVEOUT* h, UINT id, const WAVEFORMATEX* f, DWORD_PTR cb, DWORD_PTR inst,
                                      DWORD flags) {
  return waveOutOpen(h, id, f, cb, inst, flags);
}
MMRESULT KV_Rts_Win32_Device::outPrepare(HWAVEOUT h, WAVEHDR* hdr) {
  return waveOutPrepareHeader(h, hdr, sizeof *hdr);
}
MMRESULT KV_Rts_Win32_Device::outUnprepare(HWAVEOUT h, WAVEHDR* hdr) {
  return waveOutUnprepareHeader(h, hdr, sizeof *hdr);
}
MMRESULT KV_Rts_Win32_Device::outWrite(HWAVEOUT h, WAVEHDR* hdr) { return waveOutWrite(h, hdr, sizeof *hdr); }
MMRESULT KV_Rts_Win32_Device::outReset(HWAVEOUT h) { return waveOutReset(h); }
MMRESULT KV_Rts_Win32_Device::outClose(HWAVEOUT h) { return waveOutClose(h); }

KV_Rts_Win32_Device& KV_Rts_Win32_Device::winmm() {
  static KV_Rts_Win32_Device layer;
  return layer;
}

// ---- class data ----

KV_Chain KV_Rts_Win32::classes;
KV_Rts::Callback KV_Rts_Win32::callback = nullptr;
std::atomic<KV_Rts_Win32*> KV_Rts_Win32::active{nullptr};
std::atomic<uint32_t> KV_Rts_Win32::returned{0};

namespace {
bool classesReady = false;
constexpr uint32_t ALL_RETURNED = (1u << KV_Rts_Win32::BUFFERS) - 1;
constexpr DWORD PROBE = CALLBACK_NULL | WAVE_FORMAT_DIRECT;
constexpr DWORD OPEN = CALLBACK_FUNCTION | WAVE_FORMAT_DIRECT;

// The done flag is written by the device's own thread.
bool isDone(const WAVEHDR& h) { return (*static_cast<const volatile DWORD*>(&h.dwFlags) & WHDR_DONE) != 0; }

// Tries a call that a busy device may refuse for a while.
template <class F>
bool attempt(F&& call) {
  for (int a = 0; a < KV_Rts_Win32::ATTEMPTS; ++a) {
    if (call() == MMSYSERR_NOERROR) return true;
    if (a + 1 < KV_Rts_Win32::ATTEMPTS) Sleep(KV_Rts_Win32::ATTEMPT_PAUSE);
  }
  return false;
}
}  // namespace

KV_Rts_Win32::KV_Rts_Win32() : KV_Rts("Windows"), device(&KV_Rts_Win32_Device::winmm()) {
  for (int32_t i = 0; i < BUFFERS; ++i) slots[i] = {this, i};
  std::memset(&waveFormat, 0, sizeof waveFormat);
  waveFormat.wFormatTag = WAVE_FORMAT_PCM;
  resetHeaders();
}

KV_Rts_Win32::~KV_Rts_Win32() {
  if (drained) CloseHandle(drained);
  std::free(area);
}

KV_error KV_Rts_Win32::classInit(Callback cb) {
  KV_Rts_initChain(classes, classesReady);
  callback = cb;
  auto* rts = new (std::nothrow) KV_Rts_Win32();
  if (!rts) return KV_ERROR_MEMORY_CANNOT_ALLOCATE;
  rts->drained = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!rts->drained) {
    delete rts;
    return KV_ERROR_MEMORY_CANNOT_ALLOCATE;
  }
  KV_Rts_enrol(classes, &rts->classItem, &rts->instanceItem);
  return KV_OK;
}

void KV_Rts_Win32::classExit() {
  // At unload nobody is left to tell of a device that will not close.
  auto release = [](KV_Rts_Win32* rts) {
    if (rts->inDevice || rts->outDevice) KV_ignore(rts->free());
    KV_ignore(rts->exit());
    KV_Rts_Win32* self = rts;
    active.compare_exchange_strong(self, nullptr);
  };
  KV_Rts_retireAll<KV_Rts_Win32>(classes, classesReady, release, [](KV_Rts_Win32* rts) { delete rts; });
}

// ---- modes ----

void KV_Rts_Win32::setFormat(int32_t channels, int32_t rate, int32_t bits) {
  waveFormat.wFormatTag = WAVE_FORMAT_PCM;
  waveFormat.nChannels = static_cast<WORD>(channels);
  waveFormat.nSamplesPerSec = static_cast<DWORD>(rate);
  waveFormat.wBitsPerSample = static_cast<WORD>(bits);
  waveFormat.nBlockAlign = static_cast<WORD>(channels * bits / 8);
  waveFormat.nAvgBytesPerSec = static_cast<DWORD>(rate) * waveFormat.nBlockAlign;
  waveFormat.cbSize = 0;
}

bool KV_Rts_Win32::probeInput(int32_t rate, int32_t bits) {
  setFormat(2, rate, bits);
  HWAVEIN h = nullptr;
  if (device->inOpen(&h, WAVE_MAPPER, &waveFormat, 0, 0, PROBE) != MMSYSERR_NOERROR) return false;
  device->inClose(h);
  return true;
}

bool KV_Rts_Win32::probeOutput(int32_t channels, int32_t rate, int32_t bits) {
  setFormat(channels, rate, bits);
  HWAVEOUT h = nullptr;
  if (device->outOpen(&h, WAVE_MAPPER, &waveFormat, 0, 0, PROBE) != MMSYSERR_NOERROR) return false;
  device->outClose(h);
  return true;
}

KV_error KV_Rts_Win32::init() {
  KV_ignore(KV_Rts::init());  // the base has nothing to fail
  if (!inDevice && !outDevice) {  // a second init finds the modes anew
    releaseModes();
    releaseChans(inputs);
  }
  // The best resolution first; for one rate, four-channel output before stereo.
  for (int32_t bits : {32, 24, 16})
    for (int32_t rate : {48000, 96000, 192000, 44100}) {
      if (!probeInput(rate, bits)) continue;
      for (int32_t channels : {4, 2})
        if (probeOutput(channels, rate, bits)) modes.insert(new Mode(rate, bits, rate / 100, channels));
    }
  inputs.insert(new Chan("Left"));
  inputs.insert(new Chan("Right"));
  active.store(this, std::memory_order_release);
  return KV_OK;
}

void KV_Rts_Win32::resetHeaders() {
  for (int32_t i = 0; i < BUFFERS; ++i) {
    std::memset(&inHeaders[i], 0, sizeof(WAVEHDR));
    std::memset(&outHeaders[i], 0, sizeof(WAVEHDR));
    inHeaders[i].dwFlags = WHDR_DONE;
    outHeaders[i].dwFlags = WHDR_DONE;
    outHeaders[i].dwLoops = 1;
    inHeaders[i].dwUser = outHeaders[i].dwUser = reinterpret_cast<DWORD_PTR>(&slots[i]);
  }
}

KV_error KV_Rts_Win32::failMode(KV_error e) {
  // The mode of a closed back end is null, and its callbacks find nothing to do.
  current.store(nullptr, std::memory_order_release);
  if (inDevice) {
    device->inReset(inDevice);
    for (WAVEHDR& h : inHeaders)
      if (h.dwFlags & WHDR_PREPARED) device->inUnprepare(inDevice, &h);
    device->inClose(inDevice);
  }
  if (outDevice) device->outClose(outDevice);
  inDevice = nullptr;
  outDevice = nullptr;
  releaseChans(outputs);
  std::free(area);
  area = nullptr;
  return e;
}

KV_error KV_Rts_Win32::mode(Mode* m) {
  if (inDevice || outDevice) {  // a new mode closes the old one first
    KV_error e = free();
    if (e != KV_OK) return e;
  }
  KV_ignore(KV_Rts::mode(m));  // the base only takes the mode
  inDevice = nullptr;
  outDevice = nullptr;
  if (!m || m->channels < 1 || m->channels > 4 || m->bits % 8 != 0 || m->frames < 1)
    return failMode(KV_ERROR_AUDIO_CANNOT_OPEN);

  setFormat(2, m->rate, m->bits);
  if (device->inOpen(&inDevice, WAVE_MAPPER, &waveFormat, reinterpret_cast<DWORD_PTR>(&inputProc),
                     reinterpret_cast<DWORD_PTR>(this), OPEN) != MMSYSERR_NOERROR) {
    inDevice = nullptr;
    return failMode(KV_ERROR_AUDIO_CANNOT_OPEN);
  }
  setFormat(m->channels, m->rate, m->bits);
  if (device->outOpen(&outDevice, WAVE_MAPPER, &waveFormat, reinterpret_cast<DWORD_PTR>(&outputProc),
                      reinterpret_cast<DWORD_PTR>(this), OPEN) != MMSYSERR_NOERROR) {
    outDevice = nullptr;
    return failMode(KV_ERROR_AUDIO_CANNOT_OPEN);
  }

  const size_t sample = static_cast<size_t>(m->bits / 8);
  const size_t g = sample * static_cast<size_t>(m->frames);
  const size_t channels = static_cast<size_t>(m->channels);
  std::free(area);
  area = static_cast<uint8_t*>(std::calloc(BUFFERS * g * (channels + 2) + channels * g, 1));
  if (!area) return failMode(KV_ERROR_MEMORY_CANNOT_ALLOCATE);
  for (int32_t i = 0; i < BUFFERS; ++i) inBlocks[i] = area + static_cast<size_t>(i) * 2 * g;
  for (int32_t i = 0; i < BUFFERS; ++i) outBlocks[i] = area + BUFFERS * 2 * g + static_cast<size_t>(i) * channels * g;
  spareBlock = area + BUFFERS * g * (channels + 2);
  resetHeaders();

  const uint32_t bits = static_cast<uint32_t>(m->bits);
  walk<Chan>(inputs, [&](Chan* c) {
    c->format = format(2 * bits / 8, bits);
    c->length = m->frames;
    c->data = nullptr;
  });
  static const char* const names[] = {"Left front", "Right front", "Left back", "Right back"};
  for (int32_t d = 0; d < m->channels; ++d)
    outputs.insert(new Chan(names[d], format(static_cast<uint32_t>(m->channels) * bits / 8, bits), m->frames));

  for (int32_t i = 0; i < BUFFERS; ++i) {
    WAVEHDR& in = inHeaders[i];
    in.lpData = reinterpret_cast<LPSTR>(inBlocks[i]);
    in.dwBufferLength = static_cast<DWORD>(2 * g);
    in.dwFlags = 0;
    if (device->inPrepare(inDevice, &in) != MMSYSERR_NOERROR || device->inAdd(inDevice, &in) != MMSYSERR_NOERROR)
      return failMode(KV_ERROR_AUDIO);
    WAVEHDR& out = outHeaders[i];
    out.lpData = reinterpret_cast<LPSTR>(outBlocks[i]);
    out.dwBufferLength = static_cast<DWORD>(channels * g);
  }
  if (device->inStart(inDevice) != MMSYSERR_NOERROR) return failMode(KV_ERROR_AUDIO);
  return KV_OK;
}

// ---- the device thread ----

void CALLBACK KV_Rts_Win32::inputProc(HWAVEIN, UINT msg, DWORD_PTR, DWORD_PTR p1, DWORD_PTR) {
  if (msg != WIM_DATA) return;
  KV_Rts_Win32* rts = active.load(std::memory_order_acquire);
  if (!rts || !p1) return;
  const auto* slot = reinterpret_cast<const Slot*>(reinterpret_cast<const WAVEHDR*>(p1)->dwUser);
  if (!slot || slot->rts != rts) return;
  rts->onInput(slot->index);
}

void CALLBACK KV_Rts_Win32::outputProc(HWAVEOUT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {}

void KV_Rts_Win32::onInput(int32_t index) {
  Mode* m = currentMode();
  if (!m) {
    // Being closed: the buffer stays with us, and free learns when the last one is back.
    const uint32_t bit = 1u << index;
    if ((returned.fetch_or(bit, std::memory_order_acq_rel) | bit) == ALL_RETURNED) SetEvent(drained);
    return;
  }
  device->inAdd(inDevice, &inHeaders[index]);

  const size_t sample = static_cast<size_t>(m->bits / 8);
  size_t c = 0;
  walk<Chan>(inputs, [&](Chan* ch) { ch->data = inBlocks[index] + c++ * sample; });

  int32_t done = 0, first = -1, second = -1;
  for (int32_t k = 0; k < BUFFERS; ++k) {
    if (!isDone(outHeaders[k])) continue;
    if (first < 0)
      first = k;
    else if (second < 0)
      second = k;
    ++done;
  }
  uint8_t* block = first >= 0 ? outBlocks[first] : spareBlock;
  size_t d = 0;
  walk<Chan>(outputs, [&](Chan* ch) { ch->data = block + d++ * sample; });

  if (callback) callback();

  // One free buffer is always held back; with six or more free, the queue is topped up with a
  // second buffer playing its previous content again.
  if (done < 2) return;
  play(first);
  if (done >= 6) play(second);
}

void KV_Rts_Win32::play(int32_t index) {
  WAVEHDR& h = outHeaders[index];
  h.dwFlags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
  h.dwLoops = 1;
  device->outPrepare(outDevice, &h);
  device->outWrite(outDevice, &h);
}

// ---- closing ----

KV_error KV_Rts_Win32::free() {
  if (!inDevice && !outDevice) return KV_Rts::free();

  // The mode goes first and the outputs only once every input buffer is back: until then the
  // device thread may be inside the block callback, writing through the output channels.
  if (currentMode() || returned.load(std::memory_order_acquire) != ALL_RETURNED) {
    ResetEvent(drained);
    returned.store(0, std::memory_order_release);
    current.store(nullptr, std::memory_order_release);
    WaitForSingleObject(drained, DRAIN_WAIT);
    Sleep(DRAIN_SETTLE);
  }
  KV_ignore(KV_Rts::free());  // the base only forgets the mode and the outputs

  if (inDevice && !attempt([&] { return device->inStop(inDevice); })) return KV_ERROR_AUDIO_CANNOT_INPUT_STOP;
  if (outDevice && !attempt([&] { return device->outReset(outDevice); })) return KV_ERROR_AUDIO_CANNOT_OUTPUT_RESET;
  // Buffers are handed back to us before the area they live in is released.
  for (int32_t i = 0; i < BUFFERS; ++i) {
    if (inDevice && (inHeaders[i].dwFlags & WHDR_PREPARED)) device->inUnprepare(inDevice, &inHeaders[i]);
    if (outDevice && (outHeaders[i].dwFlags & WHDR_PREPARED)) device->outUnprepare(outDevice, &outHeaders[i]);
  }
  if (inDevice) {
    if (!attempt([&] { return device->inClose(inDevice); })) return KV_ERROR_AUDIO_CANNOT_INPUT_CLOSE;
    inDevice = nullptr;
  }
  if (outDevice) {
    if (!attempt([&] { return device->outClose(outDevice); })) return KV_ERROR_AUDIO_CANNOT_OUTPUT_CLOSE;
    outDevice = nullptr;
  }
  std::free(area);
  area = nullptr;
  spareBlock = nullptr;
  for (int32_t i = 0; i < BUFFERS; ++i) inBlocks[i] = outBlocks[i] = nullptr;
  resetHeaders();
  return KV_OK;
}
