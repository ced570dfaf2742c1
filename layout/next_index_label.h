// NextIndexLabel: the index label of an array element, and the odometer of
// index counters that walks an array of any rank in memory order.
//
// Index form: "[i1,i2,...]" naming the dimensions in declaration order (the
// counters from the last bound entry to the first); then the counter of the
// first declared dimension advances, carrying into the next on wrap. Ordinal
// form: "[step]", counters untouched.
//
// `counters` holds one signed counter per bound entry of `desc` (entry k of
// the record is counter k); the caller sets each to its entry's lLbound
// before the first element. A record that claims more than 60 dimensions
// raises 9: bound entries from 60 on do not exist.
#ifndef DUD_LAYOUT_NEXT_INDEX_LABEL_H_
#define DUD_LAYOUT_NEXT_INDEX_LABEL_H_

#include <cstdint>
#include <string>
#include <vector>

#include "automation/safe_array_desc.h"

namespace dudUdudADOD::layout {

// Appends the label to `out`: the ordinal form's labels and the twin's
// (IndexLabelWriter writes the index form's, the fast path's among them).
void AppendNextIndexLabel(std::u16string& out, const automation::SafeArrayDesc& desc,
                          std::vector<int32_t>& counters, int32_t step, bool ordinal);

// Moves the odometer on by one element without a label: what the index form
// does after writing one. A walk split into slices starts each slice's
// counters this way. Returns whether a counter other than the first moved.
bool AdvanceIndexCounters(const automation::SafeArrayDesc& desc, std::vector<int32_t>& counters);

// The index form's labels in walk order, the same text AppendNextIndexLabel
// writes. Only the first counter moves from one element to the next until
// it wraps, so the text of the others is kept and a label costs one number.
// `counters` must not change but through Append while the writer is used.
class IndexLabelWriter {
 public:
  IndexLabelWriter(const automation::SafeArrayDesc& desc, std::vector<int32_t>& counters)
      : desc_(desc), counters_(counters) {}
  void Append(std::u16string& out);
  // The same label written at `at`, which must have room for Widest()
  // characters; returns the end of the label.
  char16_t* Write(char16_t* at);
  size_t Widest() const;

 private:
  void Refresh();

  const automation::SafeArrayDesc& desc_;
  std::vector<int32_t>& counters_;
  std::u16string rest_;  // ",i2,...,in]": every counter but the first
  bool stale_ = true;
};

std::u16string NextIndexLabel(const automation::SafeArrayDesc& desc, std::vector<int32_t>& counters,
                              int32_t step, bool ordinal);

}  // namespace dudUdudADOD::layout

#endif  // DUD_LAYOUT_NEXT_INDEX_LABEL_H_
