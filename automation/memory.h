// Memory: the client's memory as the report reads it, by address, with the
// layout (platform.h) of the process it belongs to.
//
// The report code reads every byte of the caller's variables through this
// interface and never through a raw pointer it made itself. Two memories
// implement it: the model's AddressSpace (address_space.h) and, on Windows,
// the component's own process guarded page by page (windows/).
//
// Contract:
//  - Read copies a range or raises run-time error 5 and copies nothing: a
//    range that cannot be read never faults the process and never yields
//    made-up bytes. A range may span several blocks or regions.
//  - TryRead copies like Read, or returns false instead of raising.
//  - RunBytes gives the `size` bytes at an address when they lie in one
//    readable run, or nullptr (which says nothing about reads that span
//    runs): the model's own bytes, good until the memory changes, or a copy
//    in the caller's `scratch`, which has room for them. It looks for the
//    run in the reader's cache (read_cache.h) first and remembers there the
//    run it found, so that a walk of many short reads searches once per run;
//    a run of the model's is then read without a call. Each thread reading
//    at once brings its own cache. A memory that hands out bytes of its own
//    keeps kRunSlack loadable bytes after each run.
//  - IsMapped tells, without raising, whether Read of that range would work
//    now; memory that another thread changes may still fail a Read after.
//  - Span gives the bytes of a readable range as one host run, or nullptr
//    when the range is not readable or not one run (callers fall back to
//    Read). The model hands out its own storage, good until the memory
//    changes; the real process hands out a copy, good until the memory
//    object ends. Neither outlives the public call that took it. Span is for
//    walks over an array's whole data; short reads use Read or TryRead.
//  - SpanCopies tells whether Span copies (the real process): a long walk
//    then reads its data a slice at a time into room it reuses, rather than
//    the whole data at once into memory never touched before.
//  - layout() never changes over the memory's life.
#ifndef DUD_AUTOMATION_MEMORY_H_
#define DUD_AUTOMATION_MEMORY_H_

#include <atomic>
#include <cstdint>

#include "automation/platform.h"
#include "automation/read_cache.h"

namespace dudUdudADOD::automation {

class Memory {
 public:
  virtual ~Memory() = default;

  virtual void Read(Address address, void* dest, uint32_t size) const = 0;
  virtual bool TryRead(Address address, void* dest, uint32_t size) const;
  // `readable`, when given, is set to how many bytes from the pointer on may
  // be read, `size` or more: a length prefix's pointer may then serve for
  // the text after it. `room`, when more than `size`, is how many bytes
  // `scratch` holds: a memory that copies may copy that many, as far as the
  // run goes, for the same purpose. Past the `readable` bytes, kRunSlack
  // more may be loaded, whatever they hold: a run of the memory's own is
  // padded so, and a copy lands in `scratch`, which a caller that loads past
  // the copy gives kRunSlack bytes past `room` (or past `size`). A short
  // text then copies in moves of one width, with no branch on its length.
  static constexpr uint32_t kRunSlack = 16;
  const uint8_t* RunBytes(Address address, uint32_t size, uint8_t* scratch, ReadCache& cache,
                          uint64_t* readable = nullptr, uint32_t room = 0) const {
    const ReadCache::Run* run = cache.Find(stamp(), address);
    if (run != nullptr && run->host != nullptr && size <= run->end() - address) {
      if (readable != nullptr) *readable = run->end() - address;
      return run->host + (address - run->start);
    }
    uint64_t found = size;
    const uint8_t* bytes =
        FindRunBytes(address, size, scratch, room > size ? room : size, cache, found);
    if (readable != nullptr) *readable = found;
    return bytes;
  }
  virtual bool IsMapped(Address address, uint64_t size) const = 0;
  virtual const uint8_t* Span(Address address, uint32_t size) const = 0;
  virtual bool SpanCopies() const { return false; }
  virtual const Layout& layout() const = 0;

 protected:
  // RunBytes past the cache's runs of host bytes, with room for `room`
  // bytes (`size` or more) in `scratch`; sets `readable` as RunBytes tells
  // it. The default copies `size` bytes as TryRead reads them, over runs
  // too, and remembers nothing.
  virtual const uint8_t* FindRunBytes(Address address, uint32_t size, uint8_t* scratch,
                                      uint32_t room, ReadCache& cache, uint64_t& readable) const;

  // The stamp (read_cache.h) under which readers' caches hold this memory's
  // runs. Renew drops them all: the memory calls it whenever a run it may
  // have handed out can go. Readers on other threads may load it meanwhile.
  uint64_t stamp() const { return stamp_.load(std::memory_order_relaxed); }
  void Renew() const { stamp_.store(NewMemoryStamp(), std::memory_order_relaxed); }

 private:
  mutable std::atomic<uint64_t> stamp_{NewMemoryStamp()};
};

// Little-endian loads of the platform's integer widths; raise 5 like Read.
int16_t ReadInt16(const Memory& memory, Address address);
uint16_t ReadUInt16(const Memory& memory, Address address);
int32_t ReadInt32(const Memory& memory, Address address);
uint32_t ReadUInt32(const Memory& memory, Address address);
uint64_t ReadUInt64(const Memory& memory, Address address);
// A pointer of the memory's width (4 or 8 bytes).
Address ReadPointer(const Memory& memory, Address address);

}  // namespace dudUdudADOD::automation

#endif  // DUD_AUTOMATION_MEMORY_H_
