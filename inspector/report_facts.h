// The structured twin of a report: the facts its sections and its values
// header show, as plain data, gathered by reading the same memory the text
// is written from (never by reading the text).
//
// Used by RavoDUZE::Facts and by the command-line client's --json, --svg and
// --footprint. The sections present are those `varFlags` asks for, as in the
// text; `vatFlags` and `sep` shape only the text and have no twin: every
// element comes with its index, its position and its value text, a string
// with its address and length. The footprint, which the text has no section
// for, always comes last.
//
// Addresses are unsigned numbers of the process's pointer width, as in the
// process (the text writes those with the top bit set as negative numbers);
// values stay as the text shows them.
//
// A twin is handed to a FactsSink piece by piece, in the order of the text,
// so that an array of tens of millions of elements never stands whole in
// memory; ReportFacts is a sink that keeps everything, for small values. A
// run-time error ends the twin: the sink gets what came before it and then
// the error, with the step that raised it.
#ifndef DUD_INSPECTOR_REPORT_FACTS_H_
#define DUD_INSPECTOR_REPORT_FACTS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "inspector/footprint.h"

namespace dudUdudADOD {

// One row of a table section: a field of a structure in memory.
struct FieldFact {
  int64_t address = 0;   // where the field lies
  int64_t offset = 0;    // from the structure's start
  std::u16string field;  // "vbType", ".cDims", ...
  std::u16string type;   // "Integer", "Long", "Union"
  int32_t size = 0;      // the LenB column
  // The Value column: a number or a text; none where the report shows "***".
  std::optional<int64_t> number;
  std::optional<std::u16string> text;
  std::vector<uint8_t> bytes;  // the Bytes column
};

// A table section: the variant argument ("variant"), the variable
// ("variable") or the array descriptor record ("descriptor").
struct SectionFact {
  std::string name;
  int64_t address = 0;  // the structure's start
  std::vector<FieldFact> rows;
};

// The variable section's own columns, beside its one row.
struct VariableFact {
  std::u16string type_name;  // "Long", "String()", ...
  bool is_array = false;
  bool by_reference = false;  // FAR_REF
  SectionFact section;
};

struct BoundFact {
  int32_t entry = 0;  // the bound's place in the record: 0 is the last declared
  int64_t address = 0;
  uint32_t elements = 0;
  int32_t lower = 0;
  int32_t upper = 0;
};

// The descriptor section: the record's head as rows, and its bounds.
struct DescriptorFact {
  int64_t descriptor = 0;  // the client's descriptor the record was copied from
  SectionFact section;
  std::vector<BoundFact> bounds;  // in the record's order; empty without varSA_Bounds
};

// The values header: "N element(s), B bytes in memory, Entry = E".
struct ValuesHeaderFact {
  bool array = false;
  double elements = 0;
  int32_t bytes = 0;
  int64_t entry = 0;
};

struct ElementFact {
  int64_t position = 0;        // 1-based, in memory order
  std::vector<int32_t> index;  // one per dimension, in declaration order
  std::u16string label;        // the index label the report prints: "[1,2]"
  int64_t address = 0;
  std::u16string value;
  // For a String element (or a Variant holding a string): where its text
  // lies and its byte length.
  std::optional<int64_t> string_address;
  std::optional<uint32_t> string_bytes;
};

struct ErrorFact {
  int number = 0;
  std::string description;  // the platform's standard text
  std::string step;         // "variant argument", "descriptor snapshot", "values", ...
};

class FactsSink {
 public:
  virtual ~FactsSink() = default;
  virtual void Variant(const SectionFact& section) = 0;
  virtual void Variable(const VariableFact& variable) = 0;
  virtual void Descriptor(const DescriptorFact& descriptor) = 0;
  virtual void ValuesHeader(const ValuesHeaderFact& header) = 0;
  virtual void Element(const ElementFact& element) = 0;  // each, in memory order
  virtual void Footprint(const FootprintFact& footprint) = 0;
  virtual void Error(const ErrorFact& error) = 0;
};

// A twin held whole.
struct ReportFacts : FactsSink {
  std::optional<SectionFact> variant;
  std::optional<VariableFact> variable;
  std::optional<DescriptorFact> descriptor;
  std::optional<ValuesHeaderFact> values_header;
  std::vector<ElementFact> elements;
  std::optional<FootprintFact> footprint;
  std::optional<ErrorFact> error;

  void Variant(const SectionFact& s) override { variant = s; }
  void Variable(const VariableFact& v) override { variable = v; }
  void Descriptor(const DescriptorFact& d) override { descriptor = d; }
  void ValuesHeader(const ValuesHeaderFact& h) override { values_header = h; }
  void Element(const ElementFact& e) override { elements.push_back(e); }
  void Footprint(const FootprintFact& f) override { footprint = f; }
  void Error(const ErrorFact& e) override { error = e; }
};

}  // namespace dudUdudADOD

#endif  // DUD_INSPECTOR_REPORT_FACTS_H_
