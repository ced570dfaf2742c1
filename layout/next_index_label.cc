#include "layout/next_index_label.h"

#include <algorithm>
#include <cstring>

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
  // One label from a writer of its own: the text every counter gets, and
  // the odometer moved on, are the writer's.
  IndexLabelWriter(desc, counters).Append(out);
}

bool AdvanceIndexCounters(const automation::SafeArrayDesc& desc, std::vector<int32_t>& counters) {
  if (desc.cDims > automation::kMaxDims) automation::Raise(automation::kSubscriptOutOfRange);
  for (int k = desc.cDims - 1; k >= 0; --k) {
    int32_t& counter = counters[static_cast<size_t>(k)];
    const auto& bound = desc.rgsabound[static_cast<size_t>(k)];
    const int64_t last = int64_t{bound.lLbound} + bound.cElements - 1;
    if (int64_t{counter} + 1 > last || counter == INT32_MAX) {
      counter = bound.lLbound;  // wrap, and carry into the next lower entry
    } else {
      counter = counter + 1;
      return k != desc.cDims - 1;  // no carry: the entries below keep their counters
    }
  }
  return desc.cDims > 1;
}

void IndexLabelWriter::Refresh() {
  if (desc_.cDims > automation::kMaxDims) automation::Raise(automation::kSubscriptOutOfRange);
  rest_.clear();
  for (auto k = static_cast<size_t>(std::max<int>(desc_.cDims - 1, 0)); k-- > 0;) {
    rest_ += u',';
    AppendInteger(rest_, counters_[k]);
  }
  rest_ += u']';
  stale_ = false;
}

size_t IndexLabelWriter::Widest() const {
  // "[", then per counter a sign, ten digits and a comma or "]", then the
  // room WriteInteger32 uses as scratch.
  const size_t dims = desc_.cDims > 0 ? static_cast<size_t>(desc_.cDims) : 1;
  return 1 + 12 * dims + 16;
}

char16_t* IndexLabelWriter::Write(char16_t* at) {
  if (stale_) Refresh();
  *at++ = u'[';
  if (desc_.cDims <= 0) {
    *at++ = u']';
    return at;
  }
  at = automation::WriteInteger32(at, counters_[static_cast<size_t>(desc_.cDims - 1)]);
  std::memcpy(at, rest_.data(), rest_.size() * sizeof(char16_t));
  at += rest_.size();
  stale_ = AdvanceIndexCounters(desc_, counters_);
  return at;
}

void IndexLabelWriter::Append(std::u16string& out) {
  if (stale_) Refresh();
  const size_t start = out.size();
  out.resize(start + Widest());
  char16_t* end = Write(out.data() + start);
  out.resize(static_cast<size_t>(end - out.data()));
}

std::u16string NextIndexLabel(const automation::SafeArrayDesc& desc, std::vector<int32_t>& counters,
                              int32_t step, bool ordinal) {
  std::u16string label;
  AppendNextIndexLabel(label, desc, counters, step, ordinal);
  return label;
}

}  // namespace dudUdudADOD::layout
