// StringElement: the text of a String element of an array as the values walk
// writes it: the string's text, and with addresses and lengths
// "(^address/length)" after it.
//
// The walk writes one per element of a String array, so the common string,
// short and whole in one run of memory, is read through the reader's cache
// (its length prefix, and its text with it where the run holds both, or
// where a memory that copies could copy both at once) and written straight
// into room the report takes for many elements at a time. Any other string (null, long, its prefix
// or text unreadable or split between runs) takes the general path, which reads it as the process
// does and raises what the process raises: 5 for memory that cannot be read.
// Either way a text that would take the report past a string's length
// raises 14 before any memory is taken for it.
#ifndef DUD_SECTIONS_STRING_ELEMENT_H_
#define DUD_SECTIONS_STRING_ELEMENT_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "automation/client_process.h"
#include "automation/read_cache.h"
#include "sections/element_text.h"

namespace dudUdudADOD::sections {

class StringElement {
 public:
  // What one thread keeps between the elements it writes: its cache of the
  // memory's runs, and the digits of the last address above its last four,
  // which the strings of an array, allocated one after another or shared,
  // mostly have in common.
  struct Memo {
    automation::ReadCache cache;
    int64_t high = 0;  // address / 10000 of the digits kept; 0 for none
    size_t high_length = 0;
    std::array<char16_t, 16> high_text{};  // "-" and up to 15 digits
  };

  // The most characters a string read on the fast path writes, its address
  // and length included: a run of cells writes about this many per element
  // at most, however long the strings it meets further on.
  static constexpr size_t kShortWidest = 128 + kAddressAndLengthWidest;

  explicit StringElement(const automation::ClientProcess& process);

  // Appends the text of the string at `bstr` to `text`, and its address and
  // length with `addr_len` (the length halved with `halved`). `before` is
  // what the report held before `text` began. `memo` is the calling
  // thread's own; const, so that two threads may append at once.
  void Append(std::u16string& text, size_t before, automation::Address bstr, bool addr_len,
              bool halved, Memo& memo) const;
  // The same for the strings of `n` cells `stride` bytes apart, each holding
  // a whole pointer, each text followed by `sep`.
  void AppendCells(std::u16string& text, size_t before, const uint8_t* cells, size_t n,
                   size_t stride, std::u16string_view sep, bool addr_len, bool halved,
                   Memo& memo) const;

 private:
  // The walk of AppendCells, and the pieces below, for a process whose
  // pointers are 4 bytes (`kNarrow`) or 8: chosen once per walk, not per
  // element.
  template <bool kNarrow>
  void AppendCellsOf(std::u16string& text, size_t before, const uint8_t* cells, size_t n,
                     size_t stride, std::u16string_view sep, bool addr_len, bool halved,
                     Memo& memo) const;
  // The pointer at the start of a cell, as CellPointer reads it.
  template <bool kNarrow>
  automation::Address PointerAt(const uint8_t* cell) const;
  // The general path, for any string.
  void AppendLong(std::u16string& text, size_t before, automation::Address bstr, bool addr_len,
                  bool halved) const;
  // The fast path: the text written at `p`, which has room for a short
  // string's, when the report holds `length` characters before it (0 when
  // the caller knows the text fits); its end, or nullptr, what it wrote not
  // counting, for any string it does not take.
  template <bool kNarrow>
  char16_t* WriteShort(char16_t* p, size_t length, automation::Address bstr, bool addr_len,
                       bool halved, Memo& memo) const;

  const automation::ClientProcess& process_;
  const automation::Memory& memory_;
  const automation::Layout& layout_;  // the memory's, which never changes
  const bool narrow_;                 // 4-byte pointers
};

}  // namespace dudUdudADOD::sections

#endif  // DUD_SECTIONS_STRING_ELEMENT_H_
