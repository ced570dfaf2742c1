// TextEstimate: how much more text a walk will write, from what it wrote so
// far, so that an output keeping the whole text takes its room once.
//
// A guess that runs short costs a copy of everything written so far into
// bigger room; one that runs long by much costs a copy back down when the
// text is handed over. So the guess leans long by an eighth, and what is
// known exactly is counted, not sampled: the ordinal labels "[1]" ... "[n]"
// widen as the walk goes on (a sample of the first thousands of elements
// sees labels of four digits where the last ones have eight), so their
// characters are counted apart from the rest of the text.
#ifndef DUD_SECTIONS_TEXT_ESTIMATE_H_
#define DUD_SECTIONS_TEXT_ESTIMATE_H_

#include <cstdint>

namespace dudUdudADOD::sections {

// The characters of the ordinal labels "[1]" to "[n]"; 0 for n = 0.
uint64_t OrdinalLabelChars(uint64_t n);

// About how many characters the steps after `done` up to `total` write,
// when the first `done` steps (at least one) wrote `written`, ordinal
// labels included when `ordinal`.
uint64_t EstimateRest(uint64_t written, uint64_t done, uint64_t total, bool ordinal);

}  // namespace dudUdudADOD::sections

#endif  // DUD_SECTIONS_TEXT_ESTIMATE_H_
