// ValuesInfo: the values section, and the printer that the byte rows share.
//
// Prints the value of a scalar on one line, or every element of an array in
// the order the elements lie in its data, all on one line, each followed by
// `sep`. The five switches shape it (see vatINFO): index labels, character
// rendering, ordinal labels, string addresses and lengths, a legend line.
//
// `CharASCII` and `OrdinalPos` are in-out, as on the platform: CharASCII comes
// back as the effective switch (kept only for types that share a bit with
// Byte), OrdinalPos comes back true for a one-dimensional array.
#ifndef DUD_SECTIONS_VALUES_INFO_H_
#define DUD_SECTIONS_VALUES_INFO_H_

#include <functional>
#include <string>
#include <string_view>

#include "automation/client_process.h"

namespace dudUdudADOD::sections {

std::u16string ValuesInfo(automation::ClientProcess& process, automation::Address var,
                          std::u16string_view sep, bool Indexed, bool& CharASCII, bool& OrdinalPos,
                          bool AddrLen, bool Legend);

// Takes the text of a report in pieces, in order: handed the text so far
// and left to empty it, so that a huge report never stands whole in memory.
using ReportSink = std::function<void(std::u16string& text)>;

// The same, appended to `out`: the main call builds its whole report in one
// growing buffer. With a sink, `out` is handed to it whenever it has grown
// past a few tens of thousands of characters, at element boundaries. What
// `out` already holds counts toward the one string a report is: text that
// would take it past kMaxStringChars raises 14 before it takes memory.
//
// A large array whose element texts are the walk's own work (numbers,
// Booleans, raw bytes), or Strings where the process reads from two threads
// at once, is formatted in slices on two threads and joined in order; the
// text is the same as one thread writes. With a sink, a piece is then up to
// a slice long.
struct WalkSplit {
  bool second_thread = true;
  size_t slice_elements = 0;  // 0: sized by the element's text, ~256K characters
};
void AppendValuesInfo(std::u16string& out, automation::ClientProcess& process,
                      automation::Address var, std::u16string_view sep, bool Indexed,
                      bool& CharASCII, bool& OrdinalPos, bool AddrLen, bool Legend,
                      const ReportSink* sink = nullptr, WalkSplit split = {});

// One array element's value text as the walk writes it, without label,
// character or separator (for the structured twin). `raw` holds the first
// ElementTextBytes(type, cbElements, layout) bytes of the element.
void AppendElementText(std::u16string& out, const automation::ClientProcess& process, uint16_t type,
                       const uint8_t* raw, size_t raw_size);
size_t ElementTextBytes(uint16_t type, int32_t element_size, const automation::Layout& layout);

}  // namespace dudUdudADOD::sections

#endif  // DUD_SECTIONS_VALUES_INFO_H_
