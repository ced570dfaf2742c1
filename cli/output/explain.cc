#include "cli/output/explain.h"

#include <array>
#include <charconv>
#include <cstring>

#include "automation/memory.h"
#include "automation/runtime_error.h"
#include "automation/utf8.h"
#include "automation/variant.h"
#include "cli/output/address_text.h"
#include "inspector/ravoduze.h"

namespace dudUdudADOD::cli {

using automation::Address;

namespace {

struct Named {
  uint16_t value;
  std::string_view name;
};

constexpr std::array<Named, 24> kBaseTypes = {{
    {0, "vbEmpty"},    {1, "vbNull"},        {2, "vbInteger"},   {3, "vbLong"},
    {4, "vbSingle"},   {5, "vbDouble"},      {6, "vbCurrency"},  {7, "vbDate"},
    {8, "vbString"},   {9, "vbObject"},      {10, "vbError"},    {11, "vbBoolean"},
    {12, "vbVariant"}, {13, "vbDataObject"}, {14, "vbDecimal"},  {16, "vbSByte"},
    {17, "vbByte"},    {18, "vbUShort"},     {19, "vbUInteger"}, {20, "vbLongLong"},
    {21, "vbULong"},   {22, "vbInt"},        {23, "vbUInt"},     {36, "vbUserDefinedType"},
}};

constexpr std::array<Named, 11> kFeatures = {{
    {0x0001, "FADF_AUTO"},
    {0x0002, "FADF_STATIC"},
    {0x0004, "FADF_EMBEDDED"},
    {0x0010, "FADF_FIXEDSIZE"},
    {0x0020, "FADF_RECORD"},
    {0x0040, "FADF_HAVEIID"},
    {0x0080, "FADF_HAVEVARTYPE"},
    {0x0100, "FADF_BSTR"},
    {0x0200, "FADF_UNKNOWN"},
    {0x0400, "FADF_DISPATCH"},
    {0x0800, "FADF_VARIANT"},
}};

std::string Term(std::string_view name, uint32_t value) {
  return std::string(name) + " (" + std::to_string(value) + ")";
}

void Join(std::string& text, const std::string& term) {
  text += (text.empty() ? "" : " + ") + term;
}

// Bits of `word` outside the named ones, lowest first.
void OtherBits(std::string& text, uint32_t bits) {
  for (uint32_t bit = 1; bit != 0 && bit <= bits; bit <<= 1) {
    if ((bits & bit) != 0) Join(text, Term("bit " + std::to_string(bit), bit));
  }
}

// "1243024 = 0x0012F790", with the hex digits of the process's width.
std::string Both(Address address, uint32_t pointer_size) {
  return std::to_string(address) + " = " + HexAddress(address, pointer_size);
}

// Where `address` lies among the value's blocks, or on the call's stack.
class Places {
 public:
  Places(const SectionFacts& facts, const FootprintFact& footprint, uint32_t pointer_size)
      : facts_(facts), footprint_(footprint), pointer_size_(pointer_size) {}

  std::string Of(Address address) const {
    if (address == 0) return "no address (a null pointer)";
    for (const BlockFact& block : footprint_.blocks) {
      if (address < block.address || address - block.address >= block.size) continue;
      return InBlock(block, address);
    }
    if (facts_.descriptor) {
      const SectionFact& record = facts_.descriptor->section;
      const auto start = static_cast<Address>(record.address);
      if (address >= start && address - start < RecordSize()) {
        return "the call's copy of the descriptor, on the call's stack";
      }
    }
    return "outside every block of the value";
  }

  std::string Pointer(Address address) const { return Both(address, pointer_size_); }

