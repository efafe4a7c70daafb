// The live-object registry: every engine object a handle can name, so that a
// stale or foreign handle is answered with an error instead of followed.
#include "model.h"

#include <unordered_map>

namespace qte {

namespace {

struct Registry {
  std::unordered_map<const void*, Object*> live;
  int32_t nextSerial[5] = {1, 1, 1, 1, 1};
};

Registry& registry() {
  static Registry r;
  return r;
}

}  // namespace

Object::Object(Kind k) : kind(k), serial(registry().nextSerial[static_cast<int>(k)]++) {
  registry().live.emplace(static_cast<const void*>(this), this);
}

Object::~Object() { registry().live.erase(static_cast<const void*>(this)); }

Object* findLive(const void* handle, Kind kind) {
  if (!handle) return nullptr;
  auto& live = registry().live;
  auto it = live.find(handle);
  return it != live.end() && it->second->kind == kind ? it->second : nullptr;
}

int32_t serialOf(const void* handle) {
  if (!handle) return 0;
  auto& live = registry().live;
  auto it = live.find(handle);
  return it == live.end() ? 0 : it->second->serial;
}

}  // namespace qte
