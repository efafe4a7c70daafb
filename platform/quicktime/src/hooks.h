// Call log and result injection behind the public calls, and the entry every
// public call goes through (QTE_CALL...): while no hook is on, a call costs one
// relaxed load more than its own work.
#pragma once

#include <QuickTime/Movies.h>

#include <atomic>
#include <optional>
#include <string>
#include <type_traits>

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
// Whether an injection stands for `name`, an engine step rather than a public
// call (such as "bulkAllocate"); consumes it like a call would, without logging.
bool injected(const char* name);

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

// Thrown inside a call to refuse it with a result code (a stale handle, say):
// the entry answers it as the call's failure.
struct Refusal {
  OSErr err;
};

// The result code for the exception being handled (only inside a catch):
// memFullErr when memory ran out, a refusal's own code, else internalQuickTimeError.
OSErr caughtResult() noexcept;

enum class Answer {
  Code,   // returns its result code, which GetMoviesError answers too
  Value,  // returns a value; on failure the neutral one, the code in GetMoviesError
  Quiet,  // an image compression call: returns its code, leaves GetMoviesError alone
};

// Runs a public call's body behind the test hooks and a catch-all: no C++
// exception may cross into C callers, so anything thrown becomes a result code.
template <class R, Answer kAnswer, class Describe>
struct Entry {
  using Neutral = std::conditional_t<std::is_void_v<R>, int, R>;
  const char* call;
  Neutral neutral;
  Describe describe;

  template <class Body>
  R operator->*(Body&& body) noexcept {
    try {
      if (hooks::active.load(std::memory_order_relaxed))
        if (auto injected = hooks::enter(call, describe)) return fail(*injected);
      if constexpr (kAnswer == Answer::Code) {
        R r = body();
        setError(static_cast<OSErr>(r));
        return r;
      } else {
        return body();
      }
    } catch (...) {
      return fail(caughtResult());
    }
  }

 private:
  R fail(SInt32 code) {
    if constexpr (kAnswer != Answer::Quiet) setError(static_cast<OSErr>(code));
    if constexpr (std::is_void_v<R>) return;
    else if constexpr (kAnswer == Answer::Value) return neutral;
    else return static_cast<R>(code);
  }
};

template <class R, Answer kAnswer, class Neutral, class Describe>
Entry<R, kAnswer, Describe> makeEntry(const char* call, Neutral neutral, Describe describe) {
  return {call, static_cast<typename Entry<R, kAnswer, Describe>::Neutral>(neutral), describe};
}

}  // namespace qte

// The body of a public call, as a lambda run by the entry. ARGS (the rest) is a
// chain of ArgWriter calls applied to `a_` for the call log, e.g.
//   QTE_CALL_ERR("DeleteTrackSegment", a_.object("track", t)("startTime", s)) {
//     ...
//   };
#define QTE_ENTRY_(R, answer, call, neutral, ...) \
  return ::qte::makeEntry<R, answer>(call, neutral, [&](::qte::ArgWriter& a_) { __VA_ARGS__; }) ->* [&]() -> R
// Calls returning their result code (OSErr; OSStatus and ComponentResult).
#define QTE_CALL_ERR(call, ...) QTE_ENTRY_(OSErr, ::qte::Answer::Code, call, 0, __VA_ARGS__)
#define QTE_CALL_STATUS(call, ...) QTE_ENTRY_(SInt32, ::qte::Answer::Code, call, 0, __VA_ARGS__)
// Calls returning a value: a failure returns `neutral`, whose type is the call's.
#define QTE_CALL(call, neutral, ...) QTE_ENTRY_(decltype(neutral), ::qte::Answer::Value, call, neutral, __VA_ARGS__)
#define QTE_CALL_VOID(call, ...) QTE_ENTRY_(void, ::qte::Answer::Value, call, 0, __VA_ARGS__)
// Image compression calls: their result only.
#define QTE_CALL_QUIET(call, ...) QTE_ENTRY_(OSErr, ::qte::Answer::Quiet, call, 0, __VA_ARGS__)
