// Origins of live movies, found by the movie's serial number so that a disposed
// movie's record is recognised and dropped rather than matched to a newcomer.
#include "movie_origin.h"

#include <mutex>
#include <unordered_map>

namespace qte::file {

AtomBytes::AtomBytes(size_t n) : data_(static_cast<uint8_t*>(bulkAllocate(n))), size_(n) {}

AtomBytes::~AtomBytes() { bulkFree(data_, size_); }

namespace {

struct Entry {
  const Movie* movie;
  std::shared_ptr<MovieOrigin> origin;
};

std::mutex registryLock;
std::unordered_map<int32_t, Entry>& registry() {
  static auto* r = new std::unordered_map<int32_t, Entry>();
  return *r;
}

// Drops the records of movies that are gone.
void prune(std::unordered_map<int32_t, Entry>& r) {
  for (auto it = r.begin(); it != r.end();) {
    Object* o = findLive(it->second.movie, Kind::Movie);
    if (!o || o->serial != it->first) it = r.erase(it);
    else ++it;
  }
}

}  // namespace

std::shared_ptr<MovieOrigin> originOf(const Movie& movie) {
  std::lock_guard<std::mutex> hold(registryLock);
  auto& r = registry();
  prune(r);
  auto it = r.find(movie.serial);
  return it == r.end() ? nullptr : it->second.origin;
}

void setOrigin(const Movie& movie, std::shared_ptr<MovieOrigin> origin) {
  std::lock_guard<std::mutex> hold(registryLock);
  auto& r = registry();
  prune(r);
  if (origin) r[movie.serial] = {&movie, std::move(origin)};
  else r.erase(movie.serial);
}

const TrackOrigin* trackOrigin(const MovieOrigin* o, const Track& t) {
  if (!o) return nullptr;
  auto it = o->tracks.find(t.serial);
  return it == o->tracks.end() ? nullptr : &it->second;
}

DataRef fileDataRef(const std::string& path) {
  std::string url = "file://" + path;
  Bytes data(url.begin(), url.end());
  data.push_back(0);
  return {URLDataHandlerSubType, std::move(data), 0};
}

bool namesFile(const DataRef& ref, const std::string& path) {
  if (ref.type != URLDataHandlerSubType || path.empty()) return false;
  static constexpr char kScheme[] = "file://";
  const size_t n = sizeof kScheme - 1;
  if (ref.data.size() != n + path.size() + 1 || ref.data.back() != 0) return false;
  return std::equal(kScheme, kScheme + n, ref.data.begin()) && std::equal(path.begin(), path.end(), ref.data.begin() + n);
}

}  // namespace qte::file
