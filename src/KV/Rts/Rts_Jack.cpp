#include "KV/Rts/Rts_Jack.h"

#include <dlfcn.h>

#include <cstdio>
#include <new>
#include <type_traits>

// The part of the JACK client interface the back end uses, with the library's numbers.
namespace {
using jack_nframes_t = uint32_t;
using ProcessCallback = int (*)(jack_nframes_t, void*);
constexpr int JackNoStartServer = 0x01;
constexpr int JackServerName = 0x04;
constexpr int JackServerFailed = 0x10;  // a status bit: no server answered
constexpr unsigned long JackPortIsInput = 0x1;
constexpr unsigned long JackPortIsOutput = 0x2;
constexpr const char* JACK_DEFAULT_AUDIO_TYPE = "32 bit float mono audio";
constexpr const char* FILE_NAME = "../../../projects/KV/KV/Rts/Jack";
bool classesReady = false;
}  // namespace

struct KV_Rts_Jack::Api {
  void* handle = nullptr;
  void* (*client_open)(const char*, int, int*, ...) = nullptr;
  int (*client_close)(void*) = nullptr;
  jack_nframes_t (*get_sample_rate)(void*) = nullptr;
  jack_nframes_t (*get_buffer_size)(void*) = nullptr;
  void* (*port_register)(void*, const char*, const char*, unsigned long, unsigned long) = nullptr;
  int (*port_unregister)(void*, void*) = nullptr;
  void* (*port_get_buffer)(void*, jack_nframes_t) = nullptr;
  const char* (*port_name)(const void*) = nullptr;
  int (*set_process_callback)(void*, ProcessCallback, void*) = nullptr;
  int (*activate)(void*) = nullptr;
  int (*deactivate)(void*) = nullptr;
  int (*connect)(void*, const char*, const char*) = nullptr;
  void (*set_error_function)(void (*)(const char*)) = nullptr;
  void (*set_info_function)(void (*)(const char*)) = nullptr;

  // False, with the library closed again, when it or one of its functions is missing.
  bool load(const char* name) {
    handle = dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (!handle) return false;
    bool ok = true;
    auto bind = [&](auto& fn, const char* symbol) {
      void* p = dlsym(handle, symbol);
      ok = ok && p;
      fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(p);
    };
    bind(client_open, "jack_client_open");
    bind(client_close, "jack_client_close");
    bind(get_sample_rate, "jack_get_sample_rate");
    bind(get_buffer_size, "jack_get_buffer_size");
    bind(port_register, "jack_port_register");
    bind(port_unregister, "jack_port_unregister");
    bind(port_get_buffer, "jack_port_get_buffer");
    bind(port_name, "jack_port_name");
    bind(set_process_callback, "jack_set_process_callback");
    bind(activate, "jack_activate");
    bind(deactivate, "jack_deactivate");
    bind(connect, "jack_connect");
    if (!ok) {
      dlclose(handle);
      handle = nullptr;
      return false;
    }
    quieten();
    return true;
  }

  // libjack prints its complaints (no server, a failed connection) on standard error; what went
  // wrong reaches the program through the calls' results instead.
  void quieten() {
    set_error_function = reinterpret_cast<decltype(set_error_function)>(dlsym(handle, "jack_set_error_function"));
    set_info_function = reinterpret_cast<decltype(set_info_function)>(dlsym(handle, "jack_set_info_function"));
    if (set_error_function) set_error_function(&silent);
    if (set_info_function) set_info_function(&silent);
  }
  static void silent(const char*) {}
  // libjack stays loaded once it was: it keeps state of its own beyond its last client, which
  // an unload would pull from under it.
};

