// The object model: tagged values, objects with option tables, the class table and the
// intrusive chains that pipes, buffers, effects, widgets and windows keep their members in.
#pragma once

#include <cstdint>
#include <new>

#include "KV/Export.h"

// Type codes of KV_value. The numbers are fixed: handlers test for a code greater than KV_NONE.
enum : int32_t {
  KV_SKIP = 0,    // no value, and a query result is not stored
  KV_NONE = 1,    // no value: query or action
  KV_INT = 2,     // signed 32-bit integer
  KV_FLOAT = 3,   // 32-bit float, its bits in val
  KV_STRING = 4,  // pointer to text
  KV_OBJECT = 5,  // object reference or any other pointer
};

// The payload is pointer-wide so that object and text references survive on 64-bit targets;
// on 32-bit Windows it is exactly 32 bits.
using KV_word = intptr_t;

struct KV_Object;

// The tagged value handed to and returned by every option handler.
struct KV_value {
  KV_word val;
  int32_t type;
  int32_t len;

  constexpr KV_value() : val(0), type(KV_NONE), len(-1) {}
  constexpr KV_value(KV_word v, int32_t t, int32_t l = -1) : val(v), type(t), len(l) {}

  // A control writes a value into its receiver and then calls notify with its data object.
  virtual void notify(KV_Object* data);

  bool isSet() const { return type > KV_NONE; }
  int32_t asInt() const { return static_cast<int32_t>(val); }
  float asFloat() const;
  // KV_INT or KV_FLOAT read as a number; anything else reads as 0.
  double asNumber() const;
  // The number truncated toward zero, as the numeric options store it.
  int32_t asTruncated() const;
  void* asPointer() const { return reinterpret_cast<void*>(val); }

  static KV_value ofInt(int32_t v) { return KV_value(v, KV_INT); }
  static KV_value ofFloat(float v);
  static KV_value ofString(const char* s) { return KV_value(reinterpret_cast<KV_word>(s), KV_STRING); }
  static KV_value ofObject(const void* p) { return KV_value(reinterpret_cast<KV_word>(p), KV_OBJECT); }
  static KV_value none() { return KV_value(0, KV_NONE); }
  static KV_value skip() { return KV_value(0, KV_SKIP); }
};

// A numeric option's value: an integer, or a float truncated toward zero.
inline bool KV_isNumber(const KV_value& v) { return v.type == KV_INT || v.type == KV_FLOAT; }

// A floating-point result truncated toward zero into 32 bits; values beyond the range pin to
// its ends and NaN gives 0, so that no conversion is left undefined.
inline int32_t KV_truncate32(long double x) {
  if (!(x == x)) return 0;
  if (x >= 2147483647.0L) return INT32_MAX;
  if (x <= -2147483648.0L) return INT32_MIN;
  return static_cast<int32_t>(x);
}

// The same for 64-bit integers.
inline int32_t KV_saturate32(int64_t x) {
  return x > INT32_MAX ? INT32_MAX : (x < INT32_MIN ? INT32_MIN : static_cast<int32_t>(x));
}

// {0, KV_NONE, -1}: passed to a handler to read an option directly.
KV_API extern KV_value KV_EMPTY;

using KV_creator = KV_Object* (*)();
using KV_handler = KV_value (*)(KV_Object* obj, KV_value v);

struct KV_option;

// Row 0 of a table holds the creator, rows 1..n the handlers, the last row the base table.
union KV_option_proc {
  KV_creator create;
  KV_handler handle;
  const KV_option* base;
};

struct KV_option {
  const char* name;
  KV_option_proc proc;
};

constexpr KV_option KV_opt_creator(KV_creator c) { return KV_option{"", {.create = c}}; }

// The creator of a class whose objects need nothing but their constructor: KV_opt_creator(KV_create<T>).
template <class T>
KV_Object* KV_create() {
  return new (std::nothrow) T;
}
constexpr KV_option KV_opt(const char* name, KV_handler h) { return KV_option{name, {.handle = h}}; }
constexpr KV_option KV_opt_end(const KV_option* base) { return KV_option{nullptr, {.base = base}}; }

// The base of every creatable object.
struct KV_Object {
  const KV_option* options = nullptr;  // set by the interpreter after the creator returns
  const char* command = nullptr;       // the creating command (the caller's text, not a copy)