 private:
  std::string InBlock(const BlockFact& block, Address address) const {
    const std::string kind(BlockKindName(block.kind));
    const std::string size = " (" + std::to_string(block.size - block.prefix) + " bytes)";
    if (block.kind == BlockKind::kString && address == block.address + 4) {
      return "the text of the string at " + Pointer(block.address) + ", after its length prefix" +
             " (" + std::to_string(block.size - 6) + " bytes of text)";
    }
    if (block.kind == BlockKind::kVariable && address == block.address && facts_.variable) {
      std::string type;
      for (const char16_t c : facts_.variable->type_name)
        type += static_cast<char>(c < 0x80 ? c : '?');
      return "the start of the variable (" + type + ", " + std::to_string(block.size) + " bytes)";
    }
    if (address == block.address + block.prefix) return "the start of the " + kind + size;
    return std::to_string(address - block.address) + " bytes into the " + kind + " at " +
           Pointer(block.address);
  }

  uint64_t RecordSize() const {
    uint64_t size = 0;
    for (const FieldFact& row : facts_.descriptor->section.rows) {
      size = std::max<uint64_t>(size, static_cast<uint64_t>(row.offset + row.size));
    }
    for (const BoundFact& b : facts_.descriptor->bounds) {
      size = std::max<uint64_t>(
          size, static_cast<uint64_t>(b.address - facts_.descriptor->section.address) + 8);
    }
    return size;
  }

