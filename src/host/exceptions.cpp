// Host exceptions.
#include "host/exceptions.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/host.h"

void RaiseException(const char* className, const char* message) {
  REALstring text = nullptr;
  if (message) {
    const size_t length = std::strlen(message);
    if (length > 0) {
      text = REALBuildString(message, static_cast<RBInteger>(length));
      REALSetStringEncoding(text, kREALEncodingASCII);
    }
  }

  // A class the host does not know still reports the failure, as RuntimeException.
  REALobject exception = REALnewInstance(className);
  if (!exception) exception = REALnewInstance("RuntimeException");
  if (exception) {
    REALSetPropValueString(exception, "Message", text);
    REALSetPropValueInteger(exception, "ErrorNumber", 0);
    REALRaiseException(exception);
    REALUnlockObject(exception);
  }
  REALUnlockString(text);
}

void RaiseOutOfBoundsException(int64_t value, int64_t count) {
  constexpr size_t kMessageSize = 205;
  char* message = static_cast<char*>(std::calloc(1, kMessageSize));
  if (!message) {
    RaiseException("OutOfBoundsException", "Out of Bounds");
    return;
  }
  const char* format = value < 0
                           ? "Parameter %s %s%s is too small. Range is %lld to %lld, but value is %lld."
                           : "Parameter %s %s%s is too big. Range is %lld to %lld, but value is %lld.";
  std::snprintf(message, kMessageSize, format, "index", "", "", 0LL, static_cast<long long>(count - 1),
                static_cast<long long>(value));
  RaiseException("OutOfBoundsException", message);
  std::free(message);
}
