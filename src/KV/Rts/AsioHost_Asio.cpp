#include "KV/Rts/AsioHost.h"

#include <cstring>

AsioDrivers* asioDrivers = nullptr;
IASIO* theAsioDriver = nullptr;

namespace {
IASIOThiscallResolver resolver;

// The resolver over the loaded driver, or null when none is loaded.
IASIOThiscallResolver* driver() {
  if (!theAsioDriver) return nullptr;
  if (resolver.driver() != theAsioDriver) resolver = IASIOThiscallResolver(theAsioDriver);
  return &resolver;
}

template <class... T>
ASIOError absent(T*... out) {
  ((out ? void(*out = 0) : void()), ...);
  return ASE_NotPresent;
}
}  // namespace

ASIOError ASIOInit(ASIODriverInfo* info) {
  if (!info) return ASE_InvalidParameter;
  std::strcpy(info->name, "No ASIO Driver");
  info->driverVersion = 0;
  IASIOThiscallResolver* d = driver();
  if (!d) {
    std::strcpy(info->errorMessage, "No ASIO Driver Found");
    return ASE_NotPresent;
  }
  if (!d->init(info->sysRef)) {
    std::memset(info->errorMessage, 0, sizeof info->errorMessage);
    d->getErrorMessage(info->errorMessage);
    info->errorMessage[sizeof info->errorMessage - 1] = '\0';
    // The driver is of no use; it is released with the list's entry.
    if (asioDrivers) asioDrivers->removeCurrentDriver();
    theAsioDriver = nullptr;
    return ASE_NotPresent;
  }
  std::strcpy(info->errorMessage, "No ASIO Driver Error");
  std::memset(info->name, 0, sizeof info->name);
  d->getDriverName(info->name);
  info->name[sizeof info->name - 1] = '\0';
  info->driverVersion = d->getDriverVersion();
  return ASE_OK;
}

ASIOError ASIOExit() {
  if (asioDrivers) asioDrivers->removeCurrentDriver();
  theAsioDriver = nullptr;
  return ASE_OK;
}

ASIOError ASIOStart() {
  IASIOThiscallResolver* d = driver();
  return d ? d->start() : ASE_NotPresent;
}

ASIOError ASIOStop() {
  IASIOThiscallResolver* d = driver();
  return d ? d->stop() : ASE_NotPresent;
}

ASIOError ASIOGetChannels(long* numInputChannels, long* numOutputChannels) {
  IASIOThiscallResolver* d = driver();
  if (!d) return absent(numInputChannels, numOutputChannels);
  return d->getChannels(numInputChannels, numOutputChannels);
}

ASIOError ASIOGetBufferSize(long* minSize, long* maxSize, long* preferredSize, long* granularity) {
  IASIOThiscallResolver* d = driver();
  if (!d) return absent(minSize, maxSize, preferredSize, granularity);
  return d->getBufferSize(minSize, maxSize, preferredSize, granularity);
}

ASIOError ASIOCanSampleRate(ASIOSampleRate sampleRate) {
  IASIOThiscallResolver* d = driver();
  return d ? d->canSampleRate(sampleRate) : ASE_NotPresent;
}

ASIOError ASIOSetSampleRate(ASIOSampleRate sampleRate) {
  IASIOThiscallResolver* d = driver();
  return d ? d->setSampleRate(sampleRate) : ASE_NotPresent;
}

ASIOError ASIOGetChannelInfo(ASIOChannelInfo* info) {
  IASIOThiscallResolver* d = driver();
  if (!d) {
    if (info) {
      info->channelGroup = -1;
      info->type = ASIOSTInt16MSB;
      std::strcpy(info->name, "None");
    }
    return ASE_NotPresent;
  }
  return d->getChannelInfo(info);
}

ASIOError ASIOCreateBuffers(ASIOBufferInfo* bufferInfos, long numChannels, long bufferSize, ASIOCallbacks* callbacks) {
  IASIOThiscallResolver* d = driver();
  if (!d) {
    for (long i = 0; bufferInfos && i < numChannels; ++i) bufferInfos[i].buffers[0] = bufferInfos[i].buffers[1] = nullptr;
    return ASE_NotPresent;
  }
  return d->createBuffers(bufferInfos, numChannels, bufferSize, callbacks);
}

ASIOError ASIODisposeBuffers() {
  IASIOThiscallResolver* d = driver();
  return d ? d->disposeBuffers() : ASE_NotPresent;
}
