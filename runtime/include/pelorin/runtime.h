// The stand-in host: loads a plugin, registers its classes and acts as user code.
//
// A test or tool creates a Runtime, configures it, loads the plugin, then calls
// members by name the way host-language code would. Everything the plugin hands
// back is wrapped in a Value that owns one reference; the runtime counts every
// object, string and memory block so a test can end by checking nothing leaked
// and nothing was released twice.
#pragma once

#include <pelorin/sdk.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <initializer_list>
#include <set>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace rt {

class Runtime;
struct Impl;  // the runtime's inner model, private to the library
struct ClassInfo;
struct MethodInfo;
struct PropertyInfo;

enum class AppKind { Desktop, Console, Web };

struct Config {
  // The answer of "REALGetRBVersion"; nullopt: the host has no such entry.
  std::optional<double> hostVersion = 2019.0;
  AppKind appKind = AppKind::Desktop;
  // "REALinRuntime": true inside a compiled application, false in the IDE.
  bool compiledApplication = true;
  // Entry names the resolver answers with null. Can be changed after loading.
  std::set<std::string> refusedEntries;
  // "newMemoryBlock" answers nil.
  bool failMemoryBlocks = false;
  // The next this many string builds asked for by the plugin ("REALBuildString",
  // "REALBuildStringWithEncoding", "REALConvertString") throw std::bad_alloc to the
  // caller, as the host's allocator does when memory runs out; each one counts down.
  int failingStringBuilds = 0;
  // "newPicture" and "REALBuildPictureFromBuffer" answer nil.
  bool failPictures = false;
  // The bitmap contexts behind desktop pictures: this alpha info (1-6 RGB at 32
  // bits per pixel, 0 grey and 7 alpha only at 8); nullopt: skip first, or
  // premultiplied first for pictures with an alpha channel.
  std::optional<uint32_t> pictureAlphaInfo;
  // "newPicture" of depth 32 makes pictures with an alpha channel, as depth 0 does.
  bool newPicturesHaveAlpha = false;
  // "PluginNewInstance" answers nil for these class names.
  std::set<std::string> refusedInstanceClasses;
  // The Frameworks folder the platform's FSFindFolder reports; nullopt keeps the
  // build's own, an empty string means there is none.
  std::optional<std::string> frameworksFolder;
  // How long an editable openMovie waits for another program that is editing
  // the same file (and holds its edit lock) to finish, before it gives up.
  std::chrono::milliseconds editLockWait{30000};
  // Told once, with the file's path, when an editable openMovie starts to wait.
  std::function<void(const std::string& path)> waitingForEditLock;
};

// A host exception raised by the plugin, surfaced to user code.
class HostException : public std::runtime_error {
 public:
  HostException(std::string className, std::string message, int64_t errorNumber);
  const std::string& className() const { return className_; }
  const std::string& message() const { return message_; }
  int64_t errorNumber() const { return errorNumber_; }

 private:
  std::string className_;
  std::string message_;
  int64_t errorNumber_;
};

// Misuse by user code itself (unknown member, wrong argument kinds): a bug in the
// test or tool, not something the plugin did.
class UsageError : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

// A host value as user code holds it. Strings, objects, memory blocks, movies and
// arrays own one lock, released when the Value goes (which may run the plugin's
// destructors). A Value should not outlive the Runtime that made it; if it does,
// its release does nothing, and the runtime's accounting will already have
// counted it as alive. Colors keep their low 24 bits.
class Value {
 public:
  enum class Kind { Nil, Integer, Boolean, Double, Color, String, Object };

  Value() = default;  // nil
  static Value integer(int64_t v);
  static Value boolean(bool v);
  static Value real(double v);
  static Value color(uint32_t rgb);

  Value(const Value& other);
  Value(Value&& other) noexcept;
  Value& operator=(const Value& other);
  Value& operator=(Value&& other) noexcept;
  ~Value();

