#include "automation/read_cache.h"

#include <atomic>

namespace dudUdudADOD::automation {

const ReadCache::Run& ReadCache::Remember(uint64_t current, const Run& run) {
  if (stamp != current) {
    stamp = current;
    runs = {};
  }
  for (size_t i = kRuns - 1; i > 0; --i) runs[i] = runs[i - 1];
  runs[0] = run;
  return runs[0];
}

uint64_t NewMemoryStamp() {
  static std::atomic<uint64_t> next{1};
  return next.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace dudUdudADOD::automation
