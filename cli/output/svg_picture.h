// The --svg picture: a memory map of the inspected value.
//
// Used by RunRavoduze. One box per block of the value's footprint, top to
// bottom in address order: the argument variant, the variable's cell, the
// descriptor with its bounds, the data and the string bodies (the listed
// ones, then a box saying how many more there are). Each box names its kind,
// address and size and shows its fields; blocks of at most 32 bytes show
// their bytes. An arrow runs from each block to every block its pointers
// lead to. The text is escaped for XML and characters that XML 1.0 does not
// allow are shown by their codes ("U+FFFF"), so any value gives a
// well-formed document. Addresses show in decimal and in hex of the
// process's width. A footprint that stopped (MeasureReadable) ends with a
// box that says where. Boxes are placed in one pass and written one by one
// in the next: memory is the listed blocks' places, not their text.
#ifndef DUD_CLI_OUTPUT_SVG_PICTURE_H_
#define DUD_CLI_OUTPUT_SVG_PICTURE_H_

#include <iosfwd>

#include "inspector/footprint.h"
#include "model/process.h"

namespace dudUdudADOD::cli {

// Draws the listed blocks of `footprint`, reading their fields from
// `process`.
// Raises nothing: a field that cannot be read is drawn as "?".
void WriteSvg(std::ostream& out, const automation::Process& process,
              const FootprintFact& footprint);

}  // namespace dudUdudADOD::cli

#endif  // DUD_CLI_OUTPUT_SVG_PICTURE_H_
