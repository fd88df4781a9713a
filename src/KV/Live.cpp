#include "KV/Live.h"

#include <unordered_map>

#include "KV/Spcpp.h"

namespace {

// Never destroyed: objects made by static initialisers may still leave it at exit.
std::unordered_map<const void*, KV_Live_Kind>& record() {
  static auto* r = new std::unordered_map<const void*, KV_Live_Kind>;
  return *r;
}

}  // namespace

void KV_liveEnter(const void* p, KV_Live_Kind kind) {
  KV_CommandLock lock;
  record()[p] = kind;
}

void KV_liveLeave(const void* p) {
  KV_CommandLock lock;
  record().erase(p);
}

bool KV_isLive(const void* p, KV_Live_Kind kind) {
  KV_CommandLock lock;
  auto it = record().find(p);
  if (it == record().end()) return false;
  return it->second == kind || (kind == KV_LIVE_OBJECT && it->second == KV_LIVE_OWNED);
}

void KV_liveOwn(const KV_Object* o, bool owned) {
  KV_CommandLock lock;
  auto it = record().find(o);
  if (it != record().end() && (it->second == KV_LIVE_OBJECT || it->second == KV_LIVE_OWNED))
    it->second = owned ? KV_LIVE_OWNED : KV_LIVE_OBJECT;
}

void KV_forEachLive(void (*f)(KV_Object*, void*), void* data) {
  KV_CommandLock lock;
  for (const auto& [p, kind] : record())
    if (kind == KV_LIVE_OBJECT || kind == KV_LIVE_OWNED) f(static_cast<KV_Object*>(const_cast<void*>(p)), data);
}