  const SectionFacts& facts_;
  const FootprintFact& footprint_;
  uint32_t pointer_size_;
};

std::string Line(std::u16string_view field, const std::string& text) {
  std::string name;
  for (const char16_t c : field) name += c < 0x80 ? static_cast<char>(c) : '?';
  if (name.size() < 16) name.resize(16, ' ');
  return name + text + "\n";
}

bool HoldsPointer(uint16_t word) {
  const uint16_t base = word & automation::kBaseTypeMask;
  return (word & (automation::kByRef | automation::vbArray)) != 0 || base == automation::vbString ||
         base == automation::vbObject || base == 13;  // the unknown interface
}

void ExplainVariant(std::string& text, const SectionFact& variant, const Places& places) {
  std::optional<uint16_t> word;
  for (const FieldFact& row : variant.rows) {
    if (row.field == u"vbType" && row.number) {
      word = static_cast<uint16_t>(*row.number);
      text += Line(row.field, std::to_string(*word) + " = " + TypeWordText(*word));
    } else if (row.offset == 8 && word) {
      if (!HoldsPointer(*word)) {
        text += Line(row.field, "the value itself, held in the variant: no pointer");
        continue;
      }
      if (!row.number) continue;
      const auto to = static_cast<Address>(*row.number);
      text += Line(row.field, places.Pointer(to) + ": " + places.Of(to));
    }
  }
}

// A Date's value and its bytes apart: the text as the report shows it, and
// the Double the 8 bytes hold (days since 12/30/1899).
std::string DateText(const FieldFact& row) {
  double days = 0;
  std::memcpy(&days, row.bytes.data(), sizeof days);
  char number[32];
  const auto end = std::to_chars(number, number + sizeof number, days).ptr;
  std::string bytes;
  for (const uint8_t b : row.bytes) bytes += (bytes.empty() ? "" : " ") + std::to_string(b);
  std::string value;
  for (const char16_t c : row.text.value_or(u"")) value += static_cast<char>(c < 0x80 ? c : '?');
  return "the value " + value + "; its 8 bytes " + bytes + " hold the Double " +
         std::string(number, end) + ", days since 12/30/1899";
}

void ExplainVariable(std::string& text, const VariableFact& variable,
                     const automation::ClientProcess& process, const Places& places) {
  if (variable.section.rows.empty()) return;
  const FieldFact& row = variable.section.rows.front();
  if (row.type == u"Date" && row.bytes.size() == 8) {
    text += Line(row.type, DateText(row));
    return;
  }
  if (row.number || row.text || !variable.by_reference) return;
  try {  // a String, an array or an object: the cell holds a pointer
    const auto cell = static_cast<Address>(row.address);
    const Address to = automation::ReadPointer(process.memory(), cell);
    text += Line(row.type, "the cell at " + places.Pointer(cell) + " holds " + places.Pointer(to) +
                               ": " + places.Of(to));
  } catch (const RuntimeError&) {
  }
}

void ExplainDescriptor(std::string& text, const DescriptorFact& descriptor, const Places& places) {
  text += Line(u"Entry", places.Pointer(static_cast<Address>(descriptor.section.address)) +
                             ": the call's copy of the descriptor at " +
                             places.Pointer(static_cast<Address>(descriptor.descriptor)) +
                             ", on the call's stack");
  for (const FieldFact& row : descriptor.section.rows) {
    if (!row.number) continue;
    if (row.offset == 2) {
      text += Line(row.field, std::to_string(*row.number) + " = " +
                                  FeaturesText(static_cast<uint16_t>(*row.number)));
    } else if (row.field == u".pvData") {
      const auto to = static_cast<Address>(*row.number);
      text += Line(row.field, places.Pointer(to) + ": " + places.Of(to));
    }
  }
  const size_t dims = descriptor.bounds.size();
  for (const BoundFact& b : descriptor.bounds) {
    text += Line(u"Bound " + automation::FromUtf8(std::to_string(b.entry)),
                 "dimension " + std::to_string(dims - static_cast<size_t>(b.entry)) + " of " +
                     std::to_string(dims) + " as declared: " + std::to_string(b.lower) + " To " +
                     std::to_string(b.upper) + ", " + std::to_string(b.elements) + " elements" +
                     (b.entry == 0 ? "; the record keeps the last declared first" : ""));
  }
}

}  // namespace

std::string_view BaseTypeName(uint16_t base) {
  for (const Named& type : kBaseTypes) {
    if (type.value == base) return type.name;
  }
  return "";
}

std::string TypeWordText(uint16_t word) {
  const uint16_t base = word & automation::kBaseTypeMask;
  const std::string_view name = BaseTypeName(base);
  std::string text = name.empty() ? Term("type " + std::to_string(base), base) : Term(name, base);
  if ((word & automation::vbArray) != 0) Join(text, Term("vbArray", automation::vbArray));
  if ((word & automation::kByRef) != 0) Join(text, Term("by reference", automation::kByRef));
  OtherBits(text, word & ~(automation::kBaseTypeMask | automation::vbArray | automation::kByRef));
  return text;
}

std::string FeaturesText(uint16_t features) {
  std::string text;
  uint16_t named = 0;
  for (const Named& bit : kFeatures) {
    if ((features & bit.value) == 0) continue;
    Join(text, Term(bit.name, bit.value));
    named |= bit.value;
  }
  OtherBits(text, features & ~named);
  return text.empty() ? "none" : text;
}

std::string ExplainText(const SectionFacts& facts, const automation::ClientProcess& process,
                        const FootprintFact& footprint) {
  const Places places(facts, footprint, process.memory().layout().pointer_size);
  std::string text = "--- explained ---\n";
  if (facts.variant) ExplainVariant(text, *facts.variant, places);
  if (!facts.variant && facts.failed_variant_type) {
    const uint16_t word = *facts.failed_variant_type;
    text += Line(u"vbType", std::to_string(word) + " = " + TypeWordText(word) +
                                " (read from memory: the section failed)");
  }
  if (facts.variable) ExplainVariable(text, *facts.variable, process, places);
  if (facts.descriptor) ExplainDescriptor(text, *facts.descriptor, places);
  return text;
}

std::string ExplainReport(automation::ClientProcess& process, Address var,
                          std::optional<int32_t> var_flags, bool lf) {
  SectionFacts facts;
  RavoDUZE inspector(process);
  const int32_t flags = var_flags.value_or(varALLINFO);
  for (const int32_t section : {varARG, varDef, varSA_Stru}) {
    // The bounds come with the descriptor section, when asked for.
    const int32_t alone = section == varSA_Stru ? flags & (varSA_Stru | varSA_Bounds) : section;
    if ((flags & section) != 0) inspector.Facts(facts, var, alone);
  }
  if ((flags & varARG) != 0 && !facts.variant) {
    try {
      facts.failed_variant_type = automation::ReadUInt16(process.memory(), var);
    } catch (const RuntimeError&) {
    }
  }
  const std::string text = ExplainText(facts, process, MeasureReadable(process, var));
  if (lf) return text;
  std::string crlf;
  for (const char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return crlf;
}

}  // namespace dudUdudADOD::cli