  Kind kind() const { return kind_; }
  bool isNil() const { return kind_ == Kind::Nil; }
  // Reading a value as another kind is a UsageError; nil reads as a null string
  // or object.
  int64_t asInteger() const { return expect(Kind::Integer).u_.i; }
  bool asBoolean() const { return expect(Kind::Boolean).u_.i != 0; }
  double asDouble() const { return expect(Kind::Double).u_.d; }
  uint32_t asColor() const { return static_cast<uint32_t>(expect(Kind::Color).u_.i); }
  REALstring asString() const { return static_cast<REALstring>(isNil() ? nullptr : expect(Kind::String).u_.ref); }  // borrowed
  REALobject asObject() const { return static_cast<REALobject>(isNil() ? nullptr : expect(Kind::Object).u_.ref); }  // borrowed

  // Wrap a reference, taking over one lock the caller already holds.
  static Value adoptString(Runtime& rt, REALstring s);
  static Value adoptObject(Runtime& rt, REALobject o);
  // Wrap a reference, adding a lock of its own.
  static Value retainString(Runtime& rt, REALstring s);
  static Value retainObject(Runtime& rt, REALobject o);

  // Lets go of the reference without unlocking it. Dispatch uses it when a callee
  // replaced a byref argument: the callee has already released what the slot held.
  void forget() {
    kind_ = Kind::Nil;
    rt_ = nullptr;
  }

 private:
  const Value& expect(Kind want) const {
    if (kind_ != want) wrongKind(want);
    return *this;
  }
  [[noreturn]] void wrongKind(Kind want) const;
  void release();
  Kind kind_ = Kind::Nil;
  Runtime* rt_ = nullptr;
  uint64_t rtSerial_ = 0;  // tells a dead runtime from a new one at the same address
  union {
    int64_t i;
    double d;
    void* ref;
  } u_{};
};

// One pixel of a picture as user code reads and writes it.
struct Pixel {
  uint32_t rgb = 0xFFFFFF;  // 0xRRGGBB
  uint8_t alpha = 255;      // 255 opaque, 0 transparent
  Pixel() = default;
  Pixel(uint32_t rgb, uint8_t alpha = 255) : rgb(rgb & 0xFFFFFF), alpha(alpha) {}
  bool operator==(const Pixel&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Pixel& p);  // #RRGGBB/AA

// A member resolved once and called many times, as a host application compiles a
// call in a loop: the name lookup and overload choice are done when it is made
// (Runtime::member), so a call converts the arguments and calls the plugin. The
// arguments must fit the chosen overload; an object of a subclass that overrides
// the member gets its override. Valid while its Runtime lives.
class Member {
 public:
  Member() = default;
  Value operator()(const Value& self, std::initializer_list<Value> args = {}) const {
    return call(self, std::span<const Value>(args.begin(), args.size()));
  }
  Value call(const Value& self, std::span<const Value> args) const;
  const std::string& name() const { return name_; }
  explicit operator bool() const { return rt_ != nullptr; }

