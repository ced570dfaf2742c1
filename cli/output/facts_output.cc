#include "cli/output/facts_output.h"

#include <iomanip>
#include <ostream>
#include <string>

#include "automation/variant.h"
#include "cli/output/explain.h"

namespace dudUdudADOD::cli {

namespace {

constexpr int kFormatVersion = 1;

void WriteRow(JsonWriter& json, const FieldFact& row) {
  json.BeginObject();
  json.Address("address", row.address);
  json.Key("offset");
  json.Number(row.offset);
  json.Key("field");
  json.String(row.field);
  json.Key("type");
  json.String(row.type);
  json.Key("size");
  json.Number(row.size);
  json.Key("value");
  if (row.number) {
    json.Number(*row.number);
  } else if (row.text) {
    json.String(*row.text);
  } else {
    json.Null();
  }
  json.Key("bytes");
  json.BeginArray();
  for (const uint8_t b : row.bytes) json.Number(uint32_t{b});
  json.EndArray();
  json.EndObject();
}

void WriteRows(JsonWriter& json, const SectionFact& section) {
  json.Address("address", section.address);
  json.Key("rows");
  json.BeginArray();
  for (const FieldFact& row : section.rows) WriteRow(json, row);
  json.EndArray();
}

}  // namespace

JsonFacts::JsonFacts(std::ostream& out, int address_digits) : json_(out, address_digits) {
  json_.BeginObject();
  json_.Key("format");
  json_.String(std::string_view("ravoduze-facts"));
  json_.Key("version");
  json_.Number(kFormatVersion);
}

void JsonFacts::Describe(std::string_view platform, const std::optional<std::string>& name) {
  json_.Key("platform");
  json_.String(platform);
  if (!name) return;
  json_.Key("name");
  json_.String(std::string_view(*name));
}

// The variant's type word, decoded (explain.h).
static void WriteTypeWord(JsonWriter& json, uint16_t word) {
  const auto base = static_cast<uint16_t>(word & automation::kBaseTypeMask);
  json.Key("type_word");
  json.BeginObject();
  json.Key("value");
  json.Number(uint32_t{word});
  json.Key("base");
  json.Number(uint32_t{base});
  json.Key("base_name");
  if (BaseTypeName(base).empty()) {
    json.Null();
  } else {
    json.String(BaseTypeName(base));
  }
  json.Key("array");
  json.Bool((word & automation::vbArray) != 0);
  json.Key("by_reference");
  json.Bool((word & automation::kByRef) != 0);
  json.Key("text");
  json.String(std::string_view(TypeWordText(word)));
  json.EndObject();
}

void JsonFacts::Variant(const SectionFact& section) {
  json_.Key("variant");
  json_.BeginObject();
  for (const FieldFact& row : section.rows) {
    if (row.offset == 0 && row.number) WriteTypeWord(json_, static_cast<uint16_t>(*row.number));
  }
  WriteRows(json_, section);
  json_.EndObject();
}

void JsonFacts::Variable(const VariableFact& variable) {
  json_.Key("variable");
  json_.BeginObject();
  json_.Key("type_name");
  json_.String(variable.type_name);
  json_.Key("array");
  json_.Bool(variable.is_array);
  json_.Key("by_reference");
  json_.Bool(variable.by_reference);
  WriteRows(json_, variable.section);
  json_.EndObject();
}

void JsonFacts::Descriptor(const DescriptorFact& descriptor) {
  json_.Key("descriptor");
  json_.BeginObject();
  json_.Address("descriptor", descriptor.descriptor);
  WriteRows(json_, descriptor.section);
  json_.Key("bounds");
  json_.BeginArray();
  for (const BoundFact& b : descriptor.bounds) {
    json_.BeginObject();
    json_.Key("entry");
    json_.Number(b.entry);
    json_.Address("address", b.address);
    json_.Key("elements");
    json_.Number(b.elements);
    json_.Key("lower");
    json_.Number(b.lower);
    json_.Key("upper");
    json_.Number(b.upper);
    json_.EndObject();
  }
  json_.EndArray();
  json_.EndObject();
}

void JsonFacts::ValuesHeader(const ValuesHeaderFact& header) {
  json_.Key("values");
  json_.BeginObject();
  values_open_ = true;
  json_.Key("array");
  json_.Bool(header.array);
  json_.Key("elements");
  json_.Number(header.elements);
  json_.Key("bytes");
  json_.Number(header.bytes);
  json_.Address("entry", header.entry);
  json_.Key("items");
  json_.BeginArray();
}

void JsonFacts::Element(const ElementFact& element) {
  json_.BeginObject();
  json_.Key("position");
  json_.Number(element.position);
  json_.Key("index");
  json_.BeginArray();
  for (const int32_t i : element.index) json_.Number(i);
  json_.EndArray();
  json_.Key("label");
  json_.String(element.label);
  json_.Address("address", element.address);
  json_.Key("value");
  json_.String(element.value);
  if (element.string_address) {
    json_.Key("string");
    json_.BeginObject();
    json_.Address("address", *element.string_address);
    json_.Key("bytes");
    json_.Number(*element.string_bytes);
    json_.EndObject();
  }
  json_.EndObject();
}

void JsonFacts::CloseValues() {
  if (!values_open_) return;
  json_.EndArray();
  json_.EndObject();
  values_open_ = false;
}

void JsonFacts::Footprint(const FootprintFact& footprint) {
  CloseValues();
  json_.Key("footprint");
  json_.BeginObject();
  json_.Key("blocks");
  json_.BeginArray();
  for (const BlockFact& block : footprint.blocks) {
    json_.BeginObject();
    json_.Key("kind");
    json_.String(BlockKindName(block.kind));
    json_.Address("address", static_cast<int64_t>(block.address));
    json_.Key("size");
    json_.Number(block.size);
    if (block.kind != BlockKind::kArgument) {
      json_.Address("parent", static_cast<int64_t>(block.parent));
    }
    json_.EndObject();
  }
  json_.EndArray();
  json_.Key("unlisted_strings");
  json_.Number(footprint.unlisted_strings);
  json_.Key("unlisted_blocks");
  json_.Number(footprint.unlisted_blocks);
  json_.Key("kinds");
  json_.BeginObject();
  for (size_t k = 0; k < kBlockKinds; ++k) {
    json_.Key(BlockKindName(static_cast<BlockKind>(k)));
    json_.BeginObject();
    json_.Key("blocks");
    json_.Number(footprint.kinds[k].blocks);
    json_.Key("bytes");
    json_.Number(footprint.kinds[k].bytes);
    json_.EndObject();
  }
  json_.EndObject();
  json_.Key("total");
  json_.Number(footprint.total);
  json_.EndObject();
}

void JsonFacts::Error(const ErrorFact& error) {
  error_ = error.number;
  CloseValues();
  json_.Key("error");
  json_.BeginObject();
  json_.Key("number");
  json_.Number(error.number);
  json_.Key("description");
  json_.String(std::string_view(error.description));
  json_.Key("step");
  json_.String(std::string_view(error.step));
  json_.EndObject();
}

void JsonFacts::Finish() {
  CloseValues();
  json_.EndObject();
  json_.EndDocument();
}

void WriteFootprintTable(std::ostream& out, const FootprintFact& footprint) {
  out << std::left << std::setw(12) << "Block" << std::right << std::setw(8) << "Count"
      << std::setw(14) << "Bytes" << '\n';
  for (size_t k = 0; k < kBlockKinds; ++k) {
    const KindTotal& kind = footprint.kinds[k];
    if (kind.blocks == 0) continue;
    out << std::left << std::setw(12) << BlockKindName(static_cast<BlockKind>(k)) << std::right
        << std::setw(8) << kind.blocks << std::setw(14) << kind.bytes << '\n';
  }
  out << std::left << std::setw(12) << "total" << std::right << std::setw(8) << "" << std::setw(14)
      << footprint.total << '\n';
}

}  // namespace dudUdudADOD::cli
