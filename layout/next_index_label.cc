#include "layout/next_index_label.h"

#include "automation/checked_math.h"
#include "automation/runtime_error.h"
#include "automation/text_forms.h"

namespace dudUdudADOD::layout {

using automation::AppendInteger;

void AppendNextIndexLabel(std::u16string& out, const automation::SafeArrayDesc& desc,
                          std::vector<int32_t>& counters, int32_t step, bool ordinal) {
  if (ordinal) {
    out.push_back(u'[');
    AppendInteger(out, step);
    out.push_back(u']');
    return;
  }
  if (desc.cDims > automation::kMaxDims) automation::Raise(automation::kSubscriptOutOfRange);
  // Written on the stack and appended at once: a label is one append, not
  // one per counter and comma. Each counter takes at most 11 characters and
  // its comma; WriteInteger32 needs 16 past the text as scratch.
  char16_t label[automation::kMaxDims * 12 + 2 + 16];
  char16_t* p = label;
  *p++ = u'[';
  for (int k = desc.cDims - 1; k >= 0; --k) {
    p = automation::WriteInteger32(p, counters[static_cast<size_t>(k)]);
    *p++ = u',';
  }
  p[desc.cDims > 0 ? -1 : 0] = u']';  // the last comma, or after "[" with no dimensions
  out.append(label, static_cast<size_t>(p - label) + (desc.cDims > 0 ? 0 : 1));
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
