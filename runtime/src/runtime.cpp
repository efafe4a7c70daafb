// The Runtime's lifecycle, loading, user-code values and inspection.
#include <QuickTime/QuickTime.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <Folders.h>
#include <MacMemory.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <unordered_map>

#include "internal.h"

namespace rt {

// ---- the current runtime ----

namespace {
// The runtime is linked, never loaded later, so its thread-locals take the fast model.
[[gnu::tls_model("initial-exec")]] thread_local Impl* tCurrent = nullptr;
thread_local std::vector<Impl*> tAlive;  // in order of creation
}  // namespace

// Runtimes alive in the process, with the serial each was given, so that a Value
// released after its runtime is gone can tell. Few live at once, and every string
// or object a call returns asks: a scan beats hashing.
std::vector<std::pair<const Runtime*, uint64_t>>& liveRuntimes() {
  static auto* live = new std::vector<std::pair<const Runtime*, uint64_t>>();
  return *live;
}

uint64_t serialOf(const Runtime* rt) {
  for (const auto& [live, serial] : liveRuntimes())
    if (live == rt) return serial;
  return 0;
}

Impl* currentImpl() { return tCurrent; }
void makeCurrent(Impl* impl) { tCurrent = impl; }

// ---- exceptions ----

HostException::HostException(std::string className, std::string message, int64_t errorNumber)
    : std::runtime_error(className + ": " + message),
      className_(std::move(className)),
      message_(std::move(message)),
      errorNumber_(errorNumber) {}

// ---- Value ----

Value Value::integer(int64_t v) {
  Value x;
  x.kind_ = Kind::Integer;
  x.u_.i = v;
  return x;
}
Value Value::boolean(bool v) {
  Value x;
  x.kind_ = Kind::Boolean;
  x.u_.i = v ? 1 : 0;
  return x;
}
Value Value::real(double v) {
  Value x;
  x.kind_ = Kind::Double;
  x.u_.d = v;
  return x;
}
Value Value::color(uint32_t rgb) {
  Value x;
  x.kind_ = Kind::Color;
  x.u_.i = rgb & 0xFFFFFF;
  return x;
}

Value Value::adoptString(Runtime& rt, REALstring s) {
  Value x;
  if (!s) return x;
  x.kind_ = Kind::String;
  x.rt_ = &rt;
  x.rtSerial_ = serialOf(&rt);
  x.u_.ref = s;
  return x;
}
Value Value::adoptObject(Runtime& rt, REALobject o) {
  Value x;
  if (!o) return x;
  x.kind_ = Kind::Object;
  x.rt_ = &rt;
  x.rtSerial_ = serialOf(&rt);
  x.u_.ref = o;
  return x;
}
Value Value::retainString(Runtime& rt, REALstring s) {
  if (s) rt.impl().lockString(s);
  return adoptString(rt, s);
}
Value Value::retainObject(Runtime& rt, REALobject o) {
  if (o) rt.impl().lockObject(o);
  return adoptObject(rt, o);
}

Value::Value(const Value& other)
    : kind_(other.kind_), rt_(other.rt_), rtSerial_(other.rtSerial_), u_(other.u_) {
  if (kind_ == Kind::String) rt_->impl().lockString(asString());
  else if (kind_ == Kind::Object) rt_->impl().lockObject(asObject());
}
Value::Value(Value&& other) noexcept
    : kind_(other.kind_), rt_(other.rt_), rtSerial_(other.rtSerial_), u_(other.u_) {
  other.kind_ = Kind::Nil;
  other.rt_ = nullptr;
}
Value& Value::operator=(const Value& other) {
  if (this != &other) {
    Value copy(other);
    *this = std::move(copy);
  }
  return *this;
}
Value& Value::operator=(Value&& other) noexcept {
  if (this != &other) {
    release();
    kind_ = other.kind_;
    rt_ = other.rt_;
    rtSerial_ = other.rtSerial_;
    u_ = other.u_;
    other.kind_ = Kind::Nil;
    other.rt_ = nullptr;
  }
  return *this;
}
Value::~Value() { release(); }

void Value::release() {
  // Releasing may run plugin destructors; a host exception they raise has no
  // caller to go to and is dropped with the object.
  if ((kind_ == Kind::String || kind_ == Kind::Object) && serialOf(rt_) != rtSerial_) {
    kind_ = Kind::Nil;  // its runtime is gone, and everything it held with it
    rt_ = nullptr;
    return;
  }
  if (kind_ == Kind::String) rt_->impl().unlockString(asString());
  else if (kind_ == Kind::Object) {
    Impl& impl = rt_->impl();
    bool hadPending = impl.pendingException != nullptr;
    impl.unlockObject(asObject());
    if (!hadPending && impl.pendingException) impl.clearPendingException();
  }
  kind_ = Kind::Nil;
  rt_ = nullptr;
}

static const char* kindText(Value::Kind k) {
  static const char* names[] = {"nil", "Integer", "Boolean", "Double", "Color", "String", "Object"};
  return names[static_cast<int>(k)];
}

void Value::wrongKind(Kind want) const {
  throw UsageError(std::string("a ") + kindText(kind_) + " value read as " + kindText(want));
}

// ---- Impl ----

Impl::Impl(Runtime& rt, Config cfg) : runtime(rt), config(std::move(cfg)) {
  installBuiltinClasses();
  if (config.frameworksFolder) CarbonSetFrameworksFolder(config.frameworksFolder->c_str());
  tAlive.push_back(this);
  tCurrent = this;
}

void Impl::shutdown() {
  if (shuttingDown) return;
  shuttingDown = true;
  {
    CurrentScope scope(this);
    clearPendingException();
    // Whatever is still alive goes now, newest first, so objects holding locks on
    // older ones release them normally and the plugin's destructors still run
    // while its code is loaded.
    std::vector<ObjectRecord*> live;
    for (auto& [ref, r] : objects)
      if (r->alive) live.push_back(r.get());
    std::sort(live.begin(), live.end(), [](auto* a, auto* b) { return a->serial > b->serial; });
    for (ObjectRecord* r : live)
      if (r->alive && !r->dying) destroyObject(*r);
    clearPendingException();
  }
}

Impl::~Impl() {
  shutdown();
  for (auto& [ref, r] : objects) ::operator delete(r->memory);
  objects.clear();
  for (auto it = libraries.rbegin(); it != libraries.rend(); ++it) dlclose(*it);
  if (config.frameworksFolder) CarbonSetFrameworksFolder(nullptr);
  tAlive.erase(std::remove(tAlive.begin(), tAlive.end(), this), tAlive.end());
  if (tCurrent == this) tCurrent = tAlive.empty() ? nullptr : tAlive.back();
}

Accounting Impl::accounting() const {
  Accounting a;
  a.liveObjects = liveObjects;
  a.liveStrings = liveStrings;
  a.liveMemoryBlocks = liveMemoryBlocks;
  a.liveStringData = static_cast<long>(stringData.size());
  a.overReleases = overReleases;
  a.invalidReferences = invalidReferences;
  a.liveHandles = CarbonLiveHandleCount();
  a.lockedPictureDescriptions = lockedDescriptions;
  a.liveMovieFiles = liveMovieFiles;
  return a;
}

// ---- Runtime ----

Runtime::Runtime(Config config) : impl_(std::make_unique<Impl>(*this, std::move(config))) {
  static uint64_t nextSerial = 1;
  liveRuntimes().emplace_back(this, nextSerial++);
  // A new movie is an empty engine movie, disposed of with its movie object, as
  // the host's own movie class does it; tests and tools may provide another.
  impl_->movieProvider = {[] { return static_cast<void*>(NewMovie(0)); },
                          [](void* movie) { DisposeMovie(static_cast<Movie>(movie)); }};
}

Runtime::~Runtime() {
  impl_->shutdown();  // the plugin's destructors may still use the runtime
  std::erase_if(liveRuntimes(), [this](const auto& live) { return live.first == this; });
}

Config& Runtime::config() { return impl_->config; }

namespace {

// A fresh instance of the plugin at `path` for one runtime: the library itself when
// the process has it nowhere loaded, else a copy under a new name, or the dynamic
// loader hands back the instance already loaded, globals and rewritten records
// included. Null with `why` set when it cannot be loaded.
void* openFreshPlugin(const std::string& path, std::string& why) {
  static std::mutex lock;
  std::lock_guard<std::mutex> hold(lock);
  // Without a slash the loader would search its library path instead.
  const std::string own = path.find('/') == std::string::npos ? "./" + path : path;
  // The loader matches already loaded libraries by file identity too, whatever the name.
  if (void* loaded = dlopen(own.c_str(), RTLD_LAZY | RTLD_NOLOAD)) {
    dlclose(loaded);
  } else {
    void* lib = dlopen(own.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) why = dlerror();
    return lib;
  }

  std::ifstream in(path, std::ios::binary);
  if (!in) {
    why = "cannot read it";
    return nullptr;
  }
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/pelorin-plugin-XXXXXX.so";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = mkstemps(name.data(), 3);
  if (fd < 0) {
    why = "cannot create a temporary copy: " + std::string(strerror(errno));
    return nullptr;
  }
  std::string copyPath(name.data());
  std::vector<char> buf((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t done = 0;
  while (done < buf.size()) {
    ssize_t n = ::write(fd, buf.data() + done, buf.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  ::close(fd);
  void* lib = nullptr;
  if (done < buf.size()) why = "cannot write the temporary copy " + copyPath;
  else if (!(lib = dlopen(copyPath.c_str(), RTLD_NOW | RTLD_LOCAL))) why = dlerror();
  ::unlink(copyPath.c_str());
  return lib;
}

}  // namespace

void Runtime::loadPlugin(const std::string& path) {
  if (::access(path.c_str(), R_OK) != 0) throw std::runtime_error("cannot read the plugin " + path);
  std::string why;
  void* lib = openFreshPlugin(path, why);
  if (!lib) throw std::runtime_error("cannot load the plugin " + path + ": " + why);
  auto main = reinterpret_cast<REALPluginMainProc>(dlsym(lib, "REALPluginMain"));
  if (!main) {
    dlclose(lib);
    throw std::runtime_error("the plugin " + path + " has no REALPluginMain");
  }
  impl_->libraries.push_back(lib);
  CurrentScope scope(impl_.get());
  main(&resolveEntry);
}

Value Runtime::string(std::string_view bytes, uint32_t encoding) {
  return Value::adoptString(*this, impl_->buildString(bytes, encoding));
}

Value Runtime::newObject(std::string_view className) {
  ClassInfo* cls = impl_->findClass(className);
  if (!cls) throw UsageError("no class " + std::string(className));
  switch (cls->builtin) {
    case Builtin::MemoryBlock: return newMemoryBlock("");
    case Builtin::Movie: return newMovie();
    case Builtin::Array: return newObjectArray({});
    case Builtin::FolderItem: return newFolderItem("");
    case Builtin::Module: throw UsageError(cls->name + " is a module");
    case Builtin::Picture: throw UsageError("pictures are made with newPicture");
    default: break;
  }
  CurrentScope scope(impl_.get());
  Value v = Value::adoptObject(*this, impl_->newInstance(cls));
  if (impl_->pendingException) {
    v = Value();
    impl_->throwPending();
  }
  return v;
}

Value Runtime::newMemoryBlock(std::string_view bytes) {
  REALobject o = impl_->allocateObject(impl_->findClass("MemoryBlock"));
  impl_->recordOf(o)->bytes.assign(bytes.begin(), bytes.end());
  return Value::adoptObject(*this, o);
}

Value Runtime::newObjectArray(const std::vector<Value>& elements) {
  std::vector<REALobject> refs;
  for (const Value& e : elements) {
    if (!e.isNil() && e.kind() != Value::Kind::Object) throw UsageError("object arrays hold objects or nil");
    refs.push_back(e.asObject());
  }
  return Value::adoptObject(*this, impl_->newArray(refs));
}

Value Runtime::newFolderItem(std::string_view path) {
  return Value::adoptObject(*this, impl_->newFolderItem(std::string(path)));
}

Value Runtime::newMovie() {
  void* movie = impl_->movieProvider.create ? impl_->movieProvider.create() : nullptr;
  return Value::adoptObject(*this, impl_->newMovie(movie, movie != nullptr));
}

Value Runtime::newMovie(void* qtMovie) { return Value::adoptObject(*this, impl_->newMovie(qtMovie, false)); }

void Runtime::setMovieProvider(MovieProvider provider) { impl_->movieProvider = std::move(provider); }

bool Runtime::isA(const Value& object, std::string_view className) {
  if (object.kind() != Value::Kind::Object) return false;
  ObjectRecord* r = impl_->recordOf(object.asObject());
  ClassInfo* cls = impl_->findClass(className);
  return r && cls && r->cls->isA(cls);
}

std::string Runtime::className(const Value& object) {
  if (object.kind() != Value::Kind::Object) throw UsageError("not an object");
  ObjectRecord* r = impl_->recordOf(object.asObject());
  return r ? r->cls->name : std::string();
}

std::string Runtime::bytes(const Value& s) {
  if (s.kind() == Value::Kind::String) {
    StringRecord* r = impl_->stringRecordOf(s.asString());
    return r ? std::string(r->text()) : std::string();
  }
  if (s.kind() == Value::Kind::Object) {
    ObjectRecord* r = impl_->recordOf(s.asObject());
    if (r && r->cls->builtin == Builtin::MemoryBlock) return std::string(r->bytes.begin(), r->bytes.end());
  }
  throw UsageError("bytes of a value that is neither a string nor a memory block");
}

uint32_t Runtime::encoding(const Value& s) {
  StringRecord* r = impl_->stringRecordOf(s.asString());
  if (!r) throw UsageError("encoding of a value that is not a string");
  return r->encoding;
}

std::string Runtime::utf8(const Value& s) {
  StringRecord* r = impl_->stringRecordOf(s.asString());
  if (!r) throw UsageError("text of a value that is not a string");
  if (auto out = impl_->convert(*r, kREALEncodingUTF8)) return *out;
  throw UsageError("the string's bytes are not valid in its encoding");
}

long Runtime::locks(const Value& v) const {
  if (v.kind() == Value::Kind::String) {
    StringRecord* r = impl_->stringRecordOf(v.asString());
    return r && r->alive ? static_cast<long>(r->record.refCount) : 0;
  }
  if (v.kind() == Value::Kind::Object) {
    ObjectRecord* r = impl_->recordOf(v.asObject());
    return r && r->alive ? static_cast<long>(r->locks()) : 0;
  }
  return 0;
}

Accounting Runtime::accounting() const { return impl_->accounting(); }

std::string Runtime::leakReport() const {
  std::ostringstream out;
  std::vector<const ObjectRecord*> objs;
  for (auto& [ref, r] : impl_->objects)
    if (r->alive) objs.push_back(r.get());
  std::sort(objs.begin(), objs.end(), [](auto* a, auto* b) { return a->serial < b->serial; });
  for (const ObjectRecord* r : objs) {
    out << "object #" << r->serial << " of class " << r->cls->name << ", " << r->locks() << " lock(s)";
    if (r->movieFile) out << ", file " << moviePathOf(*r) << " open";
    out << '\n';
  }
  std::vector<const StringRecord*> strs;
  for (auto& [ref, r] : impl_->strings)
    if (r->alive) strs.push_back(r.get());
  std::sort(strs.begin(), strs.end(), [](auto* a, auto* b) { return a->serial < b->serial; });
  for (const StringRecord* s : strs) {
    out << "string #" << s->serial << " \"";
    std::string_view t = s->text();
    for (size_t i = 0; i < t.size() && i < 60; ++i) {
      unsigned char c = static_cast<unsigned char>(t[i]);
      if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') out << static_cast<char>(c);
      else {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        out << hex;
      }
    }
    out << (t.size() > 60 ? "...\"" : "\"") << ", " << s->record.refCount << " lock(s)\n";
  }
  if (!impl_->stringData.empty()) out << impl_->stringData.size() << " string data record(s) not given back\n";
  if (impl_->lockedDescriptions) out << impl_->lockedDescriptions << " picture description lock(s) not given back\n";
  if (impl_->overReleases) out << impl_->overReleases << " over-release(s)\n";
  if (impl_->invalidReferences) out << impl_->invalidReferences << " invalid reference(s)\n";
  for (const std::string& d : impl_->diagnostics) out << "note: " << d << "\n";
  return out.str();
}

const std::vector<Registration>& Runtime::registrations() const { return impl_->registrations; }

long Runtime::entryCalls(std::string_view entryName) const {
  long n = 0;
  for (const auto& [name, calls] : impl_->entryCalls)
    if (entryName == name) n += calls;
  return n;
}

long Runtime::resolverQueries(std::string_view entryName) const {
  auto it = impl_->resolverQueries.find(entryName);
  return it == impl_->resolverQueries.end() ? 0 : it->second;
}

REALResolver Runtime::resolver() {
  makeCurrent(impl_.get());
  return &resolveEntry;
}

std::optional<HostException> Runtime::takeException() {
  if (!impl_->pendingException) return std::nullopt;
  return impl_->takePending();
}

std::optional<long> Runtime::pluginVersion() const { return impl_->pluginVersion; }

const std::vector<std::string>& Runtime::diagnostics() const { return impl_->diagnostics; }

}  // namespace rt
