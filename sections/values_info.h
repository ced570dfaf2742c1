// ValuesInfo: the values section, and the printer that the byte rows share.
//
// Prints the value of a scalar on one line, or every element of an array in
// the order the elements lie in its data, all on one line, each followed by
// `sep`. The five switches shape it (see vatINFO): index labels, character
// rendering, ordinal labels, string addresses and lengths, a legend line.
//
// The switches are in-out, as on the platform: CharASCII comes back as the
// effective switch (kept only for types that share a bit with Byte),
// OrdinalPos comes back true for a one-dimensional array.
#ifndef DUD_SECTIONS_VALUES_INFO_H_
#define DUD_SECTIONS_VALUES_INFO_H_

#include <functional>
#include <string>
#include <string_view>

#include "automation/client_process.h"
#include "sections/report_output.h"

namespace dudUdudADOD::sections {

// The five print switches, one bit of vatFlags each (DecodeVatFlags in
// inspector/ makes them), named as the platform names them.
struct Switches {
  bool Indexed = false;
  bool CharASCII = false;
  bool OrdinalPos = false;
  bool AddrLen = false;
  bool Legend = false;
};

std::u16string ValuesInfo(automation::ClientProcess& process, automation::Address var,
                          std::u16string_view sep, Switches& switches);

// The same, appended to `out`: the main call builds its whole report in one
// growing buffer. With a sink (report_output.h), `out` is handed to it
// whenever it has grown past a few tens of thousands of characters, at
// element boundaries, and told ahead how long a long walk's text runs. What
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
  // Read a split walk's data a slice at a time even from a memory whose Span
  // is its own storage, as a walk over the real process's does.
  bool windows = false;
};
void AppendValuesInfo(std::u16string& out, automation::ClientProcess& process,
                      automation::Address var, std::u16string_view sep, Switches& switches,
                      ReportOutput* sink = nullptr, WalkSplit split = {});

}  // namespace dudUdudADOD::sections

#endif  // DUD_SECTIONS_VALUES_INFO_H_