 private:
  friend class Runtime;
  Runtime* rt_ = nullptr;
  const ClassInfo* cls_ = nullptr;
  const MethodInfo* method_ = nullptr;      // a method, or
  const PropertyInfo* property_ = nullptr;  // a property read
  std::string name_;
};

struct Accounting {
  long liveObjects = 0;        // plugin-class objects, exceptions, movies, arrays, ...
  long liveStrings = 0;
  long liveMemoryBlocks = 0;
  long liveStringData = 0;     // "PluginGetStringData" records not yet given back
  long overReleases = 0;       // unlocks (or disposals) of something already gone
  long invalidReferences = 0;  // references the runtime never handed out
  long liveHandles = 0;        // Memory Manager handles alive in the process
  long lockedPictureDescriptions = 0;  // picture description locks not given back
  long liveMovieFiles = 0;     // movie files held open by movie objects (counted in liveObjects too)
  bool clean() const {
    return liveObjects == 0 && liveStrings == 0 && liveMemoryBlocks == 0 && liveStringData == 0 &&
           overReleases == 0 && invalidReferences == 0 && lockedPictureDescriptions == 0 && liveMovieFiles == 0;
  }
};

// What stands behind the host's built-in movie class. The runtime asks it for a
// QuickTime Movie when user code makes a movie, and gives the movie back when the
// movie object dies. Without a provider, movies carry whatever user code wraps.
struct MovieProvider {
  std::function<void*()> create;            // a new QuickTime Movie, or null
  std::function<void(void*)> dispose;       // called once per created movie
};

// What registration delivered, in order, as the host recorded it.
struct Registration {
  enum class Route { Class, ClassExtension, Module };
  Route route;
  std::string name;          // class name, "movie", or module name
  uintptr_t controlVersion;  // word 0 as received
  bool olderLayout;          // the 25-word record
  const void* record;        // the record as passed (REALclassDefinition*, ...V9*, REALmoduleDefinition*)
};

// Entry points and the current runtime: the resolver handed to the plugin is a
// plain C function, so entry points find their runtime through a per-thread
// "current runtime". A Runtime becomes current when it is constructed and again
// whenever it calls into the plugin; when it is destroyed the previously current
// one (if still alive) takes over. Values must not outlive their Runtime.
class Runtime {
 public:
  explicit Runtime(Config config = {});
  ~Runtime();
  Runtime(const Runtime&) = delete;
  Runtime& operator=(const Runtime&) = delete;

  Config& config();

  // Copies the shared object to a fresh temporary name, dlopens it and calls
  // REALPluginMain with this runtime's resolver. Plugins load one after another,
  // each registering its own classes.
  void loadPlugin(const std::string& path);
  // The plugin: $PELORIN_PLUGIN, else the one installed beside the runtime
  // library, else the one built with this tree.
  static std::string defaultPluginPath();
  // The companion plugin, which registers the audio channel layout classes, looked
  // for the same way ($PELORIN_COMPANION); "" when there is none.
  static std::string companionPluginPath();

  // ---- user code ----
  Value string(std::string_view bytes, uint32_t encoding = kREALEncodingUTF8);
  Value newObject(std::string_view className);           // runs the constructors
  Value newMemoryBlock(std::string_view bytes);
  Value newObjectArray(const std::vector<Value>& elements);
  // A movie object. Without an argument the movie provider supplies the QuickTime
  // Movie (and disposes of it when the object dies); with one, the given Movie is
  // wrapped and stays the caller's.
  Value newMovie();
  Value newMovie(void* qtMovie);
  void setMovieProvider(MovieProvider provider);
  // A folder item naming a file or folder by absolute path (which need not exist);
  // its read-only property "NativePath" gives the path back.
  Value newFolderItem(std::string_view path);

  // Movie files, as the host's folder items offer them. A movie object made from a
  // file keeps it open until the object dies, then disposes of its movie and closes
  // the file. Failures raise "IOException" with the engine's message, which names
  // the file and, for a malformed one, the atom path and offset; nothing is made
  // and no file is changed then.
  // Opens the movie file the folder item names; only an editable one can be saved.
  // An editable one holds the file's edit lock until the object dies, so that no
  // other editor reads the file before this one's saves are done; while another
  // holds it, this waits up to Config::editLockWait. Read-only opens never wait.
  Value openMovie(const Value& folderItem, bool editable);
  // Creates (or replaces) a movie file and answers its new, empty, editable movie.
  Value createMovie(const Value& folderItem);
  // Saves the movie into its own file: new samples are appended and the movie atom
  // rewritten, and at every moment the file holds the old movie or the new one.
  void saveMovie(const Value& movie);
  // Writes the movie and every sample it uses to a new self-contained file (which
  // appears whole or not at all), the movie atom first when `fastStart`. The movie
  // stays with its own file, if it has one.
  void saveMovieAs(const Value& movie, const Value& folderItem, bool fastStart);

