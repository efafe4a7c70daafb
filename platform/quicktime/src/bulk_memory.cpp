// Memory for the sample tables (BulkAllocator in model.h).
#include "hooks.h"
#include "model.h"

#include <cstdlib>
#include <new>
#include <sys/mman.h>

namespace qte {

namespace {
constexpr size_t kHugePage = size_t(2) << 20;
constexpr size_t kBulk = size_t(1) << 20;
}  // namespace

void* bulkAllocate(size_t bytes) {
  // Tests make the tables' memory run out here to see calls fail cleanly.
  if (hooks::injected("bulkAllocate")) throw std::bad_alloc();
  if (bytes < kBulk) return ::operator new(bytes);
  size_t whole = (bytes + kHugePage - 1) & ~(kHugePage - 1);
  void* p = nullptr;
  if (::posix_memalign(&p, kHugePage, whole) != 0) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
  ::madvise(p, whole, MADV_HUGEPAGE);  // a hint: where the kernel declines, nothing changes
#endif
  return p;
}

void bulkFree(void* p, size_t bytes) {
  if (bytes < kBulk) ::operator delete(p);
  else ::free(p);
}

}  // namespace qte
