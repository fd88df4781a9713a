#include "KV/Rts/Rts_Asio.h"

#include <new>

#include "KV/Rts/AsioHost.h"

KV_Chain KV_Rts_Asio::classes;
KV_Rts::Callback KV_Rts_Asio::callback = nullptr;
std::atomic<KV_Rts_Asio*> KV_Rts_Asio::active{nullptr};
void* KV_Rts_Asio::sysHandle = nullptr;

namespace {
bool classesReady = false;

// Every report of this back end names the same file; the lines are those of the reference build.
KV_error report(int line, const char* proc, const char* call) {
  KV_error_func("../../../projects/KV/KV/Rts/Asio", line, proc, __DATE__, __TIME__, call);
  return KV_ERROR_AUDIO;
}

void ensureDrivers() {
  if (!asioDrivers) asioDrivers = new (std::nothrow) AsioDrivers();
}
}  // namespace

uint32_t KV_Rts_Asio::formatOf(ASIOSampleType type) {
  switch (type) {
    case ASIOSTInt16LSB: return format(2, 16);
    case ASIOSTInt24LSB: return format(3, 24);
    case ASIOSTInt32LSB: return format(4, 32);
    case ASIOSTFloat32LSB: return format(4, 32, 0, true);
    case ASIOSTFloat64LSB: return format(8, 64, 0, true);
    case ASIOSTInt32LSB16: return format(4, 16, 16);
    case ASIOSTInt32LSB18: return format(4, 18, 14);
    case ASIOSTInt32LSB20: return format(4, 20, 12);
    case ASIOSTInt32LSB24: return format(4, 24, 8);
    default: return 0;  // big-endian and one-bit samples
  }
}

// ---- class ----

KV_error KV_Rts_Asio::classInit(Callback cb) {
  KV_Rts_initChain(classes, classesReady);
  callback = cb;
  ensureDrivers();
  if (!asioDrivers) return KV_ERROR_MEMORY_CANNOT_ALLOCATE;
  for (int i = 0; i < asioDrivers->asioGetNumDev(); ++i) {
    char name[32];
    if (asioDrivers->asioGetDriverName(i, name, sizeof name) != 0) continue;
    auto* rts = new (std::nothrow) KV_Rts_Asio(name);
    if (!rts) return KV_ERROR_MEMORY_CANNOT_ALLOCATE;
    KV_Rts_enrol(classes, &rts->classItem, &rts->instanceItem);
  }
  return KV_OK;
}

void KV_Rts_Asio::classExit() {
  // At unload nobody is left to tell of a driver that will not leave.
  KV_Rts_retireAll<KV_Rts_Asio>(
      classes, classesReady, [](KV_Rts_Asio* rts) { KV_ignore(rts->exit()); }, [](KV_Rts_Asio* rts) { delete rts; });
  ASIOExit();
  delete asioDrivers;
  asioDrivers = nullptr;
}

// ---- operations ----

KV_error KV_Rts_Asio::init() {
  KV_ignore(KV_Rts::init());  // the base has nothing to fail
  releaseModes();  // a second init finds them anew
  releaseChans(inputs);
  ensureDrivers();
  if (asioDrivers) asioDrivers->loadDriver(name);

  ASIODriverInfo info{};
  info.asioVersion = 2;
  info.sysRef = sysHandle;
  if (ASIOInit(&info) != ASE_OK) return report(185, "KV_Rts_Asio::init", "ASIOInit");
  long ins = 0, outs = 0;
  if (ASIOGetChannels(&ins, &outs) != ASE_OK) return report(190, "KV_Rts_Asio::init", "ASIOGetChannels");
  inputCount = ins < MAX_CHANNELS ? (ins > 0 ? ins : 0) : MAX_CHANNELS;
  outputCount = outs < MAX_CHANNELS ? (outs > 0 ? outs : 0) : MAX_CHANNELS;
  driverOutputs = outputCount;
  if (ASIOGetBufferSize(&minSize, &maxSize, &preferredSize, &granularity) != ASE_OK)
    return report(197, "KV_Rts_Asio::init", "ASIOGetBufferSize");

  for (int32_t rate : {48000, 96000, 192000, 44100})
    if (ASIOCanSampleRate(rate) == ASE_OK)
      modes.insert(new Mode(rate, 32, static_cast<int32_t>(preferredSize), static_cast<int32_t>(inputCount)));

  long usable = 0;
  for (long i = 0; i < inputCount; ++i) {
    ASIOChannelInfo ci{};
    ci.channel = i;
    ci.isInput = ASIOTrue;
    if (ASIOGetChannelInfo(&ci) != ASE_OK) continue;
    const uint32_t f = formatOf(ci.type);
    if (!f) continue;
    ci.name[sizeof ci.name - 1] = '\0';
    inputs.insert(new Chan(ci.name, f, static_cast<int32_t>(preferredSize), i));
    ++usable;
  }
  inputCount = usable;
  active.store(this, std::memory_order_release);
  return KV_OK;
}

