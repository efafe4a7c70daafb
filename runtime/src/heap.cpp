// Objects and strings with their locks. Nothing the plugin was ever given is
// freed before the runtime goes: dead objects and strings stay in the tables,
// poisoned, so that a late unlock or a use after release is counted instead of
// corrupting memory.
#include <iconv.h>

#include <bit>

#include <cerrno>
#include <cstring>

#include "internal.h"
#include "pictures.h"

namespace rt {

namespace {
constexpr unsigned char kPoison = 0xDD;
}

// ---- objects ----

ObjectRecord* Impl::recordOf(REALobject o) const {
  auto it = objects.find(o);
  return it == objects.end() ? nullptr : it->second.get();
}

ObjectRecord* Impl::liveObject(REALobject o, const char* context) {
  if (!o) return nullptr;
  ObjectRecord* r = recordOf(o);
  if (!r) {
    ++invalidReferences;
    note(std::string(context) + ": an object reference the runtime never handed out");
    return nullptr;
  }
  if (!r->alive) {
    ++overReleases;
    note(std::string(context) + ": an object of class " + r->cls->name + " that is already gone");
    return nullptr;
  }
  return r;
}

REALobject Impl::allocateObject(ClassInfo* cls) {
  auto r = std::make_unique<ObjectRecord>();
  r->size = static_cast<size_t>(cls->dataEnd);
  r->memory = static_cast<unsigned char*>(::operator new(r->size));
  std::memset(r->memory, 0, r->size);
  r->cls = cls;
  r->serial = nextSerial++;
  ObjectHeader* h = r->header();
  h->cls = cls;
  h->locks = 1;
  h->record = r.get();
  REALobject o = reinterpret_cast<REALobject>(r->memory);
  if (cls->builtin == Builtin::MemoryBlock) ++liveMemoryBlocks;
  else ++liveObjects;
  objects.emplace(o, std::move(r));
  return o;
}

REALobject Impl::newInstance(ClassInfo* cls) {
  REALobject o = allocateObject(cls);
  std::vector<ClassInfo*> chain;
  for (ClassInfo* c = cls; c; c = c->super) chain.push_back(c);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it)
    if ((*it)->constructor) runProc(reinterpret_cast<REALproc>((*it)->constructor), o);
  return o;
}

void Impl::lockObject(REALobject o) {
  if (ObjectRecord* r = liveObject(o, "REALLockObject")) ++r->header()->locks;
}

void Impl::unlockObject(REALobject o) {
  ObjectRecord* r = liveObject(o, "REALUnlockObject");
  if (!r) return;
  ObjectHeader* h = r->header();
  if (h->locks <= 0) {
    // Only possible while its destructors run.
    ++overReleases;
    note("REALUnlockObject: an object of class " + r->cls->name + " released during its own destruction");
    return;
  }
  if (--h->locks == 0 && !r->dying) destroyObject(*r);
}

void Impl::destroyObject(ObjectRecord& r) {
  r.dying = true;
  REALobject o = reinterpret_cast<REALobject>(r.memory);
  // The host runs the most derived destructor first.
  for (const ClassInfo* c = r.cls; c; c = c->super)
    if (c->destructor) runProc(reinterpret_cast<REALproc>(c->destructor), o);
  for (REALobject e : r.elements)
    if (e) unlockObject(e);
  r.elements.clear();
  if (r.message) {
    REALstring m = r.message;
    r.message = nullptr;
    unlockString(m);
  }
  closeMovieFile(*this, r);
  if (r.movie && r.movieOwned && movieProvider.dispose) movieProvider.dispose(r.movie);
  r.movie = nullptr;
  if (r.picture) releasePicture(*this, r);
  r.bytes.clear();
  r.bytes.shrink_to_fit();
  std::memset(r.memory + sizeof(ObjectHeader), kPoison, r.size - sizeof(ObjectHeader));
  r.header()->locks = 0;
  r.alive = false;
  if (r.cls->builtin == Builtin::MemoryBlock) --liveMemoryBlocks;
  else --liveObjects;
}

// ---- strings ----

StringRecord* Impl::stringRecordOf(REALstring s) const {
  auto it = strings.find(s);
  return it == strings.end() ? nullptr : it->second.get();
}

StringRecord* Impl::liveString(REALstring s, const char* context) {
  if (!s) return nullptr;
  StringRecord* r = stringRecordOf(s);
  if (!r) {
    ++invalidReferences;
    note(std::string(context) + ": a string reference the runtime never handed out");
    return nullptr;
  }
  if (!r->alive) {
    ++overReleases;
    note(std::string(context) + ": a string that is already gone");
    return nullptr;
  }
  return r;
}

