#include "KV/Spcpp.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "KV/Live.h"
#include "KV/Tokenizer.h"

namespace {

bool isSeparator(char c) { return c == ' ' || c == '\0'; }

size_t wordEnd(const char* text, size_t pos) {
  while (!isSeparator(text[pos])) ++pos;
  return pos;
}

// Where the reading stands in the command, and where the arguments come from. A dry cursor
// takes no arguments: it only checks the shape of the command.
struct Cursor {
  char* text;
  size_t pos = 0;
  bool last = false;     // the last token has been read
  size_t separator = 0;  // the separator after the value just read
  va_list* args = nullptr;  // null while checking

  bool dry() const { return args == nullptr; }

  // Notes whether the text ends at the separator under the position, and moves past it.
  void passSeparator() {
    separator = pos;
    last = text[pos] == '\0';
    if (!last) ++pos;
  }

  KV_value token() {
    KV_value v = KV_tokenize(text, pos);
    passSeparator();
    return v;
  }

  template <class T>
  T take() {
    return dry() ? T() : va_arg(*args, T);
  }
};

struct Failure {
  KV_error code = nullptr;
  char badPlaceholder = 0;
};

// Reads the value at the cursor: a placeholder with its argument, a lone %, or a token.
KV_value readValue(Cursor& c, Failure& f) {
  KV_value v = KV_value::none();
  char* p = c.text + c.pos;
  if (*p == '%') {
    switch (p[1]) {
      case 'f': v = KV_value::ofFloat(static_cast<float>(c.take<double>())); c.pos += 2; break;
      case 'i': v = KV_value::ofInt(c.take<int>()); c.pos += 2; break;
      case 'o': v = KV_value::ofObject(c.take<void*>()); c.pos += 2; break;
      case 's': v = KV_value::ofString(c.take<const char*>()); c.pos += 2; break;
      case '\0': v = KV_value::skip(); c.pos += 1; break;
      case ' ':
        // The lone %: no value, and the word after it is the next option word.
        v = KV_value(reinterpret_cast<KV_word>(p + 2), KV_SKIP);
        c.pos = wordEnd(c.text, c.pos + 2);
        break;
      default:
        f.code = KV_ERROR_COMMAND_NOT_PARAM;
        f.badPlaceholder = p[1];
        return v;
    }
    if (!isSeparator(c.text[c.pos])) {
      f.code = KV_ERROR_COMMAND_NOT_PARAM;
      f.badPlaceholder = p[1];
      return v;
    }
    c.passSeparator();
    return v;
  }
  v = c.token();
  // An option word, or the empty word a trailing space leaves: no value.
  if (v.type == KV_STRING && (*p == '-' || *p == '\0')) v.type = KV_NONE;
  return v;
}

// An option word: text that starts with '-' and has a name after it.
bool isOptionWord(const char* word) {
  return word[0] == '-' && !isSeparator(word[1]) && KV_tokenState(word, 0) == 11;
}

// An empty word at the very end, left by a trailing space.
bool isTrailingEmpty(const char* word) { return *word == '\0'; }

struct TextOut {
  char* out;
  int capacity;
  int length = 0;

  void append(const char* piece, size_t n) {
    if (length < capacity) {
      size_t room = static_cast<size_t>(capacity - length);
      std::memcpy(out + length, piece, n < room ? n : room);
    }
    length += static_cast<int>(n);
  }

  void appendf(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    char piece[64];
    va_list ap;
    va_start(ap, format);
    int n = std::vsnprintf(piece, sizeof piece, format, ap);
    va_end(ap);
    if (n > 0) append(piece, static_cast<size_t>(n) < sizeof piece ? static_cast<size_t>(n) : sizeof piece - 1);
  }

  const char* sep() const { return length ? " " : ""; }

  void reference(const void* p) { appendf("%s0x%" PRIXPTR, sep(), reinterpret_cast<uintptr_t>(p)); }

