#include "KV/Rts/AsioDrivers.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "KV/Rts/AsioHost.h"

namespace {

// The text value `value` of `key` into `out` (NUL-terminated); false when absent or not text.
bool readText(HKEY key, const char* value, char* out, DWORD size) {
  DWORD type = 0, n = size - 1;
  if (RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<BYTE*>(out), &n) != ERROR_SUCCESS) return false;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  out[n < size ? n : size - 1] = '\0';
  return true;
}

// A class is usable when classes-root\clsid has it (registry names compare without case) with
// an in-process server whose file exists.
bool serverExists(const char* clsid) {
  char lower[MAXDRVNAMELEN];
  std::snprintf(lower, sizeof lower, "%s", clsid);
  CharLowerBuffA(lower, static_cast<DWORD>(std::strlen(lower)));
  HKEY classes = nullptr, cls = nullptr, server = nullptr;
  bool found = false;
  if (RegOpenKeyA(HKEY_CLASSES_ROOT, "clsid", &classes) != ERROR_SUCCESS) return false;
  if (RegOpenKeyExA(classes, lower, 0, KEY_READ, &cls) == ERROR_SUCCESS) {
    if (RegOpenKeyExA(cls, "InprocServer32", 0, KEY_READ, &server) == ERROR_SUCCESS) {
      char path[MAX_PATH];
      if (readText(server, nullptr, path, sizeof path) && path[0]) {
        OFSTRUCT of{};
        of.cBytes = sizeof of;
        found = OpenFile(path, &of, OF_EXIST) != HFILE_ERROR;
      }
      RegCloseKey(server);
    }
    RegCloseKey(cls);
  }
  RegCloseKey(classes);
  return found;
}

}  // namespace

AsioDriverList::AsioDriverList() {
  HKEY root = nullptr;
  if (RegOpenKeyA(HKEY_LOCAL_MACHINE, "software\\asio", &root) != ERROR_SUCCESS) return;
  AsioDrvEntry** tail = &lpdrvlist;
  char keyname[MAXDRVNAMELEN];
  for (DWORD i = 0; RegEnumKeyA(root, i, keyname, MAXDRVNAMELEN) == ERROR_SUCCESS; ++i) {
    HKEY sub = nullptr;
    if (RegOpenKeyExA(root, keyname, 0, KEY_READ, &sub) != ERROR_SUCCESS) continue;
    char clsid[MAXDRVNAMELEN];
    if (readText(sub, "clsid", clsid, sizeof clsid) && serverExists(clsid)) {
      WCHAR wide[MAXDRVNAMELEN];
      CLSID id{};
      if (MultiByteToWideChar(CP_ACP, 0, clsid, -1, wide, MAXDRVNAMELEN) > 0 && CLSIDFromString(wide, &id) == S_OK) {
        auto* e = new (std::nothrow) AsioDrvEntry{};
        if (e) {
          e->index = numdrv++;
          e->clsid = id;
          if (!readText(sub, "description", e->name, sizeof e->name)) std::snprintf(e->name, sizeof e->name, "%s", keyname);
          *tail = e;
          tail = &e->next;
        }
      }
    }
    RegCloseKey(sub);
  }
  RegCloseKey(root);
  if (numdrv > 0) CoInitialize(nullptr);
}

AsioDriverList::~AsioDriverList() {
  const bool hadDrivers = numdrv > 0;
  while (lpdrvlist) {
    AsioDrvEntry* e = lpdrvlist;
    lpdrvlist = e->next;
    if (e->asio) e->asio->Release();
    delete e;
  }
  numdrv = 0;
  if (hadDrivers) CoUninitialize();
}

AsioDrvEntry* AsioDriverList::find(int index) const {
  for (AsioDrvEntry* e = lpdrvlist; e; e = e->next)
    if (e->index == index) return e;
  return nullptr;
}

long AsioDriverList::asioOpenDriver(int index, void** asiodrv) {
  if (!asiodrv) return DRVERR_INVALID_PARAM;
  AsioDrvEntry* e = find(index);
  if (!e) return DRVERR_DEVICE_NOT_FOUND;
  if (e->asio) return DRVERR_DEVICE_ALREADY_OPEN;
  void* created = nullptr;
  const HRESULT hr = CoCreateInstance(e->clsid, nullptr, CLSCTX_INPROC_SERVER, e->clsid, &created);
  if (hr != S_OK) return hr;
  e->asio = static_cast<IASIO*>(created);
  *asiodrv = created;
  return 0;
}

long AsioDriverList::asioCloseDriver(int index) {
  AsioDrvEntry* e = find(index);
  if (!e) return DRVERR_DEVICE_NOT_FOUND;
  if (e->asio) {
    e->asio->Release();
    e->asio = nullptr;
  }
  return 0;
}

long AsioDriverList::asioGetDriverName(int index, char* name, int size) const {
  if (!name || size < 1) return DRVERR_INVALID_PARAM;
  const AsioDrvEntry* e = find(index);
  if (!e) return DRVERR_DEVICE_NOT_FOUND;
  const size_t n = std::strlen(e->name);
  if (n < static_cast<size_t>(size)) {
    std::memcpy(name, e->name, n + 1);
  } else if (size >= 4) {
    std::memcpy(name, e->name, static_cast<size_t>(size - 4));
    std::memcpy(name + size - 4, "...", 4);
  } else {
    name[0] = '\0';
  }
  return 0;
}

long AsioDriverList::asioGetDriverCLSID(int index, CLSID* clsid) const {
  if (!clsid) return DRVERR_INVALID_PARAM;
  const AsioDrvEntry* e = find(index);
  if (!e) return DRVERR_DEVICE_NOT_FOUND;
  *clsid = e->clsid;
  return 0;
}

// ---- the loaded driver ----

AsioDrivers::~AsioDrivers() { removeCurrentDriver(); }

bool AsioDrivers::getCurrentDriverName(char* name) const {
  if (curIndex < 0 || !name) return false;
  return asioGetDriverName(static_cast<int>(curIndex), name, 32) == 0;
}

long AsioDrivers::getDriverNames(char** names, long maxDrivers) const {
  for (long i = 0; i < maxDrivers && i < numdrv; ++i) asioGetDriverName(static_cast<int>(i), names[i], 32);
  return numdrv < maxDrivers ? numdrv : maxDrivers;
}

void AsioDrivers::removeCurrentDriver() {
  if (curIndex >= 0) {
    // Forgotten before released: nothing reaches a driver that is going.
    theAsioDriver = nullptr;
    asioCloseDriver(static_cast<int>(curIndex));
  }
  curIndex = -1;
}

bool AsioDrivers::loadDriver(const char* name) {
  if (!name) return false;
  char dname[64];
  for (int i = 0; i < numdrv; ++i) {
    if (asioGetDriverName(i, dname, 32) != 0 || std::strcmp(name, dname) != 0) continue;
    char previous[64] = "";
    getCurrentDriverName(previous);
    removeCurrentDriver();
    void* driver = nullptr;
    if (asioOpenDriver(i, &driver) == 0) {
      theAsioDriver = static_cast<IASIO*>(driver);
      curIndex = i;
      return true;
    }
    theAsioDriver = nullptr;
    if (previous[0] && std::strcmp(dname, previous) != 0) loadDriver(previous);
    return false;
  }
  return false;
}