KV_Chain KV_Rts_Jack::classes;
KV_Rts::Callback KV_Rts_Jack::callback = nullptr;
const char* KV_Rts_Jack::library = "libjack.so.0";
const char* KV_Rts_Jack::clientName = "KV_Rts_Jack";
const char* KV_Rts_Jack::serverName = nullptr;
const char* const KV_Rts_Jack::kNoLibrary = "libjack is not installed: install libjack-jackd2-0 or pipewire-jack";
const char* const KV_Rts_Jack::kNoServer = "no server is running: start one with 'jackd -d alsa', or use PipeWire's pipewire-jack";

KV_Rts_Jack::~KV_Rts_Jack() {
  closeClient();
  delete api;
}

KV_error KV_Rts_Jack::classInit(Callback cb) {
  KV_Rts_initChain(classes, classesReady);
  callback = cb;
  auto* rts = new (std::nothrow) KV_Rts_Jack();
  if (!rts) return KV_ERROR_MEMORY_CANNOT_ALLOCATE;
  KV_Rts_enrol(classes, &rts->classItem, &rts->instanceItem);
  return KV_OK;
}

void KV_Rts_Jack::classExit() {
  // At unload nobody is left to tell of a client that will not close.
  KV_Rts_retireAll<KV_Rts_Jack>(
      classes, classesReady, [](KV_Rts_Jack* rts) { KV_ignore(rts->exit()); }, [](KV_Rts_Jack* rts) { delete rts; });
}

KV_error KV_Rts_Jack::fail(KV_error e, int line, const char* proc, const char* what) {
  char text[256];
  std::snprintf(text, sizeof text, "%s", what);
  KV_error_func(FILE_NAME, line, proc, __DATE__, __TIME__, text);
  return e;
}

void KV_Rts_Jack::closeClient() {
  if (!client) return;
  if (activated) api->deactivate(client);
  activated = false;
  api->client_close(client);
  client = nullptr;
}

