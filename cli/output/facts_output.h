// The structured twin on the command line: --json, --footprint and --svg.
//
// Used by RunRavoduze. JsonFacts writes the twin as one JSON document while
// it is gathered (schema: docs/structured-report.md), so a twin of tens of
// millions of elements needs no more memory than one element. The footprint
// table is one row per kind of block and the total. A twin that ends with a
// run-time error is still a whole document, with the error as its last
// member.
#ifndef DUD_CLI_OUTPUT_FACTS_OUTPUT_H_
#define DUD_CLI_OUTPUT_FACTS_OUTPUT_H_

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

#include "cli/output/json_writer.h"
#include "inspector/report_facts.h"

namespace dudUdudADOD::cli {

class JsonFacts : public FactsSink {
 public:
  // `address_digits` as JsonWriter takes it.
  explicit JsonFacts(std::ostream& out, int address_digits = 8);

  // The process modelled ("win32", "win64") and the name of the variable
  // inspected, when it has one (a temporary value has none): members of
  // the document's head, so called first.
  void Describe(std::string_view platform, const std::optional<std::string>& name);

  void Variant(const SectionFact& section) override;
  void Variable(const VariableFact& variable) override;
  void Descriptor(const DescriptorFact& descriptor) override;
  void ValuesHeader(const ValuesHeaderFact& header) override;
  void Element(const ElementFact& element) override;
  void Footprint(const FootprintFact& footprint) override;
  void Error(const ErrorFact& error) override;

  // Closes the document and hands it to the stream.
  void Finish();
  // The number of the run-time error that ended the twin, 0 for none.
  int error() const { return error_; }

 private:
  void CloseValues();

  JsonWriter json_;
  bool values_open_ = false;
  int error_ = 0;
};

// The --footprint table: "Block", "Count", "Bytes" and a row per kind of
// block present, then the total. Lines end in LF.
void WriteFootprintTable(std::ostream& out, const FootprintFact& footprint);

}  // namespace dudUdudADOD::cli

#endif  // DUD_CLI_OUTPUT_FACTS_OUTPUT_H_
