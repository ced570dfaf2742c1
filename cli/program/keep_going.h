// Keep going: a report asked of the inspector one section at a time
// (--keep-going, -k; :keep-going on in a session), so that a section that
// fails costs only itself.
//
// The main call gives the whole report or none of it, and stays so: here
// the client calls it once per section that the flags ask for (the
// variant argument, the variable, the array descriptor with its bounds when
// asked, the values), each time with that section's flag alone. A report's
// sections do not depend on each other's text: each one brings its own line
// breaks before and after it, so the texts of sections that succeed, joined
// in order, are byte for byte what the whole report holds for them.
//
// A section that fails takes one line in its place, between the line breaks
// the section would have had: its heading and the error, as in
//   /// VALUES /// Run-time error '94': Invalid use of Null
// A scalar's descriptor section, which no report of a scalar holds, is not
// asked for. Flags that ask for no section that prints (0, varSA_Bounds
// without varSA_Stru, or only the descriptor of a scalar) make one call with
// those flags, whose failure is the error line alone.
//
// Each call runs in the same process: the main call takes back everything
// it placed, so every section sees what one whole call would have seen.
#ifndef DUD_CLI_PROGRAM_KEEP_GOING_H_
#define DUD_CLI_PROGRAM_KEEP_GOING_H_

#include <cstdint>
#include <string>
#include <vector>

#include "cli/program/options.h"
#include "model/process.h"

namespace dudUdudADOD::cli {

// Where the sections' text goes. For each section, Take gets its text in
// pieces as RavoDUZE::Report's sink does; when the section's call fails,
// Drop says that what Take got since the last End is no report, and Take
// then gets the failure line. End closes every section.
class SectionSink {
 public:
  virtual ~SectionSink() = default;
  virtual void Take(std::u16string& text) = 0;  // must empty `text`
  virtual void Drop() = 0;
  virtual void End() = 0;
};

// A section that failed: its flag (0 for a call that asks for no section)
// and the run-time error it raised.
struct SectionFailure {
  int32_t flag = 0;
  int number = 0;
};

// Writes the report section by section into `sink`; returns the sections
// that failed, in order (none: the text is the whole report's).
std::vector<SectionFailure> ReportBySection(automation::Process& process,
                                            automation::Address argument, const Options& options,
                                            SectionSink& sink);

}  // namespace dudUdudADOD::cli

#endif  // DUD_CLI_PROGRAM_KEEP_GOING_H_
