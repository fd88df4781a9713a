// The ASIO drivers installed on the machine, as the registry lists them, and the one that is loaded.
#pragma once

#include "KV/Rts/Asio.h"

// Results of the list's operations besides 0 and the COM creation's own codes.
enum : long {
  DRVERR_INVALID_PARAM = -5001,
  DRVERR_DEVICE_ALREADY_OPEN = -5002,
  DRVERR_DEVICE_NOT_FOUND = -5003,
};

constexpr int MAXDRVNAMELEN = 128;

struct AsioDrvEntry {
  int index;
  CLSID clsid;
  char name[MAXDRVNAMELEN];
  IASIO* asio;  // null until opened
  AsioDrvEntry* next;
};

class AsioDriverList {
 public:
  // Reads HKLM\software\asio: one entry per subkey whose class is registered with an existing
  // in-process server file, in enumeration order.
  AsioDriverList();
  // Releases every open driver; leaves COM if the list had entries.
  ~AsioDriverList();
  AsioDriverList(const AsioDriverList&) = delete;
  AsioDriverList& operator=(const AsioDriverList&) = delete;

  // Creates driver i through COM, asking for its class as the interface.
  long asioOpenDriver(int index, void** asiodrv);
  long asioCloseDriver(int index);
  int asioGetNumDev() const { return numdrv; }
  // The name, or its first size - 4 characters and "..." when it does not fit.
  long asioGetDriverName(int index, char* name, int size) const;
  long asioGetDriverCLSID(int index, CLSID* clsid) const;

 protected:
  AsioDrvEntry* find(int index) const;

  AsioDrvEntry* lpdrvlist = nullptr;
  int numdrv = 0;
};

class AsioDrivers : public AsioDriverList {
 public:
  AsioDrivers() = default;
  ~AsioDrivers();

  // Loads the driver listed under `name` (names compared as read into 32 characters) in place
  // of the current one. On failure none is loaded, except that a different driver that was
  // loaded before is loaded again.
  bool loadDriver(const char* name);
  void removeCurrentDriver();
  // The current driver's name into 32 characters; false when none is loaded.
  bool getCurrentDriverName(char* name) const;
  long getCurrentDriverIndex() const { return curIndex; }
  // Up to `maxDrivers` names, each into 32 characters; the number of drivers listed.
  long getDriverNames(char** names, long maxDrivers) const;

 private:
  long curIndex = -1;
};