  // Construction and destruction enter and leave the record of live objects (KV/Live.h).
  KV_Object();
  KV_Object(const KV_Object&) = delete;
  KV_Object& operator=(const KV_Object&) = delete;
  virtual ~KV_Object();
};

extern const KV_option KV_Object_options[];

// The object an option handler was called on, as the class whose table holds the handler.
template <class T>
T* KV_as(KV_Object* o) {
  return static_cast<T*>(o);
}

// The generic -delete: destroys the object through its virtual destructor.
KV_value KV_Object_delete(KV_Object* obj, KV_value v);

// One row of the class table: the command word and the class's option table.
struct KV_class {
  const char* name;
  const KV_option* options;
};

KV_API extern KV_class __KV[];

// The word after the class word when it is text, for the creator to read; otherwise null.
KV_API extern const char* KV_specialobject;

// Exported for compatibility; nothing reads or writes it.
KV_API extern int32_t procfreq;

// True when `word` (ending at a space or NUL) is exactly `name`.
bool KV_sameWord(const char* word, const char* name);

// Finds an option's handler along the table chain, starting at row 1; null when absent.
KV_handler KV_findOption(const KV_option* table, const char* name);

// Finds a class row by its command word in `table` (ended by a null name); null when absent.
const KV_class* KV_findClass(const char* word, const KV_class* table = __KV);

// The table the interpreter looks class words up in: __KV, unless a test puts its own in place.
extern const KV_class* KV_classTable;

struct KV_Chain;

struct KV_Chain_Item {
  KV_Chain_Item* prev = nullptr;
  KV_Chain_Item* next = nullptr;
  void* owner;
  KV_Chain* chain = nullptr;

  KV_API explicit KV_Chain_Item(void* owner_);
};

// An intrusive doubly linked list between two sentinels. It owns nothing.
struct KV_Chain {
  KV_Chain_Item head{nullptr};
  KV_Chain_Item tail{nullptr};
  int32_t count = 0;

  KV_Chain() { init(); }
  KV_Chain(const KV_Chain&) = delete;
  KV_Chain& operator=(const KV_Chain&) = delete;

  void init();
  // Links `item` before `before` (null: at the end). An item already in a chain is left alone.
  void insert(KV_Chain_Item* item, KV_Chain_Item* before = nullptr);
  // Unlinks `item` if it is in this chain; its prev and next keep their old values.
  KV_Chain_Item* remove(KV_Chain_Item* item);

  KV_Chain_Item* first() const { return head.next; }
  bool isEnd(const KV_Chain_Item* item) const { return item == &tail; }
};

// The process-wide widget list: set up at load, used by nothing else.
extern KV_Chain KV_widgets;

// Walks the member items in chain order until `stop` answers true: that item, or null.
template <class F>
KV_Chain_Item* KV_firstItem(const KV_Chain& chain, F&& stop) {
  for (KV_Chain_Item* it = chain.first(); !chain.isEnd(it); it = it->next)
    if (stop(it)) return it;
  return nullptr;
}

// Runs a function for every member item, in chain order.
template <class F>
void KV_forEachItem(const KV_Chain& chain, F&& f) {
  KV_firstItem(chain, [&](KV_Chain_Item* it) {
    f(it);
    return false;
  });
}

// Runs a function for every member's owner, in chain order.
template <class T, class F>
void KV_forEach(const KV_Chain& chain, F&& f) {
  KV_forEachItem(chain, [&](KV_Chain_Item* it) { f(static_cast<T*>(it->owner)); });
}

// The first member's owner for which `found` answers true, or null.
template <class T, class F>
T* KV_findIn(const KV_Chain& chain, F&& found) {
  KV_Chain_Item* it = KV_firstItem(chain, [&](KV_Chain_Item* i) { return found(static_cast<T*>(i->owner)); });
  return it ? static_cast<T*>(it->owner) : nullptr;
}

// Empties the chain from the front: each member item is unlinked and then handed to `f`.
template <class F>
void KV_takeEach(KV_Chain& chain, F&& f) {
  while (!chain.isEnd(chain.first())) f(chain.remove(chain.first()));
}