  // Pictures, kept in the pixel store of the application kind: a bitmap context
  // for desktop applications, the console pixel store otherwise. Depth 32 makes an
  // opaque picture, depth 0 one with an alpha channel. What user code reads is the
  // host's rendering: pixels the plugin writes through a locked description show
  // once it clears the picture's cache. "Width", "Height" and "HasAlphaChannel"
  // read through get(). Pixels outside the picture are a UsageError.
  Value newPicture(int width, int height, int depth = 32, Pixel fill = {});
  Pixel pixel(const Value& picture, int x, int y);
  void setPixel(const Value& picture, int x, int y, Pixel p);
  void fillRect(const Value& picture, int x, int y, int width, int height, Pixel p);
  std::vector<Pixel> pixels(const Value& picture);  // row by row from the top
  // Where two pictures differ (size, or the first differing pixel and how many
  // differ); nullopt when they are the same.
  std::optional<std::string> pictureDifference(const Value& a, const Value& b);
  // PNG files of 8 bits per channel, with alpha for pictures that have it. Failures
  // throw std::runtime_error naming the file.
  void savePNG(const Value& picture, const std::string& path);
  Value loadPNG(const std::string& path);

  // Call a method (or read a property-like method) by name; overloads are chosen by
  // the argument count and kinds, missing trailing arguments take the declared
  // defaults. Movie members work whether they arrived as a class extension or as
  // module methods. A host exception raised during the call is thrown as
  // HostException once the plugin function has returned.
  Value call(const Value& self, std::string_view member, const std::vector<Value>& args = {});
  // The same, with the arguments whose flag is set passed by reference: they are
  // matched only to byref parameters and hold the callee's value afterwards.
  Value call(const Value& self, std::string_view member, std::vector<Value>& args, std::vector<bool> byref);
  // A member of the class resolved once: the property of that name when `like`
  // is empty and the class has one (what get() reads), otherwise the method that
  // call() would choose for arguments like `like`. UsageError when there is none.
  Member member(std::string_view className, std::string_view name, std::initializer_list<Value> like = {});
  // Properties: accessor, direct field, or property-like method.
  Value get(const Value& self, std::string_view property);
  void set(const Value& self, std::string_view property, const Value& value);
  // Class-level members.
  Value callShared(std::string_view className, std::string_view member, const std::vector<Value>& args = {});
  Value constant(std::string_view className, std::string_view name);
  // Is the object an instance of the class or one of its subclasses?
  bool isA(const Value& object, std::string_view className);
  std::string className(const Value& object);

  // String contents.
  std::string bytes(const Value& s);        // raw bytes of a string or memory block
  uint32_t encoding(const Value& s);
  std::string utf8(const Value& s);         // converted with iconv
  // Current lock count of a string or object (0 once it is gone).
  long locks(const Value& v) const;

  // ---- inspection ----
  Accounting accounting() const;
  std::string leakReport() const;           // human-readable list of what is still alive
  const std::vector<Registration>& registrations() const;
  // How often the plugin called an entry point (by the name it asked for).
  long entryCalls(std::string_view entryName) const;
  // How often the resolver was asked for a name.
  long resolverQueries(std::string_view entryName) const;
  // The resolver bound to this runtime (makes it current when called), for tests
  // that drive plugin internals directly.
  REALResolver resolver();
  // A host exception raised outside a call made by the runtime (for instance by a
  // test calling plugin internals), taken out of the pending slot.
  std::optional<HostException> takeException();
  // The version the plugin gave "RegisterPluginVersion", if it did.
  std::optional<long> pluginVersion() const;
  // Problems the plugin caused that are not counted above: unknown superclasses,
  // duplicate classes, malformed declarations, ... in the order they happened.
  const std::vector<std::string>& diagnostics() const;

  Impl& impl() { return *impl_; }

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace rt
