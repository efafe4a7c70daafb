// The runtime's inner model: classes as registered, the heap of objects and
// strings with their locks, and the bookkeeping tests read.
#pragma once

#include <pelorin/runtime.h>

#include <ffi.h>

#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "declaration.h"

namespace rt {

// Every object starts with this header; instance data follows at offset 24 for a
// class without a superclass.
struct ObjectHeader {
  const struct ClassInfo* cls;
  intptr_t locks;
  struct ObjectRecord* record;
};
constexpr size_t kHeaderSize = 24;
static_assert(sizeof(ObjectHeader) <= kHeaderSize);

// One C argument of a call: where its value comes from and how it travels.
struct CArg {
  enum class From : uint8_t { Self, User, Fixed };
  From from = From::User;
  CType type = CType::None;
  bool byref = false;    // passed as the address of a cell written back afterwards
  uint32_t user = 0;     // User: which of the user's arguments
  intptr_t fixed = 0;    // Fixed: the value (an accessor's parameter)
};

// How one function is called, compiled once when it is registered: the libffi
// call interface and, per C argument, its source and type.
struct CallPlan {
  REALproc function = nullptr;
  std::vector<CArg> args;
  CType result = CType::None;
  uint32_t userCount = 0;  // user arguments the call takes
  std::vector<ffi_type*> argTypes;
  ffi_cif cif{};

  CallPlan() = default;
  CallPlan(REALproc fn, std::vector<CArg> args, CType result);
  // The interface points into argTypes: a move keeps the buffer, a copy would not.
  CallPlan(CallPlan&&) = default;
  CallPlan& operator=(CallPlan&&) = default;
  CallPlan(const CallPlan&) = delete;
  CallPlan& operator=(const CallPlan&) = delete;
};

// The user's side of a call: one value per user argument, and for byref ones the
// variable that receives what the callee left in the cell (null otherwise).
struct CallArgs {
  const Value* const* values = nullptr;
  Value* const* writeBack = nullptr;
};

// Room for one call's arguments: on the stack for the usual handful, else on
// the heap, so that a call allocates nothing.
template <typename T>
class CallBuffer {
 public:
  explicit CallBuffer(size_t n) : data_(n <= kLocal ? local_ : (heap_ = std::make_unique<T[]>(n)).get()) {}
  CallBuffer(const CallBuffer&) = delete;
  CallBuffer& operator=(const CallBuffer&) = delete;
  T& operator[](size_t i) { return data_[i]; }
  T* data() { return data_; }

 private:
  static constexpr size_t kLocal = 12;
  T local_[kLocal];  // left unset: every call fills what it uses
  std::unique_ptr<T[]> heap_;
  T* data_;
};

struct MethodInfo {
  std::string text;      // the declaration as registered
  Declaration decl;
  REALproc setter = nullptr;  // property-like methods only
  bool shared = false;        // no self argument
  CallPlan plan;              // the function with the declared parameters
  CallPlan setterPlan;        // setter(self, value)
  uint32_t required = 0, explicitCount = 0;  // of the declaration, counted once
  REALproc function() const { return plan.function; }
  bool propertyLike() const { return setter != nullptr && !decl.hasParens; }
};

// Compiles a method's plans; call once its declaration and functions are set.
void planMethod(MethodInfo& m, REALproc function);

enum class PropertyKind { Direct, Accessor, Builtin };

struct ObjectRecord;
struct Impl;

struct PropertyInfo {
  std::string name;
  TypeRef type;
  PropertyKind kind = PropertyKind::Direct;
  REALproc getter = nullptr;
  REALproc setter = nullptr;
  intptr_t word6 = 0;  // field offset (direct) or the accessors' parameter
  const struct ClassInfo* owner = nullptr;
  // Built-in classes: the host's own implementation.
  Value (*builtinGet)(Impl&, ObjectRecord&) = nullptr;
  bool (*builtinSet)(Impl&, ObjectRecord&, const Value&) = nullptr;
  CallPlan getPlan, setPlan;  // accessors: getter(self, word6), setter(self, word6, value)
};

// Compiles an accessor property's plans; call once its fields are set.
void planAccessors(PropertyInfo& p);

// Everything a class answers to under one name, its superclasses' included, most
// derived first (so an override comes before what it overrides).
struct MemberEntry {
  std::vector<const MethodInfo*> methods;
  std::vector<const MethodInfo*> shared;
  const PropertyInfo* property = nullptr;  // the most derived one
};

template <typename T>
using NameMap = std::unordered_map<std::string, T, NameHash, NameEqual>;

struct ConstantInfo {
  std::string name;
  std::string valueText;
};

enum class Builtin { None, Exception, MemoryBlock, Movie, Array, FolderItem, Application, Module, Picture };

struct ClassInfo {
  std::string name;
  ClassInfo* super = nullptr;
  Builtin builtin = Builtin::None;
  intptr_t dataStart = kHeaderSize;  // offset of this class's instance data
  intptr_t dataEnd = kHeaderSize;    // object size
  REALconstructor constructor = nullptr;
  REALdestructor destructor = nullptr;
  // Deques: members keep their addresses as later registrations add to them,
  // so the index and bound members can point at them.
  std::deque<PropertyInfo> properties;
  std::deque<PropertyInfo> sharedProperties;
  std::deque<MethodInfo> methods;
  std::deque<MethodInfo> sharedMethods;
  std::vector<ConstantInfo> constants;
  uintptr_t flags = 0;
  // Members by name, built on first use after each registration.
  mutable NameMap<MemberEntry> index;
  mutable uint64_t indexedAt = 0;

