// ReadCache: what one reader remembers of a Memory (memory.h) between its
// reads, so that a read in a run it met lately needs no search.
//
// A walk over an array's strings reads a length and a text per element from
// the few runs (blocks of the model, regions of the real process) that hold
// them; finding the run again for every read would cost more than the copy.
// The reader owns the cache and keeps one per thread, so that two threads
// reading one memory neither race on it nor evict each other's runs; the
// memory fills it and is the only one to interpret it.
//
// Contract:
//  - Runs are remembered under the memory's stamp at the time they were
//    found. A memory takes a stamp never used before, by any memory, when a
//    run it may have handed out can go (the model unmaps a block; the real
//    process forgets what it saw), so a cache that is stale, or that was
//    filled by another memory, misses; it never answers wrongly.
//  - A run is remembered only when it could be read: a miss is always safe.
//  - A cache is default-constructed empty and needs no clearing.
#ifndef DUD_AUTOMATION_READ_CACHE_H_
#define DUD_AUTOMATION_READ_CACHE_H_

#include <array>
#include <cstddef>
#include <cstdint>

namespace dudUdudADOD::automation {

struct ReadCache {
  // A readable run [start, start + size), and where the model keeps its bytes
  // (nullptr for memory that must be copied through a guard).
  struct Run {
    uint64_t start = 0;
    uint64_t size = 0;  // kept rather than the end: the search needs no subtraction
    const uint8_t* host = nullptr;
    uint64_t end() const { return start + size; }
  };
  // An array's strings often come from a few texts that every element
  // shares, met in any order: a few runs are kept.
  static constexpr size_t kRuns = 4;

  // The run that holds `address`, when it was found under `current`;
  // nullptr otherwise. Every run is tested, without a branch on which one
  // holds the address: the strings of an array take turns at random.
  const Run* Find(uint64_t current, uint64_t address) const {
    if (stamp != current) return nullptr;
    uintptr_t found = 0;
    for (const Run& run : runs) {
      // start <= address < end, as one unsigned comparison; never for an
      // empty run. Selected through a mask, not a branch that would guess.
      const uintptr_t hit = uintptr_t{0} - uintptr_t{address - run.start < run.size};
      found = (found & ~hit) | (reinterpret_cast<uintptr_t>(&run) & hit);
    }
    return reinterpret_cast<const Run*>(found);
  }
  // Keeps `run`, found under `current`, in place of the oldest, and drops
  // every run found under another stamp. The runs stay where they are put:
  // a walk that remembers a run per element moves nothing.
  const Run& Remember(uint64_t current, const Run& run) {
    if (stamp != current) {
      stamp = current;
      runs = {};
      next = 0;
    }
    Run& slot = runs[next];
    slot = run;
    next = (next + 1) % kRuns;
    return slot;
  }
  // Whether the latest run was found under `current` (and the note with it).
  bool HasLatest(uint64_t current) const {
    return stamp == current && runs[(next + kRuns - 1) % kRuns].size != 0;
  }

  uint64_t stamp = 0;             // the memory's stamp when the runs were found; 0: none
  std::array<Run, kRuns> runs{};  // in no order; unused ones empty
  size_t next = 0;                // where the next run goes: the oldest's place
  // The memory's own note of where it found the latest run (the model keeps
  // its place among its blocks there, to try the next block first).
  alignas(8) std::array<unsigned char, 16> note{};
};

// A stamp never handed out before, for any memory of the process (never 0).
uint64_t NewMemoryStamp();

}  // namespace dudUdudADOD::automation

#endif  // DUD_AUTOMATION_READ_CACHE_H_
