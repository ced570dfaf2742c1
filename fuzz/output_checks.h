// CheckOutputs: the structured outputs of one argument, checked against
// each other and against the text report, for the fuzz targets.
//
// Runs what --json, --footprint and --svg run (the twin through JsonFacts,
// MeasureFootprint, MeasureReadable and WriteSvg) and stops the process
// (Fail) when:
//  - a run-time error leaves any of them;
//  - the JSON document is not one a parser reads, or gives an address as a
//    negative number;
//  - the twin fails where the report (`report_error` 0) succeeded, other
//    than in the footprint, or fails otherwise than the report did (but for
//    errors 14 and 28, which come of the text's own string and frames;
//    only when `agree`: an argument that lies in the call's own frames
//    reads what each path's locals left there);
//  - MeasureFootprint raises where MeasureReadable does not stop, or with
//    another error, or they count different totals; the listed blocks are
//    out of address order;
//  - the picture holds text XML 1.0 does not allow, or does not end.
// Outputs are kept whole up to 8 MiB; past that only what can be checked
// while they stream is. std::bad_alloc passes through (the caller's cap).
#ifndef DUD_FUZZ_OUTPUT_CHECKS_H_
#define DUD_FUZZ_OUTPUT_CHECKS_H_

#include <algorithm>
#include <cstdio>
#include <optional>
#include <ostream>
#include <streambuf>
#include <string>

#include "automation/runtime_error.h"
#include "cli/output/facts_output.h"
#include "cli/output/svg_picture.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/well_formed.h"
#include "inspector/footprint.h"
#include "inspector/ravoduze.h"
#include "model/process.h"

namespace dudUdudADOD::fuzz {

// An output kept whole up to a limit; past it only counted.
class KeptOutput : public std::streambuf {
 public:
  static constexpr size_t kLimit = size_t{8} << 20;
  std::string text;
  size_t total = 0;
  bool whole() const { return total == text.size(); }

 protected:
  int_type overflow(int_type c) override {
    if (c == traits_type::eof()) return traits_type::not_eof(c);
    const char ch = traits_type::to_char_type(c);
    xsputn(&ch, 1);
    return c;
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    const auto count = static_cast<size_t>(n);
    if (total == text.size() && text.size() + count <= kLimit) text.append(s, count);
    total += count;
    return n;
  }
};

// Hands a twin to the JSON writer and keeps its error.
struct KeepError : FactsSink {
  explicit KeepError(FactsSink& next) : next(next) {}
  void Variant(const SectionFact& f) override { next.Variant(f); }
  void Variable(const VariableFact& f) override { next.Variable(f); }
  void Descriptor(const DescriptorFact& f) override { next.Descriptor(f); }
  void ValuesHeader(const ValuesHeaderFact& f) override { next.ValuesHeader(f); }
  void Element(const ElementFact& f) override { next.Element(f); }
  void Footprint(const FootprintFact& f) override { next.Footprint(f); }
  void Error(const ErrorFact& f) override {
    error = f;
    next.Error(f);
  }
  FactsSink& next;
  std::optional<ErrorFact> error;
};

inline void CheckTwin(automation::Process& process, automation::Address var,
                      std::optional<int32_t> var_flags, int report_error, bool agree) {
  KeptOutput kept;
  std::ostream out(&kept);
  std::optional<ErrorFact> error;
  {
    cli::JsonFacts json(out, static_cast<int>(2 * process.memory().layout().pointer_size));
    KeepError tee(json);
    RavoDUZE(process).Facts(tee, var, var_flags);
    json.Finish();
    error = tee.error;
  }
  if (kept.whole() && !WellFormedJson(kept.text)) Fail("--json wrote a document no parser reads");
  for (const char* negative : {"\"address\":-", "\"parent\":-", "\"entry\":-"}) {
    if (kept.text.find(negative) != std::string::npos) Fail("--json gave a negative address");
  }
  if (!agree) return;
  if (report_error == 0 && error && error->step != "footprint") {
    Fail("the twin failed where the report did not");
  }
  // The text's own resources are not the twin's: a report longer than a
  // string holds (14), and the text's deeper frames on a stack the input
  // has filled (28).
  const bool own_resource =
      report_error == automation::kOutOfStringSpace || report_error == automation::kOutOfStackSpace;
  if (report_error != 0 && !own_resource && (!error || error->number != report_error)) {
    std::fprintf(stderr, "the report raised %d, the twin %d in %s\n", report_error,
                 error ? error->number : 0, error ? error->step.c_str() : "no step");
    Fail("the twin failed otherwise than the report");
  }
}

inline void CheckFootprintAndPicture(automation::Process& process, automation::Address var) {
  std::optional<FootprintFact> whole;
  int raised = 0;
  try {
    whole = MeasureFootprint(process, var);
  } catch (const RuntimeError& e) {
    raised = e.number();
  }
  const FootprintFact readable = MeasureReadable(process, var);
  if ((raised != 0) != readable.stopped.has_value() ||
      (raised != 0 && readable.stopped->number != raised)) {
    Fail("the footprint fails where the picture does not stop");
  }
  if (whole && whole->total != readable.total) Fail("the footprint and the picture count apart");
  if (!std::is_sorted(
          readable.blocks.begin(), readable.blocks.end(),
          [](const BlockFact& a, const BlockFact& b) { return a.address < b.address; })) {
    Fail("the footprint's blocks are out of address order");
  }
  KeptOutput svg;
  std::ostream out(&svg);
  cli::WriteSvg(out, process, readable);
  if (svg.whole() && (!XmlAllowsText(svg.text) || !svg.text.ends_with("</svg>\n"))) {
    Fail("the picture is not well-formed XML");
  }
}

inline void CheckOutputs(automation::Process& process, automation::Address var,
                         std::optional<int32_t> var_flags, int report_error, bool agree) {
  try {
    CheckTwin(process, var, var_flags, report_error, agree);
    CheckFootprintAndPicture(process, var);
  } catch (const RuntimeError&) {
    Fail("a run-time error left an output");
  }
}

}  // namespace dudUdudADOD::fuzz

#endif  // DUD_FUZZ_OUTPUT_CHECKS_H_
