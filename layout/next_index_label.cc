#include "layout/next_index_label.h"

#include "automation/checked_math.h"
#include "automation/runtime_error.h"
#include "automation/text_forms.h"

namespace dudUdudADOD::layout {

using automation::AppendInteger;

void AppendNextIndexLabel(std::u16string& out, const automation::SafeArrayDesc& desc,
                          std::vector<int32_t>& counters, int32_t step, bool ordinal) {
  out.push_back(u'[');
  if (ordinal) {
    AppendInteger(out, step);
    out.push_back(u']');
    return;
  }
  if (desc.cDims > automation::kMaxDims) automation::Raise(automation::kSubscriptOutOfRange);
  for (int k = desc.cDims - 1; k >= 0; --k) {
    if (k != desc.cDims - 1) out.push_back(u',');
    AppendInteger(out, counters[static_cast<size_t>(k)]);
  }
  out.push_back(u']');
  AdvanceIndexCounters(desc, counters);
}

void AdvanceIndexCounters(const automation::SafeArrayDesc& desc, std::vector<int32_t>& counters) {
  if (desc.cDims > automation::kMaxDims) automation::Raise(automation::kSubscriptOutOfRange);
  for (int k = desc.cDims - 1; k >= 0; --k) {
    int32_t& counter = counters[static_cast<size_t>(k)];
    const auto& bound = desc.rgsabound[static_cast<size_t>(k)];
    const int64_t last = int64_t{bound.lLbound} + bound.cElements - 1;
    if (int64_t{counter} + 1 > last || counter == INT32_MAX) {
      counter = bound.lLbound;  // wrap, and carry into the next lower entry
    } else {
      counter = counter + 1;
      return;  // no carry: the entries below keep their counters
    }
  }
}

std::u16string NextIndexLabel(const automation::SafeArrayDesc& desc, std::vector<int32_t>& counters,
                              int32_t step, bool ordinal) {
  std::u16string label;
  AppendNextIndexLabel(label, desc, counters, step, ordinal);
  return label;
}

}  // namespace dudUdudADOD::layout