  bool isA(const ClassInfo* other) const {
    for (const ClassInfo* c = this; c; c = c->super)
      if (c == other) return true;
    return false;
  }
};

struct MovieFile;  // a movie object's file (movie_files.cpp)

struct PictureStore;  // a picture's pixels (pictures.h)

// What the runtime keeps beside each object's memory.
struct ObjectRecord {
  unsigned char* memory = nullptr;
  ClassInfo* cls = nullptr;
  size_t size = 0;
  bool alive = true;
  bool dying = false;
  uint64_t serial = 0;  // creation order, for the leak report
  // Built-in classes' state.
  std::vector<unsigned char> bytes;       // MemoryBlock
  void* movie = nullptr;                  // movie: its QuickTime Movie
  bool movieOwned = false;                // created by the provider
  std::shared_ptr<MovieFile> movieFile;   // movie: opened from or created as a file
  std::vector<REALobject> elements;       // arrays: each element holds one lock
  REALstring message = nullptr;           // exceptions: one lock
  RBInteger errorNumber = 0;
  std::string path;                       // folder items: absolute path
  std::shared_ptr<PictureStore> picture;  // pictures: their pixels

  ObjectHeader* header() const { return reinterpret_cast<ObjectHeader*>(memory); }
  intptr_t locks() const { return header()->locks; }
};

// A REALstring points at `record`: refcount, pointer one byte before the text,
// reserved, byte length.
struct StringRecord {
  REALstringRecordV9 record{};
  uint32_t encoding = kREALEncodingUnknown;
  bool alive = true;
  uint64_t serial = 0;
  std::unique_ptr<char[]> buffer;  // one byte, the text, a NUL

  std::string_view text() const { return {record.bytesMinusOne + 1, record.length}; }
};
static_assert(offsetof(StringRecord, record) == 0);

struct Impl {
  explicit Impl(Runtime& rt, Config cfg);
  ~Impl();
  // Destroys what is still alive, running the plugin's destructors.
  void shutdown();

  Runtime& runtime;
  Config config;
  std::vector<void*> libraries;  // loaded plugins, in order
  std::vector<std::unique_ptr<ClassInfo>> classes;
  NameMap<ClassInfo*> classByName;
  uint64_t registrationCount = 1;  // changes whenever a class gains members
  std::vector<Registration> registrations;
  std::unordered_map<const void*, std::unique_ptr<ObjectRecord>> objects;  // live and dead
  std::unordered_map<const void*, std::unique_ptr<StringRecord>> strings;  // live and dead
  std::unordered_map<const void*, std::unique_ptr<char[]>> stringData;     // by hostPrivate token
  long liveObjects = 0, liveMemoryBlocks = 0, liveStrings = 0;
  long overReleases = 0, invalidReferences = 0;
  long lockedDescriptions = 0;  // picture description locks not given back
  long liveMovieFiles = 0;
  uint64_t nextSerial = 1;
  // Entry calls counted under the entry's own name literal: counting is on every
  // call the plugin makes, so it compares no text.
  std::unordered_map<const char*, long> entryCalls;
  std::map<std::string, long, std::less<>> resolverQueries;
  REALobject pendingException = nullptr;
  MovieProvider movieProvider;
  std::optional<long> pluginVersion;
  std::vector<std::string> diagnostics;
  bool shuttingDown = false;

