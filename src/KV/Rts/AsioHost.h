// The host side of ASIO: the loaded driver reached through the resolver, and the host functions.
#pragma once

#include "KV/Rts/Asio.h"
#include "KV/Rts/AsioDrivers.h"

// Every call of the host reaches the driver through here. The methods of IASIO are declared
// with the drivers' own convention (thiscall on 32-bit Windows), so that the compiler passes
// the object and the arguments the way a driver built with the Microsoft compiler expects them;
// this is the one place where a host call meets a driver method.
class IASIOThiscallResolver {
 public:
  explicit IASIOThiscallResolver(IASIO* driver = nullptr) : that(driver) {}
  IASIO* driver() const { return that; }

  ASIOBool init(void* sysHandle) { return that->init(sysHandle); }
  void getDriverName(char* name) { that->getDriverName(name); }
  long getDriverVersion() { return that->getDriverVersion(); }
  void getErrorMessage(char* text) { that->getErrorMessage(text); }
  ASIOError start() { return that->start(); }
  ASIOError stop() { return that->stop(); }
  ASIOError getChannels(long* in, long* out) { return that->getChannels(in, out); }
  ASIOError getLatencies(long* in, long* out) { return that->getLatencies(in, out); }
  ASIOError getBufferSize(long* mn, long* mx, long* pref, long* gran) { return that->getBufferSize(mn, mx, pref, gran); }
  ASIOError canSampleRate(ASIOSampleRate rate) { return that->canSampleRate(rate); }
  ASIOError getSampleRate(ASIOSampleRate* rate) { return that->getSampleRate(rate); }
  ASIOError setSampleRate(ASIOSampleRate rate) { return that->setSampleRate(rate); }
  ASIOError getChannelInfo(ASIOChannelInfo* info) { return that->getChannelInfo(info); }
  ASIOError createBuffers(ASIOBufferInfo* infos, long n, long size, ASIOCallbacks* cb) {
    return that->createBuffers(infos, n, size, cb);
  }
  ASIOError disposeBuffers() { return that->disposeBuffers(); }
  ASIOError outputReady() { return that->outputReady(); }

 private:
  IASIO* that;
};

// The driver list (made on first use) and the loaded driver, null when none is.
extern AsioDrivers* asioDrivers;
extern IASIO* theAsioDriver;

// Each returns ASE_NotPresent (and clears its out values) while no driver is loaded.
ASIOError ASIOInit(ASIODriverInfo* info);
ASIOError ASIOExit();  // unloads the current driver and forgets it
ASIOError ASIOStart();
ASIOError ASIOStop();
ASIOError ASIOGetChannels(long* numInputChannels, long* numOutputChannels);
ASIOError ASIOGetBufferSize(long* minSize, long* maxSize, long* preferredSize, long* granularity);
ASIOError ASIOCanSampleRate(ASIOSampleRate sampleRate);
ASIOError ASIOSetSampleRate(ASIOSampleRate sampleRate);
ASIOError ASIOGetChannelInfo(ASIOChannelInfo* info);  // name "None" without a driver
ASIOError ASIOCreateBuffers(ASIOBufferInfo* bufferInfos, long numChannels, long bufferSize, ASIOCallbacks* callbacks);
ASIOError ASIODisposeBuffers();
