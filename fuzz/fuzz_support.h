// What the fuzz targets share: a reader that decodes a fuzz input from
// the front, a cap on host allocations, and a hard stop for a broken
// property.
//
// ByteReader hands out little-endian integers and byte runs in input order;
// past the end of the input it yields zeros, so every input decodes to
// something and a seed written by hand reads back exactly as laid out.
//
// HostAllocationCap: while one is alive, any single operator new larger than
// its limit throws std::bad_alloc (host_allocation_cap.cc replaces the global
// operator new). The model's own limit is 2 GiB of client memory, and a
// legitimate declaration or report can take that much of the host; a fuzzer
// that allowed it would spend its time in memset and be stopped by
// libFuzzer's malloc limit. With the cap, such an input ends as the host's
// out-of-memory instead, and the target can tell that outcome (the cap was
// hit) from an unexpected exception.
#ifndef DUD_FUZZ_FUZZ_SUPPORT_H_
#define DUD_FUZZ_FUZZ_SUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

namespace dudUdudADOD::fuzz {

class ByteReader {
 public:
  explicit ByteReader(std::span<const uint8_t> data) : data_(data) {}

  uint8_t U8() { return at_ < data_.size() ? data_[at_++] : 0; }
  uint16_t U16() { return static_cast<uint16_t>(U8() | (U8() << 8)); }
  uint32_t U32() {
    const uint32_t low = U16();
    return low | (uint32_t{U16()} << 16);
  }
  int32_t I32() { return static_cast<int32_t>(U32()); }
  // A value in [0, n) taken from one byte (n at most 256).
  uint32_t Below(uint32_t n) { return U8() % n; }
  bool Bit() { return (U8() & 1) != 0; }
  // Up to `count` bytes; fewer when the input ends.
  std::vector<uint8_t> Bytes(size_t count) {
    const size_t n = count < Remaining() ? count : Remaining();
    std::vector<uint8_t> out(data_.begin() + static_cast<std::ptrdiff_t>(at_),
                             data_.begin() + static_cast<std::ptrdiff_t>(at_ + n));
    at_ += n;
    return out;
  }
  size_t Remaining() const { return data_.size() - at_; }

 private:
  std::span<const uint8_t> data_;
  size_t at_ = 0;
};

// Reports a broken property and stops the process, so that libFuzzer saves
// the input as a crash.
[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "fuzz property broken: %s\n", what);
  std::abort();
}

class HostAllocationCap {
 public:
  explicit HostAllocationCap(size_t limit_bytes);
  ~HostAllocationCap();
  HostAllocationCap(const HostAllocationCap&) = delete;
  HostAllocationCap& operator=(const HostAllocationCap&) = delete;

  // True when an allocation was refused since this cap was set.
  bool hit() const;
};

}  // namespace dudUdudADOD::fuzz

#endif  // DUD_FUZZ_FUZZ_SUPPORT_H_