  // ---- classes ----
  ClassInfo* findClass(std::string_view name) const;
  ClassInfo* addBuiltinClass(std::string name, ClassInfo* super, Builtin kind);
  void installBuiltinClasses();
  void registerClass(void* record, bool extension);
  void registerModule(REALmoduleDefinition* module);
  void note(std::string text) { diagnostics.push_back(std::move(text)); }

  // ---- objects ----
  ObjectRecord* liveObject(REALobject o, const char* context);  // counts bad references
  ObjectRecord* recordOf(REALobject o) const;                    // null if never handed out
  REALobject allocateObject(ClassInfo* cls);   // one lock, no constructors
  REALobject newInstance(ClassInfo* cls);      // constructors run, one lock
  void lockObject(REALobject o);
  void unlockObject(REALobject o);
  void destroyObject(ObjectRecord& r);

  // ---- strings ----
  StringRecord* liveString(REALstring s, const char* context);
  StringRecord* stringRecordOf(REALstring s) const;
  REALstring buildString(std::string_view bytes, uint32_t encoding);  // one lock
  void lockString(REALstring s);
  void unlockString(REALstring s);
  // Converted bytes, or nullopt when the text cannot be represented.
  std::optional<std::string> convert(const StringRecord& s, uint32_t to) const;

  // ---- built-ins ----
  REALobject newMemoryBlock(RBInteger size);
  REALobject newMovie(void* movie, bool owned);
  REALobject newArray(const std::vector<REALobject>& elements);  // locks each element
  REALobject newFolderItem(std::string path);
  void raise(REALobject exception);
  void clearPendingException();
  [[noreturn]] void throwPending();
  HostException takePending();  // the pending exception, released

  // ---- members by name ----
  const MemberEntry* members(const ClassInfo* cls, std::string_view name) const;  // null: none
  const PropertyInfo* findProperty(const ClassInfo* cls, std::string_view name) const;
  Value getProperty(ObjectRecord& r, const PropertyInfo& p);
  void setProperty(ObjectRecord& r, const PropertyInfo& p, const Value& v);

  // ---- calls into the plugin ----
  Value call(const CallPlan& plan, REALobject self, CallArgs args);
  void runProc(REALproc f, REALobject self);  // constructors and destructors

  Value adopt(CType type, void* ref);  // a reference returned by the plugin
  Accounting accounting() const;
};

// Direct properties: the field's value as user code sees it, and storing one
// (the field owns one lock on a string or object it holds).
Value readField(Impl& impl, const ObjectRecord& r, const PropertyInfo& p);
void writeField(Impl& impl, ObjectRecord& r, const PropertyInfo& p, const Value& v);

// The runtime entry points resolve through this; see Runtime's class comment.
Impl* currentImpl();
void makeCurrent(Impl* impl);

// Makes a runtime current for the duration of a call into the plugin.
class CurrentScope {
 public:
  explicit CurrentScope(Impl* impl) : saved_(currentImpl()) { makeCurrent(impl); }
  ~CurrentScope() { makeCurrent(saved_); }
  CurrentScope(const CurrentScope&) = delete;
  CurrentScope& operator=(const CurrentScope&) = delete;

 private:
  Impl* saved_;
};

REALproc resolveEntry(const char* name);

// A file-backed movie object's end: its movie disposed of, its file closed.
void closeMovieFile(Impl& impl, ObjectRecord& r);
// The file a movie object stands for, "" for none.
std::string moviePathOf(const ObjectRecord& r);
// The movie class's own properties: "Duration" in seconds, "TimeScale", the units
// a second of movie time (and so every track time) is counted in.
Value getMovieDuration(Impl& impl, ObjectRecord& r);
Value getMovieTimeScale(Impl& impl, ObjectRecord& r);

// iconv's name for an encoding, or null when the runtime cannot convert it.
const char* iconvName(uint32_t encoding);

}  // namespace rt
