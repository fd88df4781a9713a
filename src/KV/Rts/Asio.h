// The ASIO driver interface as host and driver agree on it: types, records, codes and the
// driver object's methods in their table order. Declared here from the published numbers.
#pragma once

#include <windows.h>
#include <unknwn.h>

using ASIOBool = long;  // 32 bits on Windows, 32- and 64-bit alike
using ASIOError = long;
using ASIOSampleRate = double;
using ASIOSampleType = long;

enum : long { ASIOFalse = 0, ASIOTrue = 1 };

enum : long {
  ASE_OK = 0,
  ASE_SUCCESS = 0x3F4847A0,
  ASE_NotPresent = -1000,
  ASE_HWMalfunction = -999,
  ASE_InvalidParameter = -998,
  ASE_InvalidMode = -997,
  ASE_SPNotAdvancing = -996,
  ASE_NoClock = -995,
  ASE_NoMemory = -994,
};

enum : long {
  kAsioSelectorSupported = 1,
  kAsioEngineVersion = 2,
  kAsioResetRequest = 3,
  kAsioBufferSizeChange = 4,
  kAsioResyncRequest = 5,
  kAsioLatenciesChanged = 6,
  kAsioSupportsTimeInfo = 7,
  kAsioSupportsTimeCode = 8,
  kAsioMMCCommand = 9,
  kAsioSupportsInputMonitor = 10,
};

enum : long {
  ASIOSTInt16MSB = 0,
  ASIOSTInt24MSB = 1,
  ASIOSTInt32MSB = 2,
  ASIOSTFloat32MSB = 3,
  ASIOSTFloat64MSB = 4,
  ASIOSTInt32MSB16 = 8,
  ASIOSTInt32MSB18 = 9,
  ASIOSTInt32MSB20 = 10,
  ASIOSTInt32MSB24 = 11,
  ASIOSTInt16LSB = 16,
  ASIOSTInt24LSB = 17,
  ASIOSTInt32LSB = 18,
  ASIOSTFloat32LSB = 19,
  ASIOSTFloat64LSB = 20,
  ASIOSTInt32LSB16 = 24,
  ASIOSTInt32LSB18 = 25,
  ASIOSTInt32LSB20 = 26,
  ASIOSTInt32LSB24 = 27,
  ASIOSTDSDInt8LSB1 = 32,
  ASIOSTDSDInt8MSB1 = 33,
  ASIOSTDSDInt8NER8 = 40,
};

struct ASIOSamples {
  unsigned long hi, lo;
};
struct ASIOTimeStamp {
  unsigned long hi, lo;
};

struct ASIOClockSource {
  long index;
  long associatedChannel;
  long associatedGroup;
  ASIOBool isCurrentSource;
  char name[32];
};

struct ASIOChannelInfo {
  long channel;
  ASIOBool isInput;
  ASIOBool isActive;
  long channelGroup;
  ASIOSampleType type;
  char name[32];
};

struct ASIOBufferInfo {
  ASIOBool isInput;
  long channelNum;
  void* buffers[2];
};

// Passed through by this host, never read: the time-info switch is not used.
struct ASIOTime;

// The host's callbacks, plain C functions.
struct ASIOCallbacks {
  void (*bufferSwitch)(long doubleBufferIndex, ASIOBool directProcess);
  void (*sampleRateDidChange)(ASIOSampleRate sRate);
  long (*asioMessage)(long selector, long value, void* message, double* opt);
  ASIOTime* (*bufferSwitchTimeInfo)(ASIOTime* params, long doubleBufferIndex, ASIOBool directProcess);
};

// What the host learns at ASIOInit.
struct ASIODriverInfo {
  long asioVersion;
  long driverVersion;
  char name[32];
  char errorMessage[124];
  void* sysRef;
};

// Drivers are built with the Microsoft compiler: on 32-bit Windows their methods take the object
// in ECX and pop their own arguments (thiscall), not the stdcall of COM's IUnknown.
#if defined(__i386__)
#define KV_ASIO_METHOD __attribute__((thiscall))
#else
#define KV_ASIO_METHOD
#endif

struct IASIO : public IUnknown {
  virtual ASIOBool KV_ASIO_METHOD init(void* sysHandle) = 0;
  virtual void KV_ASIO_METHOD getDriverName(char* name) = 0;
  virtual long KV_ASIO_METHOD getDriverVersion() = 0;
  virtual void KV_ASIO_METHOD getErrorMessage(char* string) = 0;
  virtual ASIOError KV_ASIO_METHOD start() = 0;
  virtual ASIOError KV_ASIO_METHOD stop() = 0;
  virtual ASIOError KV_ASIO_METHOD getChannels(long* numInputChannels, long* numOutputChannels) = 0;
  virtual ASIOError KV_ASIO_METHOD getLatencies(long* inputLatency, long* outputLatency) = 0;
  virtual ASIOError KV_ASIO_METHOD getBufferSize(long* minSize, long* maxSize, long* preferredSize,
                                                 long* granularity) = 0;
  virtual ASIOError KV_ASIO_METHOD canSampleRate(ASIOSampleRate sampleRate) = 0;
  virtual ASIOError KV_ASIO_METHOD getSampleRate(ASIOSampleRate* sampleRate) = 0;
  virtual ASIOError KV_ASIO_METHOD setSampleRate(ASIOSampleRate sampleRate) = 0;
  virtual ASIOError KV_ASIO_METHOD getClockSources(ASIOClockSource* clocks, long* numSources) = 0;
  virtual ASIOError KV_ASIO_METHOD setClockSource(long reference) = 0;
  virtual ASIOError KV_ASIO_METHOD getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) = 0;
  virtual ASIOError KV_ASIO_METHOD getChannelInfo(ASIOChannelInfo* info) = 0;
  virtual ASIOError KV_ASIO_METHOD createBuffers(ASIOBufferInfo* bufferInfos, long numChannels, long bufferSize,
                                                 ASIOCallbacks* callbacks) = 0;
  virtual ASIOError KV_ASIO_METHOD disposeBuffers() = 0;
  virtual ASIOError KV_ASIO_METHOD controlPanel() = 0;
  virtual ASIOError KV_ASIO_METHOD future(long selector, void* opt) = 0;
  virtual ASIOError KV_ASIO_METHOD outputReady() = 0;
};
