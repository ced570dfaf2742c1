// Explain: what the codes and pointers of a report mean, for a reader who
// does not know the platform's numbers by heart (--explain, :explain on).
//
// Used by the program after a text report and by the JSON twin. The
// decoding works on the twin's facts (report_facts.h), never on the text,
// and places addresses with the value's footprint (footprint.h), which
// already knows every block the value occupies; the one block it does not
// hold, the main call's copy of the descriptor on the call's own stack, is
// the descriptor section's address.
//
// ExplainText writes one line per row that holds a code or a pointer, after
// a marker line, each line the row's field as the report names it (padded
// to the report's 16 columns) and what it means:
//   --- explained ---
//   vbType          16387 = vbLong (3) + by reference (16384)
//   Pointer         1243024 = 0x0012F790: the start of the variable (4 bytes)
// Rows explained: the variant's type word and its pointer (or, for a value
// held in the variant, that it holds no pointer); the variable's cell where
// it holds a pointer (a String, an array, an object) or a Date (its value
// and its 8 bytes apart); the descriptor's address, fFeatures bit by bit and
// pvData, and which declared dimension each bound is. Where the variant
// argument section failed, its type word is read from memory all the same.
// Lines end in LF.
#ifndef DUD_CLI_OUTPUT_EXPLAIN_H_
#define DUD_CLI_OUTPUT_EXPLAIN_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "automation/client_process.h"
#include "inspector/report_facts.h"

namespace dudUdudADOD::cli {

// The name of a base type code: "vbLong" for 3; "" for a code with none.
std::string_view BaseTypeName(uint16_t base);

// A variant's type word, decoded: its base type, then the array and the
// by-reference bits, "vbLong (3) + by reference (16384)",
// "vbInteger (2) + vbArray (8192)"; a code without a name as "type 99 (99)",
// other bits as "bit 4096 (4096)".
std::string TypeWordText(uint16_t word);

// A descriptor's fFeatures bit by bit, "FADF_HAVEVARTYPE (128) + FADF_BSTR
// (256)"; "none" for 0.
std::string FeaturesText(uint16_t features);

// Keeps what the explanation needs of a twin: the table sections, not the
// elements. Errors are kept out: a section that failed is not explained.
struct SectionFacts : FactsSink {
  std::optional<SectionFact> variant;
  std::optional<VariableFact> variable;
  std::optional<DescriptorFact> descriptor;
  // The argument's type word read straight from memory, for a variant
  // argument section that was asked for and failed (Null, Empty).
  std::optional<uint16_t> failed_variant_type;

  void Variant(const SectionFact& s) override { variant = s; }
  void Variable(const VariableFact& v) override { variable = v; }
  void Descriptor(const DescriptorFact& d) override { descriptor = d; }
  void ValuesHeader(const ValuesHeaderFact&) override {}
  void Element(const ElementFact&) override {}
  void Footprint(const FootprintFact&) override {}
  void Error(const ErrorFact&) override {}
};

// The explanation of `facts`, read in `process` (for the pointers that
// cells hold) and placed among the blocks of `footprint`.
std::string ExplainText(const SectionFacts& facts, const automation::ClientProcess& process,
                        const FootprintFact& footprint);

// The explanation of the report of the argument at `var` with `var_flags`:
// the twin of each table section asked for, gathered one section at a time
// (so that a section that fails leaves the others explained), and the
// readable footprint. Lines end in CR LF as the report's do, or with `lf` in
// LF. Raises nothing the process raises.
std::string ExplainReport(automation::ClientProcess& process, automation::Address var,
                          std::optional<int32_t> var_flags, bool lf);

}  // namespace dudUdudADOD::cli

#endif  // DUD_CLI_OUTPUT_EXPLAIN_H_
