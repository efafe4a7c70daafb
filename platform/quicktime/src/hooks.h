// Call log and result injection behind the public calls. Every public call opens
// with QTE_ENTER...: while no hook is on it costs one relaxed load.
#pragma once

#include <QuickTime/Movies.h>

#include <atomic>
#include <optional>
#include <string>

namespace qte {

// Formats a call's arguments as "name=value" pairs.
class ArgWriter {
 public:
  struct Tag { OSType code; };        // four-character code, shown as 'abcd'
  struct Fix { Fixed value; };        // 16.16 shown as a decimal number
  struct Bytes { const void* p; long n; };

  ArgWriter& operator()(const char* name, long long v);
  ArgWriter& operator()(const char* name, Tag v);
  ArgWriter& operator()(const char* name, Fix v);
  ArgWriter& operator()(const char* name, const char* text);
  ArgWriter& operator()(const char* name, const std::string& text) { return (*this)(name, text.c_str()); }
  ArgWriter& operator()(const char* name, Handle h);
  ArgWriter& operator()(const char* name, const MatrixRecord* m);
  ArgWriter& operator()(const char* name, const RGBColor* c);
  // Engine objects by serial number; other pointers as NULL or "ptr".
  ArgWriter& object(const char* name, const void* p);
  ArgWriter& pointer(const char* name, const void* p);
  ArgWriter& raw(const char* name, const std::string& formatted);

  const std::string& text() const { return text_; }

 private:
  void key(const char* name);
  std::string text_;
};

namespace hooks {

extern std::atomic<bool> active;

// Logs the call (when logging) and answers an injected result, if any.
template <class Describe>
std::optional<SInt32> enter(const char* call, Describe&& describe);

std::optional<SInt32> enterFormatted(const char* call, const std::string& args);
bool logging();

template <class Describe>
std::optional<SInt32> enter(const char* call, Describe&& describe) {
  std::string args;
  if (logging()) {
    ArgWriter w;
    describe(w);
    args = w.text();
  }
  return enterFormatted(call, args);
}

}  // namespace hooks

// The value GetMoviesError answers; set by every public call.
void setError(OSErr err);
OSErr lastError();

}  // namespace qte

// Opening of a public call. ARGS is a chain of ArgWriter calls applied to `a_`,
// e.g. QTE_ENTER_ERR("DeleteTrackSegment", a_.object("track", t)("startTime", s)).
#define QTE_HOOK_(call, onInjected, ARGS)                                                     \
  do {                                                                                        \
    if (::qte::hooks::active.load(std::memory_order_relaxed)) {                               \
      if (auto injected_ = ::qte::hooks::enter(call, [&](::qte::ArgWriter& a_) { ARGS; })) { \
        ::qte::setError(static_cast<OSErr>(*injected_));                                     \
        onInjected;                                                                           \
      }                                                                                       \
    }                                                                                         \
  } while (0)

// Calls returning their result code.
#define QTE_ENTER_ERR(call, ARGS) QTE_HOOK_(call, return static_cast<OSErr>(*injected_), ARGS)
#define QTE_ENTER_RESULT(call, ARGS) QTE_HOOK_(call, return static_cast<ComponentResult>(*injected_), ARGS)
// Calls returning a value: an injected failure returns `neutral`.
#define QTE_ENTER(call, neutral, ARGS) QTE_HOOK_(call, return neutral, ARGS)
#define QTE_ENTER_VOID(call, ARGS) QTE_HOOK_(call, return, ARGS)
