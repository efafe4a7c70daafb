// Movie atoms kept in memory, and the file's own data reference.
#include "movie_origin.h"

namespace qte::file {

AtomBytes::AtomBytes(size_t n) : data_(static_cast<uint8_t*>(bulkAllocate(n))), size_(n) {}

AtomBytes::~AtomBytes() { bulkFree(data_, size_); }

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
