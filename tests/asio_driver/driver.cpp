// The project's own ASIO driver for tests: an in-process COM server whose object implements the
// driver interface, declared here on its own (not from the host's header), so that a host that
// calls with another convention or another method order is caught. It has no hardware: a
// thread of its own fills the input buffers with a known signal, issues the buffer switches and
// keeps what the host wrote into the outputs.
#include <windows.h>
#include <objbase.h>

#include <chrono>
#include <cstring>
#include <new>
#include <thread>

#include "kvtd.h"

namespace {

#if defined(__i386__)
#define DRIVER_METHOD __attribute__((thiscall))
#else
#define DRIVER_METHOD
#endif

constexpr long OK = 0, NOT_PRESENT = -1000, INVALID_PARAMETER = -998, INVALID_MODE = -997, NO_CLOCK = -995;
constexpr uint32_t MAGIC = 0x4B565444;

KVTD_State state;
std::atomic<long> locks{0};

struct ChannelInfo {
  long channel, isInput, isActive, channelGroup, type;
  char name[32];
};
struct BufferInfo {
  long isInput, channelNum;
  void* buffers[2];
};
struct Callbacks {
  void (*bufferSwitch)(long index, long directProcess);
  void (*sampleRateDidChange)(double rate);
  long (*asioMessage)(long selector, long value, void* message, double* opt);
  void* (*bufferSwitchTimeInfo)(void* params, long index, long directProcess);
};

long bytesOf(long type) {
  switch (type) {
    case 0: case 16: return 2;
    case 1: case 17: return 3;
    case 4: case 20: return 8;
    case 32: return 1;
    default: return 4;
  }
}

void putSample(uint8_t* p, long type, int16_t x) {
  const int32_t v = x;
  switch (type) {
    case 16: std::memcpy(p, &x, 2); break;
    case 17: { const int32_t w = v * 256; std::memcpy(p, &w, 3); break; }
    case 18: { const int32_t w = v * 65536; std::memcpy(p, &w, 4); break; }
    case 19: { const float f = static_cast<float>(x) / 32768.0f; std::memcpy(p, &f, 4); break; }
    case 20: { const double d = x / 32768.0; std::memcpy(p, &d, 8); break; }
    // Bits above the significant ones carry noise: the host must ignore them.
    case 24: { const uint32_t w = 0xA5A50000u | static_cast<uint16_t>(x); std::memcpy(p, &w, 4); break; }
    case 27: { const uint32_t w = 0x5A000000u | (static_cast<uint32_t>(v * 256) & 0xFFFFFFu); std::memcpy(p, &w, 4); break; }
    default: std::memset(p, 0x77, static_cast<size_t>(bytesOf(type))); break;
  }
}

class Driver final {
 public:
  explicit Driver(bool failing_) : failing(failing_) { state.objects.fetch_add(1); }

