// Test hooks (call log and injected results) and the movies error.
#include "hooks.h"

#include <QuickTime/EngineHooks.h>

#include "model.h"

#include <charconv>
#include <cstdio>
#include <map>
#include <mutex>
#include <new>
#include <stdexcept>

namespace qte {

// --- Errors -----------------------------------------------------------------

namespace {
thread_local OSErr gError = noErr;
thread_local OSErr gStickyError = noErr;
}  // namespace

void setError(OSErr err) {
  gError = err;
  if (err != noErr && gStickyError == noErr) gStickyError = err;
}
OSErr lastError() { return gError; }

OSErr caughtResult() noexcept {
  try {
    throw;
  } catch (const Refusal& r) {
    return r.err;
  } catch (const std::bad_alloc&) {
    return memFullErr;
  } catch (const std::length_error&) {
    return memFullErr;  // a size no container can hold is memory we cannot have
  } catch (...) {
    return internalQuickTimeError;
  }
}

// --- Argument formatting ------------------------------------------------------------

void ArgWriter::key(const char* name) {
  if (!text_.empty()) text_ += ", ";
  text_ += name;
  text_ += '=';
}

ArgWriter& ArgWriter::operator()(const char* name, long long v) {
  key(name);
  text_ += std::to_string(v);
  return *this;
}

ArgWriter& ArgWriter::operator()(const char* name, Tag v) {
  key(name);
  char c[4] = {char(v.code >> 24), char(v.code >> 16), char(v.code >> 8), char(v.code)};
  bool printable = true;
  for (char ch : c) printable = printable && ch >= 0x20 && ch < 0x7F;
  if (printable) {
    text_ += '\'';
    text_.append(c, 4);
    text_ += '\'';
  } else {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", unsigned(v.code));
    text_ += buf;
  }
  return *this;
}

ArgWriter& ArgWriter::operator()(const char* name, Fix v) {
  key(name);
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, double(v.value) / 65536.0);
  text_.append(buf, r.ptr);
  return *this;
}

ArgWriter& ArgWriter::operator()(const char* name, const char* text) {
  key(name);
  text_ += '"';
  text_ += text ? text : "";
  text_ += '"';
  return *this;
}

ArgWriter& ArgWriter::operator()(const char* name, Handle h) {
  key(name);
  if (!h) {
    text_ += "NULL";
  } else {
    text_ += '<';
    text_ += std::to_string(GetHandleSize(h));
    text_ += " bytes>";
  }
  return *this;
}

ArgWriter& ArgWriter::operator()(const char* name, const MatrixRecord* m) {
  key(name);
  if (!m) {
    text_ += "NULL";
    return *this;
  }
  text_ += '[';
  for (int i = 0; i < 9; ++i) {
    if (i) text_ += ',';
    text_ += std::to_string(m->matrix[i / 3][i % 3]);
  }
  text_ += ']';
  return *this;
}

ArgWriter& ArgWriter::operator()(const char* name, const RGBColor* c) {
  key(name);
  if (!c) {
    text_ += "NULL";
    return *this;
  }
  text_ += "{red=" + std::to_string(c->red) + ",green=" + std::to_string(c->green) +
           ",blue=" + std::to_string(c->blue) + "}";
  return *this;
}

ArgWriter& ArgWriter::object(const char* name, const void* p) {
  key(name);
  if (!p) {
    text_ += "NULL";
  } else if (int32_t s = serialOf(p)) {
    text_ += std::to_string(s);
  } else {
    text_ += "invalid";
  }
  return *this;
}

ArgWriter& ArgWriter::pointer(const char* name, const void* p) {
  key(name);
  text_ += p ? "ptr" : "NULL";
  return *this;
}

ArgWriter& ArgWriter::raw(const char* name, const std::string& formatted) {
  key(name);
  text_ += formatted;
  return *this;
}

// --- Hooks ------------------------------------------------------------------

namespace hooks {

std::atomic<bool> active{false};

namespace {

struct Injection {
  SInt32 result;
  SInt32 remaining;  // 0: until cleared
};

struct State {
  std::mutex lock;
  bool logging = false;
  std::vector<std::string> log;
  std::map<std::string, Injection, std::less<>> injections;
};

State& state() {
  static State s;
  return s;
}

void refreshActive(State& s) { active.store(s.logging || !s.injections.empty(), std::memory_order_relaxed); }

}  // namespace

bool logging() {
  State& s = state();
  std::lock_guard<std::mutex> g(s.lock);
  return s.logging;
}

namespace {

// The injection for `name`, used up once; the caller holds the lock.
std::optional<SInt32> takeInjection(State& s, const char* name) {
  auto it = s.injections.find(name);
  if (it == s.injections.end()) return std::nullopt;
  SInt32 result = it->second.result;
  if (it->second.remaining > 0 && --it->second.remaining == 0) {
    s.injections.erase(it);
    refreshActive(s);
  }
  return result;
}

}  // namespace

std::optional<SInt32> enterFormatted(const char* call, const std::string& args) {
  State& s = state();
  std::lock_guard<std::mutex> g(s.lock);
  if (s.logging) s.log.push_back(std::string(call) + "(" + args + ")");
  return takeInjection(s, call);
}

bool injected(const char* name) {
  if (!active.load(std::memory_order_relaxed)) return false;
  State& s = state();
  std::lock_guard<std::mutex> g(s.lock);
  return takeInjection(s, name).has_value();
}

}  // namespace hooks
}  // namespace qte

using qte::hooks::state;

extern "C" {

void QTEngineHookInjectResult(const char* callName, SInt32 result, SInt32 times) {
  if (!callName || times < 0) return;
  auto& s = state();
  std::lock_guard<std::mutex> g(s.lock);
  s.injections[callName] = {result, times};
  qte::hooks::refreshActive(s);
}

void QTEngineHookClearInjections(void) {
  auto& s = state();
  std::lock_guard<std::mutex> g(s.lock);
  s.injections.clear();
  qte::hooks::refreshActive(s);
}

void QTEngineHookSetLogging(Boolean enabled) {
  auto& s = state();
  std::lock_guard<std::mutex> g(s.lock);
  s.logging = enabled != 0;
  qte::hooks::refreshActive(s);
}

SInt32 QTEngineHookCallLogCount(void) {
  auto& s = state();
  std::lock_guard<std::mutex> g(s.lock);
  return static_cast<SInt32>(s.log.size());
}

const char* QTEngineHookCallLogEntry(SInt32 index) {
  auto& s = state();
  std::lock_guard<std::mutex> g(s.lock);
  if (index < 0 || static_cast<size_t>(index) >= s.log.size()) return nullptr;
  return s.log[static_cast<size_t>(index)].c_str();
}

void QTEngineHookClearCallLog(void) {
  auto& s = state();
  std::lock_guard<std::mutex> g(s.lock);
  s.log.clear();
}

SInt32 QTEngineHookObjectSerial(const void* object) { return qte::serialOf(object); }

void QTEngineHookReset(void) {
  auto& s = state();
  std::lock_guard<std::mutex> g(s.lock);
  s.injections.clear();
  s.log.clear();
  s.logging = false;
  qte::hooks::refreshActive(s);
}

OSErr EnterMovies(void) {
  QTE_CALL_ERR("EnterMovies", (void)a_) {
    qte::setError(noErr);
    return noErr;
  };
}

void ExitMovies(void) {}

OSErr GetMoviesError(void) { return qte::lastError(); }
OSErr GetMoviesStickyError(void) {
  return qte::gStickyError;
}
void ClearMoviesStickyError(void) { qte::gStickyError = noErr; }

}  // extern "C"