KV_error KV_Rts_Jack::init() {
  KV_ignore(KV_Rts::init());  // the base has nothing to fail
  absence = nullptr;
  // A deactivation that fails has been reported; the client is closed next all the same.
  if (activated) KV_ignore(free());
  closeClient();
  releaseModes();
  releaseChans(inputs);

  if (!api) {
    api = new (std::nothrow) Api();
    if (!api) return KV_ERROR_MEMORY_CANNOT_ALLOCATE;
    if (!api->load(library)) {
      delete api;
      api = nullptr;
      absence = kNoLibrary;
      return KV_ERROR_AUDIO_CANNOT_OPEN;
    }
  }
  int status = 0;
  client = serverName ? api->client_open(clientName, JackNoStartServer | JackServerName, &status, serverName)
                      : api->client_open(clientName, JackNoStartServer, &status);
  if (!client && (status & JackServerFailed)) {
    absence = kNoServer;
    return KV_ERROR_AUDIO_CANNOT_OPEN;
  }
  if (!client) return fail(KV_ERROR_AUDIO_CANNOT_OPEN, __LINE__, "KV_Rts_Jack::init", "jack_client_open");
  if (api->set_process_callback(client, &process, this) != 0) {
    closeClient();
    return fail(KV_ERROR_AUDIO, __LINE__, "KV_Rts_Jack::init", "jack_set_process_callback");
  }

  const int32_t rate = static_cast<int32_t>(api->get_sample_rate(client));
  const int32_t frames = static_cast<int32_t>(api->get_buffer_size(client));
  modes.insert(new Mode(rate, 32, frames, 4));
  modes.insert(new Mode(rate, 32, frames, 2));

  static const char* const names[] = {"Left", "Right"};
  static const char* const ports[] = {"in_1", "in_2"};
  for (int c = 0; c < 2; ++c) {
    auto* ch = new Chan(names[c], format(4, 32, 0, true), frames);
    ch->port = api->port_register(client, ports[c], JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    inputs.insert(ch);
    if (!ch->port) {
      closeClient();
      releaseModes();
      releaseChans(inputs);
      return fail(KV_ERROR_AUDIO, __LINE__, "KV_Rts_Jack::init", "jack_port_register");
    }
  }
  return KV_OK;
}

KV_error KV_Rts_Jack::mode(Mode* m) {
  if (activated) {  // a new mode closes the old one first
    KV_error e = free();
    if (e != KV_OK) return e;
  }
  KV_ignore(KV_Rts::mode(m));  // the base only takes the mode
  if (!client || !m || m->channels < 1 || m->channels > 4 || m->rate != static_cast<int32_t>(api->get_sample_rate(client))) {
    current.store(nullptr, std::memory_order_release);
    return KV_ERROR_AUDIO_CANNOT_OPEN;
  }
  static const char* const names[] = {"Left front", "Right front", "Left back", "Right back"};
  static const char* const ports[] = {"out_1", "out_2", "out_3", "out_4"};
  walk<Chan>(inputs, [&](Chan* c) { c->length = m->frames; });
  for (int32_t d = 0; d < m->channels; ++d) {
    auto* ch = new Chan(names[d], format(4, 32, 0, true), m->frames);
    ch->port = api->port_register(client, ports[d], JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    outputs.insert(ch);
    if (!ch->port) {
      KV_ignore(free());  // the failure that stopped the opening is the one to answer
      return fail(KV_ERROR_AUDIO_CANNOT_OPEN, __LINE__, "KV_Rts_Jack::mode", "jack_port_register");
    }
  }
  if (api->activate(client) != 0) {
    KV_ignore(free());  // the failure that stopped the opening is the one to answer
    return fail(KV_ERROR_AUDIO_CANNOT_OPEN, __LINE__, "KV_Rts_Jack::mode", "jack_activate");
  }
  activated = true;
  return KV_OK;
}

KV_error KV_Rts_Jack::free() {
  // The mode goes first, and the outputs once the client is inactive: jack_deactivate returns
  // only when no process cycle of ours runs any more.
  current.store(nullptr, std::memory_order_release);
  KV_error result = KV_OK;
  if (client && activated) {
    if (api->deactivate(client) != 0) result = fail(KV_ERROR_AUDIO, __LINE__, "KV_Rts_Jack::free", "jack_deactivate");
    activated = false;
  }
  if (client)
    walk<Chan>(outputs, [&](Chan* c) {
      if (c->port) api->port_unregister(client, c->port);
      c->port = nullptr;
    });
  KV_ignore(KV_Rts::free());  // the base only forgets the mode and the outputs
  return result;
}

KV_error KV_Rts_Jack::exit() {
  // Leaving goes on whatever happens: a failing deactivation has shown its box.
  if (activated || currentMode()) KV_ignore(free());
  closeClient();
  KV_ignore(KV_Rts::exit());  // the base only releases the modes and channels
  delete api;
  api = nullptr;
  return KV_OK;
}

const char* KV_Rts_Jack::portName(const KV_Rts::Chan* c) const {
  const auto* ch = static_cast<const Chan*>(c);
  return api && ch && ch->port ? api->port_name(ch->port) : nullptr;
}

KV_error KV_Rts_Jack::connect(const char* source, const char* destination) {
  if (!client || !source || !destination) return KV_ERROR_AUDIO;
  return api->connect(client, source, destination) == 0 ? KV_OK : KV_ERROR_AUDIO;
}

// JACK's process thread: real-time, so nothing here allocates, locks or reports.
int KV_Rts_Jack::process(uint32_t frames, void* self) {
  auto* rts = static_cast<KV_Rts_Jack*>(self);
  if (!rts->currentMode()) return 0;
  Api* api = rts->api;
  const auto n = static_cast<int32_t>(frames);
  auto point = [&](Chan* c) {
    c->data = api->port_get_buffer(c->port, frames);
    c->length = n;  // the server may change its period while running
  };
  walk<Chan>(rts->inputs, point);
  walk<Chan>(rts->outputs, point);
  if (callback) callback();
  return 0;
}