  // IUnknown: stdcall, as all of COM.
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, kvtd_clsid(KVTD_GOOD)) ||
        IsEqualGUID(riid, kvtd_clsid(KVTD_FAILING)) || IsEqualGUID(riid, kvtd_clsid(KVTD_LONG))) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  virtual ULONG STDMETHODCALLTYPE AddRef() { return static_cast<ULONG>(++refs); }
  virtual ULONG STDMETHODCALLTYPE Release() {
    const long n = --refs;
    if (n == 0) {
      halt();
      dispose();
      magic = 0;
      state.objects.fetch_sub(1);
      delete this;
    }
    return static_cast<ULONG>(n);
  }

  // The driver methods, in table order.
  virtual long DRIVER_METHOD init(void*) {
    if (!mine()) return 0;
    state.inits.fetch_add(1);
    return failing ? 0 : 1;
  }
  virtual void DRIVER_METHOD getDriverName(char* name) {
    if (mine()) std::strcpy(name, "KV Test Driver");
  }
  virtual long DRIVER_METHOD getDriverVersion() { return mine() ? 7 : 0; }
  virtual void DRIVER_METHOD getErrorMessage(char* text) {
    if (mine()) std::strcpy(text, failing ? "KV test driver: init refused" : "");
  }
  virtual long DRIVER_METHOD start() {
    if (!mine()) return INVALID_PARAMETER;
    if (!created || running) return INVALID_MODE;
    state.starts.fetch_add(1);
    running = true;
    thread = std::thread([this] { run(); });
    return OK;
  }
  virtual long DRIVER_METHOD stop() {
    if (!mine()) return INVALID_PARAMETER;
    state.stops.fetch_add(1);
    halt();
    return OK;
  }
  virtual long DRIVER_METHOD getChannels(long* in, long* out) {
    if (!mine()) return INVALID_PARAMETER;
    *in = KVTD_INPUTS;
    *out = KVTD_OUTPUTS;
    return OK;
  }
  virtual long DRIVER_METHOD getLatencies(long* in, long* out) {
    if (!mine()) return INVALID_PARAMETER;
    *in = *out = KVTD_FRAMES;
    return OK;
  }
  virtual long DRIVER_METHOD getBufferSize(long* mn, long* mx, long* pref, long* gran) {
    if (!mine()) return INVALID_PARAMETER;
    *mn = 32;
    *mx = 256;
    *pref = KVTD_FRAMES;
    *gran = 32;
    return OK;
  }
  virtual long DRIVER_METHOD canSampleRate(double rate) {
    if (!mine()) return INVALID_PARAMETER;
    return rate == 44100.0 || rate == 48000.0 ? OK : NO_CLOCK;
  }
  virtual long DRIVER_METHOD getSampleRate(double* rate) {
    if (!mine()) return INVALID_PARAMETER;
    *rate = state.rate;
    return OK;
  }
  virtual long DRIVER_METHOD setSampleRate(double rate) {
    if (!mine()) return INVALID_PARAMETER;
    if (canSampleRate(rate) != OK) return NO_CLOCK;
    state.rate = rate;
    return OK;
  }
  virtual long DRIVER_METHOD getClockSources(void*, long* n) {
    if (!mine()) return INVALID_PARAMETER;
    *n = 0;
    return OK;
  }
  virtual long DRIVER_METHOD setClockSource(long) { return mine() ? OK : INVALID_PARAMETER; }
  virtual long DRIVER_METHOD getSamplePosition(void*, void*) { return mine() ? NOT_PRESENT : INVALID_PARAMETER; }
  virtual long DRIVER_METHOD getChannelInfo(ChannelInfo* info) {
    if (!mine()) return INVALID_PARAMETER;
    const long n = info->isInput ? KVTD_INPUTS : KVTD_OUTPUTS;
    if (info->channel < 0 || info->channel >= n) return INVALID_PARAMETER;
    info->isActive = 0;
    info->channelGroup = 0;
    info->type = info->isInput ? kvtd_inputType(info->channel) : kvtd_outputType(info->channel);
    wsprintfA(info->name, info->isInput ? "In %ld" : "Out %ld", info->channel);
    return OK;
  }
  virtual long DRIVER_METHOD createBuffers(BufferInfo* infos, long n, long size, Callbacks* cb) {
    if (!mine()) return INVALID_PARAMETER;
    if (created) return INVALID_MODE;
    if (!infos || n < 1 || n > 64 || size != KVTD_FRAMES || !cb || !cb->bufferSwitch) return INVALID_PARAMETER;
    for (long i = 0; i < n; ++i) {
      const long limit = infos[i].isInput ? KVTD_INPUTS : KVTD_OUTPUTS;
      if (infos[i].channelNum < 0 || infos[i].channelNum >= limit) return INVALID_PARAMETER;
    }
    state.creates.fetch_add(1);
    state.createdCount = n;
    state.createdSize = size;
    for (long i = 0; i < n; ++i) {
      const long type = infos[i].isInput ? kvtd_inputType(infos[i].channelNum) : kvtd_outputType(infos[i].channelNum);
      for (int b = 0; b < 2; ++b) infos[i].buffers[b] = new uint8_t[static_cast<size_t>(size * bytesOf(type))]();
      state.created[i][0] = infos[i].isInput;
      state.created[i][1] = infos[i].channelNum;
      mine_[i] = infos[i];
    }
    count = n;
    callbacks = *cb;
    created = true;
    return OK;
  }
  virtual long DRIVER_METHOD disposeBuffers() {
    if (!mine()) return INVALID_PARAMETER;
    if (!created) return INVALID_MODE;
    halt();
    dispose();
    state.disposes.fetch_add(1);
    return OK;
  }
  virtual long DRIVER_METHOD controlPanel() { return mine() ? NOT_PRESENT : INVALID_PARAMETER; }
  virtual long DRIVER_METHOD future(long, void*) { return mine() ? INVALID_PARAMETER : INVALID_PARAMETER; }
  virtual long DRIVER_METHOD outputReady() { return mine() ? NOT_PRESENT : INVALID_PARAMETER; }

 private:
  bool mine() const {
    if (magic == MAGIC) return true;
    state.badThis.fetch_add(1);
    return false;
  }

  void run() {
    for (long sw = 0; running; ++sw) {
      const long half = sw & 1;
      for (long i = 0; i < count; ++i) {
        if (!mine_[i].isInput) continue;
        const long type = kvtd_inputType(mine_[i].channelNum), size = bytesOf(type);
        auto* p = static_cast<uint8_t*>(mine_[i].buffers[half]);
        for (long f = 0; f < KVTD_FRAMES; ++f) putSample(p + f * size, type, kvtd_signal(sw, f, mine_[i].channelNum));
      }
      callbacks.bufferSwitch(half, 1);
      if (sw < KVTD_CAPTURED)
        for (long i = 0; i < count; ++i) {
          if (mine_[i].isInput) continue;
          const long size = bytesOf(kvtd_outputType(mine_[i].channelNum));
          std::memcpy(state.captured[sw][mine_[i].channelNum], mine_[i].buffers[half], static_cast<size_t>(KVTD_FRAMES * size));
        }
      state.switches.fetch_add(1);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  void halt() {
    running = false;
    if (thread.joinable()) thread.join();
  }

  void dispose() {
    for (long i = 0; i < count; ++i)
      for (int b = 0; b < 2; ++b) {
        delete[] static_cast<uint8_t*>(mine_[i].buffers[b]);
        mine_[i].buffers[b] = nullptr;
      }
    count = 0;
    created = false;
  }

  uint32_t magic = MAGIC;
  std::atomic<long> refs{1};
  const bool failing;
  bool created = false;
  std::atomic<bool> running{false};
  std::thread thread;
  BufferInfo mine_[64] = {};
  long count = 0;
  Callbacks callbacks = {};
};

class Factory final : public IClassFactory {
 public:
  explicit Factory(const CLSID& id) : clsid(id) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IClassFactory)) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
  ULONG STDMETHODCALLTYPE Release() override {
    const long n = --refs;
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* d = new (std::nothrow) Driver(IsEqualGUID(clsid, kvtd_clsid(KVTD_FAILING)));
    if (!d) return E_OUTOFMEMORY;
    const HRESULT hr = d->QueryInterface(riid, out);
    d->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    locks += lock ? 1 : -1;
    return S_OK;
  }

 private:
  CLSID clsid;
  std::atomic<long> refs{1};
};

}  // namespace

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!IsEqualGUID(rclsid, kvtd_clsid(KVTD_GOOD)) && !IsEqualGUID(rclsid, kvtd_clsid(KVTD_FAILING)) &&
      !IsEqualGUID(rclsid, kvtd_clsid(KVTD_LONG)))
    return CLASS_E_CLASSNOTAVAILABLE;
  auto* f = new (std::nothrow) Factory(rclsid);
  if (!f) return E_OUTOFMEMORY;
  const HRESULT hr = f->QueryInterface(riid, out);
  f->Release();
  return hr;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return state.objects == 0 && locks == 0 ? S_OK : S_FALSE; }

extern "C" KVTD_State* KVTD_state() { return &state; }