  void result(const KV_value& r) {
    switch (r.type) {
      case KV_INT: appendf("%s%d", sep(), r.asInt()); break;
      case KV_FLOAT: appendf("%s%f", sep(), static_cast<double>(r.asFloat())); break;
      case KV_STRING: {
        const char* s = static_cast<const char*>(r.asPointer());
        const char* lead = sep();
        append(lead, std::strlen(lead));
        if (s) append(s, std::strlen(s));
        break;
      }
      case KV_OBJECT:
        if (r.len < 0) {
          reference(r.asPointer());
        } else {
          const char* lead = sep();
          append(lead, std::strlen(lead));
          append(static_cast<const char*>(r.asPointer()), static_cast<size_t>(r.len));
        }
        break;
      default: break;
    }
  }
};

void reportUnknownOption(const char* command, const char* name) {
  std::printf("spcpp: %s\n", command);
  std::printf("spcpp: param '%s' not found\n", name);
}

KV_error reportCommandNotFound(const char* word) {
  std::printf("spcpp: command '%s' not found\n", word);
  return KV_ERROR_COMMAND_NOT_FOUND;
}

KV_error reportFailure(const Cursor& c, const Failure& f, const char* word) {
  if (f.badPlaceholder) {
    std::printf("spcpp: %s\n", c.text);
    std::printf("spcpp: placeholder '%%%c' not known\n", f.badPlaceholder);
  } else {
    reportUnknownOption(c.text, word);
  }
  return f.code;
}

// True when `table` is `wanted` or chains to it.
bool chainsTo(const KV_option* table, const KV_option* wanted) {
  while (table) {
    if (table == wanted) return true;
    const KV_option* row = table + 1;
    while (row->name) ++row;
    table = row->proc.base;
  }
  return false;
}

// An object's own table and a class word's table belong together when one is the other's base.
// An object that no command made has no table of its own, and its maker answers for it.
bool related(const KV_option* classTable, const KV_option* own) {
  return !own || chainsTo(own, classTable) || chainsTo(classTable, own);
}

// The class a command names, or null for a command that starts with the object ("%o ...").
struct Head {
  const KV_class* cls = nullptr;
  KV_error error = nullptr;
};

Head readHead(Cursor& c) {
  Head h;
  if (c.text[0] == '%') {
    // Only an object reference can stand first; the cursor stays on it.
    if (c.text[1] != 'o' || !isSeparator(c.text[2])) h.error = reportCommandNotFound(c.text);
    return h;
  }
  size_t start = c.pos;
  KV_tokenize(c.text, c.pos);
  c.passSeparator();
  h.cls = KV_findClass(c.text + start, KV_classTable);
  if (!h.cls) h.error = reportCommandNotFound(c.text + start);
  return h;
}

// One walk over a command. A dry walk takes no argument and touches no object: it checks the
// shape of the command first, so that a malformed command fails before anything is made.
struct Run {
  int flags;
  Cursor c;
  TextOut text;
  const KV_option* table = nullptr;
  KV_Object* object = nullptr;
  bool gone = false;  // an option has deleted the object

  bool dry() const { return c.dry(); }
  bool pointers() const { return flags & SPCPP_POINTERS; }
  bool texts() const { return flags & SPCPP_TEXT; }

  template <class T>
  void store(T value) {
    T* target = va_arg(*c.args, T*);
    if (target) *target = value;
  }

  // Numbers go to a 32-bit variable, texts and references to a pointer variable.
  void storeResult(const KV_value& r) {
    if (KV_isNumber(r))
      store<int32_t>(static_cast<int32_t>(r.val));
    else
      store<void*>(r.asPointer());
  }

  KV_error checkObjectPosition(const KV_class* cls, const KV_value& v) {
    if (!cls) return nullptr;  // "%o ..."
    if (KV_isNumber(v)) {
      std::printf("spcpp: object reference expected in '%s'\n", c.text);
      return KV_ERROR_PARAM_REQUIRED;
    }
    if (v.type != KV_OBJECT && !cls->options[0].proc.create) {
      std::printf("spcpp: class '%s' cannot be created\n", cls->name);
      return KV_ERROR_COMMAND_NOT_FOUND;
    }
    return nullptr;
  }

  // A reference must name a live object, of the class word's class when there is one: any
  // other address would reach the handlers as an object it is not.
  KV_error takeObject(const KV_value& v) {
    object = static_cast<KV_Object*>(v.asPointer());
    if (!object) {
      std::printf("spcpp: null object in '%s'\n", c.text);
      return KV_ERROR_PARAM_REQUIRED;
    }
    if (!KV_isLive(object, KV_LIVE_OBJECT)) {
      std::printf("spcpp: no object at 0x%" PRIXPTR " in '%s'\n", static_cast<uintptr_t>(v.val), c.text);
      return KV_ERROR_PARAM_REQUIRED;
    }
    if (table && !related(table, object->options)) {
      std::printf("spcpp: the object at 0x%" PRIXPTR " is not of the class in '%s'\n", static_cast<uintptr_t>(v.val),
                  c.text);
      return KV_ERROR_PARAM_REQUIRED;
    }
    if (!table) table = object->options;
    return nullptr;
  }

  KV_error create(const KV_class* cls, const KV_value& v) {
    KV_specialobject = v.type == KV_STRING ? static_cast<const char*>(v.asPointer()) : nullptr;
    object = cls->options[0].proc.create();
    if (!object) return KV_ERROR_MEMORY_CANNOT_ALLOCATE;
    object->options = cls->options;
    object->command = c.text;
    if (texts()) text.reference(object);
    if (pointers() && v.type > KV_SKIP) store<KV_Object*>(object);
    return nullptr;
  }