KV_error KV_Rts_Asio::mode(Mode* m) {
  if (currentMode() || buffersCreated) {  // a new mode closes the old one first
    KV_error e = free();
    if (e != KV_OK) return e;
  }
  KV_ignore(KV_Rts::mode(m));  // the base only takes the mode
  if (!m) return KV_ERROR_AUDIO;
  if (ASIOSetSampleRate(m->rate) != ASE_OK) return report(242, "KV_Rts_Asio::mode", "ASIOSetSampleRate");

  long k = 0;
  walk<Chan>(inputs, [&](Chan* c) { infos[k++] = {ASIOTrue, c->index, {nullptr, nullptr}}; });
  // The driver's own count, not the usable count of a previous mode: a skipped channel in the
  // middle would otherwise hide the ones after it.
  long usable = 0;
  for (long i = 0; i < driverOutputs; ++i) {
    ASIOChannelInfo ci{};
    ci.channel = i;
    ci.isInput = ASIOFalse;
    if (ASIOGetChannelInfo(&ci) != ASE_OK) continue;
    const uint32_t f = formatOf(ci.type);
    if (!f) continue;
    ci.name[sizeof ci.name - 1] = '\0';
    outputs.insert(new Chan(ci.name, f, static_cast<int32_t>(preferredSize), i));
    infos[k++] = {ASIOFalse, i, {nullptr, nullptr}};
    ++usable;
  }
  outputCount = usable;

  callbacks.bufferSwitch = &bufferSwitch;
  callbacks.sampleRateDidChange = &sampleRateChanged;
  callbacks.asioMessage = &message;
  callbacks.bufferSwitchTimeInfo = &bufferSwitchTimeInfo;
  if (ASIOCreateBuffers(infos, inputCount + outputCount, preferredSize, &callbacks) != ASE_OK)
    return report(291, "KV_Rts_Asio::mode", "ASIOCreateBuffers");
  buffersCreated = true;
  if (ASIOStart() != ASE_OK) return report(296, "KV_Rts_Asio::mode", "ASIOStart");
  return KV_OK;
}

KV_error KV_Rts_Asio::free() {
  // The mode goes first and the outputs only once the driver has stopped: until then its
  // thread may be inside the block callback, writing through them.
  current.store(nullptr, std::memory_order_release);
  if (ASIOStop() != ASE_OK) return report(309, "KV_Rts_Asio::free", "ASIOStop");
  KV_ignore(KV_Rts::free());  // the base only forgets the mode and the outputs
  if (buffersCreated) ASIODisposeBuffers();
  buffersCreated = false;
  return KV_OK;
}

KV_error KV_Rts_Asio::exit() {
  // Leaving goes on whatever happens: a driver that will not stop has shown its box.
  if (active.load() == this && (currentMode() || buffersCreated)) KV_ignore(free());
  KV_ignore(KV_Rts::exit());  // the base only releases the modes and channels
  // The loaded driver is this back end's only while it is the one the switch serves.
  KV_Rts_Asio* self = this;
  if (active.compare_exchange_strong(self, nullptr)) ASIOExit();
  return KV_OK;
}

// ---- the driver's thread ----

void KV_Rts_Asio::bufferSwitch(long index, ASIOBool) {
  KV_Rts_Asio* rts = active.load(std::memory_order_acquire);
  if (!rts || !rts->currentMode() || (index & ~1L)) return;
  long k = 0;
  walk<Chan>(rts->inputs, [&](Chan* c) { c->data = rts->infos[k++].buffers[index]; });
  walk<Chan>(rts->outputs, [&](Chan* c) { c->data = rts->infos[k++].buffers[index]; });
  if (callback) callback();
}

void KV_Rts_Asio::sampleRateChanged(ASIOSampleRate) {}

long KV_Rts_Asio::message(long selector, long value, void*, double*) {
  switch (selector) {
    case kAsioSelectorSupported:
      switch (value) {
        case kAsioEngineVersion:
        case kAsioResetRequest:
        case kAsioResyncRequest:
        case kAsioLatenciesChanged:
        case kAsioSupportsTimeInfo:
        case kAsioSupportsTimeCode:
        case kAsioSupportsInputMonitor: return 1;
        default: return 0;
      }
    case kAsioEngineVersion: return 2;
    case kAsioResetRequest:
    case kAsioResyncRequest:
    case kAsioLatenciesChanged:
    case kAsioSupportsTimeInfo: return 1;
    default: return 0;
  }
}

ASIOTime* KV_Rts_Asio::bufferSwitchTimeInfo(ASIOTime*, long, ASIOBool) { return nullptr; }
