#include "port.h"

namespace qd {
namespace {

Port gScreenPort;
thread_local Port* gCurrent = nullptr;

}  // namespace

Port* currentPort() { return gCurrent ? gCurrent : &gScreenPort; }
Port* asPort(GrafPtr port) { return reinterpret_cast<Port*>(port); }

void setCurrentPort(Port* port) { gCurrent = port; }

}  // namespace qd

extern "C" {

__attribute__((visibility("default"))) void GetPort(GrafPtr* port) {
  if (port) *port = reinterpret_cast<GrafPtr>(qd::currentPort());
}

__attribute__((visibility("default"))) void SetPort(GrafPtr port) {
  qd::setCurrentPort(port ? qd::asPort(port) : nullptr);
}

}  // extern "C"