REALstring Impl::buildString(std::string_view bytes, uint32_t encoding) {
  auto r = std::make_unique<StringRecord>();
  r->buffer = std::make_unique<char[]>(bytes.size() + 2);
  r->buffer[0] = 0;
  if (!bytes.empty()) std::memcpy(r->buffer.get() + 1, bytes.data(), bytes.size());
  r->buffer[bytes.size() + 1] = 0;
  r->record.refCount = 1;
  r->record.bytesMinusOne = r->buffer.get();
  r->record.length = bytes.size();
  r->encoding = encoding;
  r->serial = nextSerial++;
  REALstring s = reinterpret_cast<REALstring>(&r->record);
  ++liveStrings;
  strings.emplace(s, std::move(r));
  return s;
}

void Impl::lockString(REALstring s) {
  if (StringRecord* r = liveString(s, "REALLockString")) ++r->record.refCount;
}

void Impl::unlockString(REALstring s) {
  StringRecord* r = liveString(s, "REALUnlockString");
  if (!r) return;
  if (--r->record.refCount == 0) {
    std::memset(r->buffer.get(), kPoison, r->record.length + 2);
    r->alive = false;
    --liveStrings;
  }
}

const char* iconvName(uint32_t encoding) {
  constexpr bool little = std::endian::native == std::endian::little;
  switch (encoding) {
    case kREALEncodingMacRoman: return "MACINTOSH";
    case kREALEncodingWindowsLatin1: return "CP1252";
    case kREALEncodingASCII: return "ASCII";
    case kREALEncodingUTF8: return "UTF-8";
    case kREALEncodingUTF16: return little ? "UTF-16LE" : "UTF-16BE";
    case kREALEncodingUTF32: return little ? "UTF-32LE" : "UTF-32BE";
    default: return nullptr;
  }
}

std::optional<std::string> Impl::convert(const StringRecord& s, uint32_t to) const {
  std::string_view in = s.text();
  uint32_t from = s.encoding;
  if (from == kREALEncodingUnknown) {
    // Bytes of no known encoding convert only while they are plain ASCII.
    for (unsigned char c : in)
      if (c >= 0x80) return std::nullopt;
    from = kREALEncodingASCII;
  }
  const char* toName = iconvName(to);
  const char* fromName = iconvName(from);
  if (!toName || !fromName) return std::nullopt;
  if (from == to) return std::string(in);
  iconv_t cd = iconv_open(toName, fromName);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out;
  out.resize(in.size() * 4 + 16);
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  char* dst = out.data();
  size_t dstLeft = out.size();
  bool ok = true;
  while (srcLeft > 0) {
    if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) {
      size_t used = out.size() - dstLeft;
      out.resize(out.size() * 2);
      dst = out.data() + used;
      dstLeft = out.size() - used;
      continue;
    }
    ok = false;  // EILSEQ / EINVAL: not representable or truncated input
    break;
  }
  iconv_close(cd);
  if (!ok) return std::nullopt;
  out.resize(out.size() - dstLeft);
  return out;
}

// ---- built-in classes ----

REALobject Impl::newMemoryBlock(RBInteger size) {
  if (size < 0 || config.failMemoryBlocks) return nullptr;
  REALobject o = allocateObject(findClass("MemoryBlock"));
  recordOf(o)->bytes.assign(static_cast<size_t>(size), 0);
  return o;
}

REALobject Impl::newMovie(void* movie, bool owned) {
  REALobject o = allocateObject(findClass("movie"));
  ObjectRecord* r = recordOf(o);
  r->movie = movie;
  r->movieOwned = owned;
  return o;
}

REALobject Impl::newArray(const std::vector<REALobject>& elements) {
  REALobject o = allocateObject(findClass("ObjectArray"));
  ObjectRecord* r = recordOf(o);
  for (REALobject e : elements) {
    if (e) lockObject(e);
    r->elements.push_back(e);
  }
  return o;
}

REALobject Impl::newFolderItem(std::string path) {
  REALobject o = allocateObject(findClass("FolderItem"));
  recordOf(o)->path = std::move(path);
  return o;
}

void Impl::raise(REALobject exception) {
  ObjectRecord* r = liveObject(exception, "RuntimeRaiseException");
  if (!r) return;
  if (!r->cls->isA(findClass("RuntimeException"))) {
    note("RuntimeRaiseException: an object of class " + r->cls->name + " is not an exception");
    return;
  }
  if (pendingException) return;  // the first exception of a call is the one that counts
  lockObject(exception);
  pendingException = exception;
}

void Impl::clearPendingException() {
  if (!pendingException) return;
  REALobject e = pendingException;
  pendingException = nullptr;
  unlockObject(e);
}

void Impl::throwPending() { throw takePending(); }

HostException Impl::takePending() {
  REALobject e = pendingException;
  pendingException = nullptr;
  ObjectRecord* r = recordOf(e);
  std::string message;
  if (r->message)
    if (StringRecord* s = stringRecordOf(r->message)) {
      auto utf8 = convert(*s, kREALEncodingUTF8);
      message = utf8 ? *utf8 : std::string(s->text());
    }
  HostException ex(r->cls->name, message, r->errorNumber);
  unlockObject(e);
  return ex;
}

}  // namespace rt