  KV_error setObject(const KV_class* cls, const KV_value& v) {
    if (dry()) return checkObjectPosition(cls, v);
    if (KV_isNumber(v) || v.type == KV_OBJECT) return takeObject(v);
    return create(cls, v);
  }

  // Applies the pending option `word` with the value read after it.
  KV_error apply(const char* word, const KV_value& v) {
    if (dry()) return nullptr;
    if (gone) {
      std::printf("spcpp: the object in '%s' is deleted before '%s'\n", c.text, word);
      return KV_ERROR_COMMAND_NOT_PARAM;
    }
    KV_handler h = KV_findOption(table, word + 1);
    if (!h) {
      reportUnknownOption(c.text, word + 1);
      return KV_ERROR_COMMAND_NOT_PARAM;
    }
    if (KV_isLive(object, KV_LIVE_OWNED) && KV_sameWord(word + 1, "delete")) {
      // Another object owns it and deletes it itself.
      std::printf("spcpp: the object in '%s' belongs to the object that made it\n", c.text);
      return KV_ERROR_COMMAND_NOT_PARAM;
    }
    if (v.isSet()) {
      char saved = c.text[c.separator];
      if (saved) c.text[c.separator] = '\0';
      h(object, v);
      if (saved) c.text[c.separator] = saved;
      gone = !KV_isLive(object, KV_LIVE_OBJECT);
      return nullptr;
    }
    KV_value r = h(object, KV_value::none());
    gone = !KV_isLive(object, KV_LIVE_OBJECT);
    if (texts()) text.result(r);
    if (pointers() && r.type > KV_NONE && v.type > KV_SKIP) storeResult(r);
    return nullptr;
  }

  KV_error exec(const KV_class* cls) {
    Failure f;
    KV_value v = c.last ? KV_value::none() : readValue(c, f);
    if (f.code) return reportFailure(c, f, "");
    if (KV_error e = setObject(cls, v)) return e;
    for (;;) {
      if (texts() && text.length > text.capacity) return KV_ERROR_COMMAND_NOT_SPACE;
      // A value is followed by the next option word; an option word or a lone % carries it.
      // An option word that ends the command is still applied, as a query.
      const char* word;
      if (v.isSet()) {
        if (c.last) return KV_OK;
        word = c.text + c.pos;
        c.token();
      } else {
        word = static_cast<const char*>(v.asPointer());
      }
      if (!word || isTrailingEmpty(word)) return KV_OK;
      if (!isOptionWord(word)) {
        f.code = KV_ERROR_COMMAND_NOT_PARAM;
        return reportFailure(c, f, word);
      }
      v = c.last ? KV_value::none() : readValue(c, f);
      if (f.code) return reportFailure(c, f, word + 1);
      if (KV_error e = apply(word, v)) return e;
    }
  }
};

KV_error walk(int flags, char* command, TextOut& text, va_list* args) {
  Run run{flags, Cursor{command}, text};
  run.c.args = args;
  Head h = readHead(run.c);
  if (h.error) return h.error;
  run.table = h.cls ? h.cls->options : nullptr;
  KV_error e = run.exec(h.cls);
  text.length = run.text.length;
  return e;
}

}  // namespace

namespace {
// Never destroyed: objects destroyed late at exit still take it to leave the live record.
std::recursive_mutex& commandMutex() {
  static auto* m = new std::recursive_mutex;
  return *m;
}
}  // namespace

KV_CommandLock::KV_CommandLock() { commandMutex().lock(); }
KV_CommandLock::~KV_CommandLock() { commandMutex().unlock(); }

KV_error spcpp_run(int flags, char* command, char* out, int* capacity, va_list args) {
  KV_CommandLock lock;
  bool textMode = (flags & SPCPP_TEXT) && out && capacity && *capacity >= 0;
  if (textMode) std::memset(out, 0, static_cast<size_t>(*capacity));
  if (!textMode) flags &= ~SPCPP_TEXT;
  if (!command) return reportCommandNotFound("");
  TextOut none{nullptr, 0};
  if (KV_error e = walk(flags, command, none, nullptr); e != KV_OK) return e;

  va_list ap;
  va_copy(ap, args);
  TextOut text{out, textMode ? *capacity : 0};
  KV_error e = walk(flags, command, text, &ap);
  va_end(ap);
  if (e == KV_OK && textMode) *capacity = text.length;
  return e;
}

KV_error spcpp(char* command, ...) {
  va_list ap;
  va_start(ap, command);
  KV_error e = spcpp_run(SPCPP_POINTERS, command, nullptr, nullptr, ap);
  va_end(ap);
  return e;
}
