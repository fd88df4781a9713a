#include "KV/KV.h"
#include "KV/Live.h"

#include <cstring>

KV_value KV_EMPTY;
const char* KV_specialobject = nullptr;
int32_t procfreq = 0;
KV_Chain KV_widgets;

void KV_value::notify(KV_Object*) {}

float KV_value::asFloat() const {
  uint32_t bits = static_cast<uint32_t>(val);
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

KV_value KV_value::ofFloat(float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return KV_value(static_cast<KV_word>(bits), KV_FLOAT);
}

double KV_value::asNumber() const {
  if (type == KV_FLOAT) return asFloat();
  if (type == KV_INT) return asInt();
  return 0.0;
}

int32_t KV_value::asTruncated() const {
  if (type != KV_FLOAT) return asInt();
  // Out-of-range and NaN floats would be undefined to convert; pin them to the int range.
  return KV_truncate32(asFloat());
}

KV_Object::KV_Object() { KV_liveEnter(this, KV_LIVE_OBJECT); }
KV_Object::~KV_Object() { KV_liveLeave(this); }

KV_value KV_Object_delete(KV_Object* obj, KV_value) {
  delete obj;
  return KV_value::none();
}

const KV_option KV_Object_options[] = {
    KV_opt_creator(nullptr),
    KV_opt("delete", KV_Object_delete),
    KV_opt_end(nullptr),
};

bool KV_sameWord(const char* word, const char* name) {
  size_t n = std::strlen(name);
  if (std::strncmp(word, name, n) != 0) return false;
  return word[n] == ' ' || word[n] == '\0';
}

KV_handler KV_findOption(const KV_option* table, const char* name) {
  if (!table) return nullptr;
  const KV_option* row = table + 1;
  for (;;) {
    if (!row->name) {
      if (!row->proc.base) return nullptr;
      row = row->proc.base + 1;
      continue;
    }
    if (KV_sameWord(name, row->name)) return row->proc.handle;
    ++row;
  }
}

const KV_class* KV_classTable = __KV;

const KV_class* KV_findClass(const char* word, const KV_class* table) {
  for (const KV_class* row = table; row->name; ++row)
    if (KV_sameWord(word, row->name)) return row;
  return nullptr;
}

KV_Chain_Item::KV_Chain_Item(void* owner_) : owner(owner_) {}

void KV_Chain::init() {
  head.prev = nullptr;
  head.next = &tail;
  tail.prev = &head;
  tail.next = nullptr;
  head.chain = tail.chain = this;
  count = 0;
}

void KV_Chain::insert(KV_Chain_Item* item, KV_Chain_Item* before) {
  if (item->chain) return;
  // An insertion point that is not a member of this chain means the end.
  if (!before || before->chain != this || before == &head) before = &tail;
  item->chain = this;
  item->prev = before->prev;
  item->next = before;
  before->prev->next = item;
  before->prev = item;
  ++count;
}

KV_Chain_Item* KV_Chain::remove(KV_Chain_Item* item) {
  if (item->chain != this || item == &head || item == &tail) return item;
  item->prev->next = item->next;
  item->next->prev = item->prev;
  item->chain = nullptr;
  --count;
  return item;
}
