// The record of what lives: every framework object from its construction to its destruction,
// every window and every palette line. Entries are made and removed under the command lock;
// commands check the references they are given against the record before they use them. The
// audio path never looks at it.
#pragma once

#include "KV/KV.h"

// An owned object is a framework object that another object made or was given, and deletes.
enum KV_Live_Kind : int32_t { KV_LIVE_OBJECT, KV_LIVE_OWNED, KV_LIVE_WINDOW, KV_LIVE_LINE };

void KV_liveEnter(const void* p, KV_Live_Kind kind);
void KV_liveLeave(const void* p);
// True when `p` is a live entry of that kind; an owned object is also a live object. Takes the
// command lock.
bool KV_isLive(const void* p, KV_Live_Kind kind);
// Marks a live framework object as owned by another object, or gives it back to its maker.
void KV_liveOwn(const KV_Object* o, bool owned);

// Calls f(KV_Object*) for every live framework object, under the command lock. The order is
// unspecified, and f must not create or destroy objects.
void KV_forEachLive(void (*f)(KV_Object*, void*), void* data);

// The target of a reference option: true when `v` names a live framework object of class T, or
// is the null reference (which clears the option); `out` then receives it. Anything else (a text,
// a number, a pointer to something else) is not a reference to use.
template <class T>
bool KV_liveRef(const KV_value& v, T*& out) {
  if (v.type != KV_OBJECT) return false;
  if (!v.val) {
    out = nullptr;
    return true;
  }
  if (!KV_isLive(v.asPointer(), KV_LIVE_OBJECT)) return false;
  T* t = dynamic_cast<T*>(static_cast<KV_Object*>(v.asPointer()));
  if (!t) return false;
  out = t;
  return true;
}

// The same for a reference to a live entry of another kind (a window, a palette line): the
// null reference or the integer 0 clears it.
template <class T>
bool KV_liveEntry(const KV_value& v, KV_Live_Kind kind, T*& out) {
  if ((v.type == KV_OBJECT || v.type == KV_INT) && v.val == 0) {
    out = nullptr;
    return true;
  }
  if (v.type != KV_OBJECT || !KV_isLive(v.asPointer(), kind)) return false;
  out = static_cast<T*>(v.asPointer());
  return true;
}
