// The JACK back end on Linux: one client with two input ports and two or four output ports,
// blocks of the server's period. libjack is loaded when the back end is initialised, so that
// nothing that links the framework (the plug-in above all) depends on it.
#pragma once

#include <cstdint>

#include "KV/Rts/Rts.h"

struct KV_Rts_Jack final : KV_Rts {
  // A channel over one JACK port. JACK buffers hold one channel of 32-bit floats each.
  struct Chan : KV_Rts::Chan {
    void* port = nullptr;  // jack_port_t
    using KV_Rts::Chan::Chan;
  };

  KV_Chain_Item classItem{this};
  KV_Chain_Item instanceItem{this};

  static KV_Chain classes;
  static Callback callback;
  // Where libjack is looked for, the client's name, and the server to join (null: the
  // default server, or the one JACK_DEFAULT_SERVER names). A program may change them before init.
  static const char* library;
  static const char* clientName;
  static const char* serverName;

  // Stores the callback and registers the one instance, named "JACK".
  static KV_error classInit(Callback cb);
  // Closes, empties and deletes the instance: the program's last step.
  static void classExit();

  // Why the last init found no JACK to use (kNoLibrary, kNoServer), null otherwise. A missing
  // library or server is a state of the machine, not a fault: init answers
  // KV_ERROR_AUDIO_CANNOT_OPEN and leaves the fatal-error report to real failures.
  const char* absence = nullptr;
  static const char* const kNoLibrary;
  static const char* const kNoServer;

  // init loads libjack (KV_ERROR_AUDIO_CANNOT_OPEN when it is missing or no server answers),
  // opens the client and registers the inputs; the modes are the server's rate and period with
  // four and two outputs. mode registers the outputs and activates the client; free deactivates it.
  KV_error init() override;
  KV_error exit() override;
  KV_error mode(Mode* m) override;
  KV_error free() override;

  // The full JACK name ("client:port") of one of our channels, null when it has no port.
  const char* portName(const KV_Rts::Chan* c) const;
  // Connects two ports by their full names (ours or any other client's); KV_ERROR_AUDIO on failure.
  KV_error connect(const char* source, const char* destination);

 private:
  struct Api;

  KV_Rts_Jack() : KV_Rts("JACK") {}
  ~KV_Rts_Jack();

  KV_error fail(KV_error e, int line, const char* proc, const char* what);
  void closeClient();
  static int process(uint32_t frames, void* self);

  Api* api = nullptr;
  void* client = nullptr;  // jack_client_t
  bool activated = false;
};
