#include "automation/read_cache.h"

#include <atomic>

namespace dudUdudADOD::automation {

uint64_t NewMemoryStamp() {
  static std::atomic<uint64_t> next{1};
  return next.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace dudUdudADOD::automation
