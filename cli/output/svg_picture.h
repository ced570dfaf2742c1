// The --svg picture: a memory map of the inspected value.
//
// Used by RunRavoduze. One box per block of the value's footprint, top to
// bottom in address order: the argument variant, the variable's cell, the
// descriptor with its bounds, the data and the string bodies (the listed
// ones, then a box saying how many more there are). Each box names its kind,
// address and size and shows its fields; blocks of at most 32 bytes show
// their bytes. An arrow runs from each block to every block its pointers
// lead to. The text is escaped for XML and characters that XML 1.0 does not
// allow are shown as U+FFFD, so any value gives a well-formed document.
#ifndef DUD_CLI_OUTPUT_SVG_PICTURE_H_
#define DUD_CLI_OUTPUT_SVG_PICTURE_H_

#include <iosfwd>

#include "inspector/footprint.h"
#include "model/process.h"

namespace dudUdudADOD::cli {

// Draws the blocks of `footprint`, reading their fields from `process`.
// Raises nothing: a field that cannot be read is drawn as "?".
void WriteSvg(std::ostream& out, const automation::Process& process,
              const FootprintFact& footprint);

}  // namespace dudUdudADOD::cli

#endif  // DUD_CLI_OUTPUT_SVG_PICTURE_H_
