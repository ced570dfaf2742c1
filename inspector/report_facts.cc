// The structured twin, gathered step by step in the main call's order, with
// the same reads and the same checks as the text, so that the twin of a call
// that fails fails in the same step with the same error.
#include "inspector/report_facts.h"

#include <algorithm>
#include <array>
#include <vector>

#include "automation/bstr.h"
#include "automation/checked_math.h"
#include "automation/conversions.h"
#include "automation/data_size.h"
#include "automation/runtime_error.h"
#include "automation/safe_array_desc.h"
#include "automation/variant.h"
#include "inspector/ravoduze.h"
#include "layout/next_index_label.h"
#include "sections/element_text.h"
#include "sections/values_info.h"

namespace dudUdudADOD {

using namespace automation;  // the platform model is this file's vocabulary

namespace {

// Addresses in the twin are unsigned, as they are in the process; the text
// writes those at or above 2^31 of a 32-bit process as negative numbers.
// `shown` is an address as the text shows it.
int64_t AddressOf(const Layout& layout, int64_t shown) {
  return static_cast<int64_t>(ToAddress(layout, shown));
}

// The Bytes column: `count` bytes at `address`. A count of 0 or less has no
// first byte, the platform's subscript error, as in the text.
std::vector<uint8_t> BytesAt(const Memory& memory, int64_t address, int32_t count) {
  if (count <= 0) Raise(kSubscriptOutOfRange);
  const Address at = ToAddress(memory.layout(), address);
  std::vector<uint8_t> bytes(static_cast<size_t>(count));
  if (!memory.IsMapped(at, bytes.size())) Raise(kInvalidArgument);
  memory.Read(at, bytes.data(), static_cast<uint32_t>(count));
  return bytes;
}

// A field of 2, 4 or 8 bytes, read with its sign.
int64_t FieldValue(const Memory& memory, Address at, int32_t width) {
  if (width == 2) return ReadInt16(memory, at);
  if (width == 4) return ReadInt32(memory, at);
  return static_cast<int64_t>(ReadUInt64(memory, at));
}

std::u16string_view FieldType(int32_t width) {
  return width == 2 ? u"Integer" : width == 4 ? u"Long" : u"LongLong";
}

FieldFact NumberRow(const Memory& memory, int64_t base, int32_t offset, std::u16string_view field,
                    std::u16string_view type, int32_t width) {
  const Layout& layout = memory.layout();
  const int64_t address = AddAddress(layout, base, offset);
  return {AddressOf(layout, address),
          offset,
          std::u16string(field),
          std::u16string(type),
          width,
          FieldValue(memory, ToAddress(layout, address), width),
          std::nullopt,
          BytesAt(memory, address, width)};
}

class FactsBuilder {
 public:
  FactsBuilder(ClientProcess& process, FactsSink& sink)
      : process_(process), memory_(process.memory()), layout_(memory_.layout()), sink_(sink) {}

  void Run(Address var, int32_t flags, Address record);

 private:
  SectionFact VariantSection(Address var);
  VariableFact VariableSection(Address var, int32_t data_bytes);
  DescriptorFact DescriptorSection(Address record, Address descriptor, bool with_bounds);
  void Elements(Address var, uint16_t type);
  void Scalar(Address var);
  void StringOf(ElementFact& element, const VariantImage& v) const;

  ClientProcess& process_;
  const Memory& memory_;
  const Layout& layout_;
  FactsSink& sink_;
  const char* step_ = "variant argument";
};

void FactsBuilder::Run(Address var, int32_t flags, Address record) {
  try {
    const int64_t entry = SignedAddress(
        layout_,
        ReadPointer(memory_, ToAddress(layout_, AddAddress(layout_, SignedAddress(layout_, var),
                                                           kDataFieldOffset))));
    const uint16_t type = VarType(memory_, LoadVariant(memory_, var));
    if ((flags & varARG) != 0) sink_.Variant(VariantSection(var));
    if ((type & vbArray) != 0) {
      step_ = "descriptor snapshot";
      int32_t total = 0;
      const Address cell = DescriptorCell(memory_, var);
      ReadSafeArrayDesc(process_, record, cell, total);
      step_ = "variable";
      if ((flags & varDef) != 0) sink_.Variable(VariableSection(var, total));
      step_ = "array descriptor";
      if ((flags & varSA_Stru) != 0) {
        sink_.Descriptor(
            DescriptorSection(record, ReadPointer(memory_, cell), (flags & varSA_Bounds) != 0));
      }
      if ((flags & varValues) != 0) {
        step_ = "values header";
        const SafeArrayDesc desc = SafeArrayDesc::Load(memory_, record);
        if (desc.cbElements == 0) Raise(kOverflow);
        sink_.ValuesHeader({true, static_cast<double>(total) / desc.cbElements, total,
                            static_cast<int64_t>(desc.pvData)});
        step_ = "values";
        Elements(var, type);
      }
    } else {
      step_ = "variable";
      if ((flags & varDef) != 0) sink_.Variable(VariableSection(var, 0));
      step_ = "data size";
      const int32_t total = DataSize(process_, var);
      if ((flags & varValues) != 0) {
        sink_.ValuesHeader({false, 1, total, AddressOf(layout_, entry)});
        step_ = "values";
        Scalar(var);
      }
    }
    step_ = "footprint";
    sink_.Footprint(MeasureFootprint(process_, var));
  } catch (const RuntimeError& e) {
    sink_.Error({e.number(), e.description(), step_});
  }
}

SectionFact FactsBuilder::VariantSection(Address var) {
  const int64_t a = SignedAddress(layout_, var);
  SectionFact section{"variant", AddressOf(layout_, a), {}};
  // The type word's Value is its 4 bytes, as the text shows it.
  FieldFact type_row = NumberRow(memory_, a, 0, u"vbType", u"Integer", 2);
  type_row.number = ReadInt32(memory_, var);
  section.rows.push_back(std::move(type_row));
  for (int32_t k = 1; k <= 3; ++k) {
    section.rows.push_back(NumberRow(memory_, a, 2 * k, u"Reserved", u"Integer", 2));
  }
  const int64_t data_field = AddAddress(layout_, a, kDataFieldOffset);
  if ((ReadInt32(memory_, var) & kByRef) != 0) {
    FieldFact pointer = NumberRow(memory_, a, kDataFieldOffset, u"Pointer", u"Union",
                                  static_cast<int32_t>(layout_.pointer_size));
    pointer.number = SignedAddress(layout_, ToAddress(layout_, *pointer.number));
    section.rows.push_back(std::move(pointer));
    return section;
  }
  // Size, text, dump: the text's order, so the same step fails first.
  const int32_t size = DataSize(process_, var);
  std::u16string text = process_.Text(LoadVariant(memory_, var));
  const auto field = static_cast<int32_t>(layout_.data_field_size);
  section.rows.push_back({AddressOf(layout_, data_field), kDataFieldOffset, u"Value", u"Union",
                          size, std::nullopt, std::move(text),
                          BytesAt(memory_, data_field, std::min(size, field))});
  return section;
}

VariableFact FactsBuilder::VariableSection(Address var, int32_t data_bytes) {
  const int64_t a = SignedAddress(layout_, var);
  const auto type_word = static_cast<uint16_t>(ReadInt16(memory_, var));
  const bool by_ref = (type_word & kByRef) != 0;
  const auto type = static_cast<uint16_t>(type_word & ~kByRef);
  const int64_t variable =
      by_ref
          ? SignedAddress(
                layout_,
                ReadPointer(memory_, ToAddress(layout_, AddAddress(layout_, a, kDataFieldOffset))))
          : a;
  VariableFact fact{process_.TypeName(LoadVariant(memory_, var)), (type & vbArray) != 0, by_ref,
                    SectionFact{"variable", AddressOf(layout_, variable), {}}};
  FieldFact row{AddressOf(layout_, variable),
                0,
                u"variable",
                fact.type_name,
                data_bytes,
                std::nullopt,
                std::nullopt,
                {}};
  if (!fact.is_array) {
    row.size = DataSize(process_, var);
    // String-like codes (8 to 15) show "***" for value and bytes.
    if ((type & 8) == 0) {
      row.text = process_.Text(LoadVariant(memory_, var));
      row.bytes = BytesAt(memory_, variable, row.size);
    }
  }
  fact.section.rows.push_back(std::move(row));
  return fact;
}

DescriptorFact FactsBuilder::DescriptorSection(Address record, Address descriptor,
                                               bool with_bounds) {
  const int64_t d = SignedAddress(layout_, record);
  DescriptorFact fact{
      static_cast<int64_t>(descriptor), SectionFact{"descriptor", AddressOf(layout_, d), {}}, {}};
  const struct {
    std::u16string_view name;
    int32_t offset;
    int32_t width;
  } head[] = {{u".cDims", 0, 2},
              {u".fFeaures", 2, 2},
              {u".cbArrElemSize", 4, 4},
              {u".cLock", 8, 4},
              {u".pvData", static_cast<int32_t>(layout_.pv_data_offset),
               static_cast<int32_t>(layout_.pointer_size)}};
  for (const auto& field : head) {
    fact.section.rows.push_back(
        NumberRow(memory_, d, field.offset, field.name, FieldType(field.width), field.width));
  }
  if (!with_bounds) return fact;
  const int32_t dims = ReadInt16(memory_, record);
  for (int32_t i = 0; i < dims; ++i) {
    if (i >= kMaxDims) Raise(kSubscriptOutOfRange);
    const int64_t bound =
        AddAddress(layout_, d, AddLong(static_cast<int32_t>(layout_.descriptor_head), 8 * i));
    const int32_t count = ReadInt32(memory_, ToAddress(layout_, bound));
    const int32_t lower = ReadInt32(memory_, ToAddress(layout_, AddAddress(layout_, bound, 4)));
    const int64_t upper = int64_t{lower} + count - 1;
    if (upper < INT32_MIN || upper > INT32_MAX) Raise(kOverflow);
    fact.bounds.push_back({i, AddressOf(layout_, bound), static_cast<uint32_t>(count), lower,
                           static_cast<int32_t>(upper)});
  }
  return fact;
}

void FactsBuilder::StringOf(ElementFact& element, const VariantImage& v) const {
  const VariantImage value = Dereference(memory_, v);
  if (value.vt() != vbString) return;
  element.string_address = static_cast<int64_t>(value.pointer());
  element.string_bytes = process_.SysStringByteLen(value.pointer());
}

void FactsBuilder::Scalar(Address var) {
  const VariantImage value = LoadVariant(memory_, var);
  ElementFact element;
  element.position = 1;
  element.address =
      static_cast<int64_t>((value.vt() & kByRef) != 0 ? value.pointer() : var + kDataFieldOffset);
  process_.AppendText(element.value, value);
  StringOf(element, value);
  sink_.Element(element);
}

// The walk of the values section, element by element in memory order; each
// element is handed over as soon as it is read.
void FactsBuilder::Elements(Address var, uint16_t type) {
  SafeArrayDesc desc;
  int32_t total = 0;
  SnapshotSafeArrayDesc(memory_, DescriptorCell(memory_, var), desc, total);
  if (desc.cbElements == 0) Raise(kOverflow);
  if (desc.cbElements < 0) Raise(kInvalidArgument);
  if (desc.cDims > kMaxDims) Raise(kSubscriptOutOfRange);
  const auto element_type = static_cast<uint16_t>(type & ~vbArray);
  const int32_t count = total / desc.cbElements;
  std::vector<int32_t> counters;
  for (int32_t k = 0; k < desc.cDims; ++k) {
    counters.push_back(desc.rgsabound[static_cast<size_t>(k)].lLbound);
  }
  const size_t size = sections::ElementTextBytes(element_type, desc.cbElements, layout_);
  const int64_t pv_data = SignedAddress(layout_, desc.pvData);
  std::vector<uint8_t> raw(size);
  ElementFact element;
  for (int32_t step = 1; step <= count; ++step) {
    const Address at =
        ToAddress(layout_, AddAddress(layout_, pv_data, MulLong(step - 1, desc.cbElements)));
    if (!memory_.IsMapped(at, size)) Raise(kInvalidArgument);
    memory_.Read(at, raw.data(), static_cast<uint32_t>(size));
    element.position = step;
    element.address = static_cast<int64_t>(at);
    element.index.assign(counters.rbegin(), counters.rend());
    element.label.clear();
    layout::AppendNextIndexLabel(element.label, desc, counters, step, desc.cDims == 1);
    if (desc.cDims == 1) element.index = {desc.rgsabound[0].lLbound + (step - 1)};
    element.value.clear();
    sections::AppendElementText(element.value, process_, element_type, raw.data(), size);
    element.string_address.reset();
    element.string_bytes.reset();
    if (element_type == vbString || element_type == vbVariant) {
      // Only the bytes the element has, the rest zero, as the text reads it.
      const bool string = element_type == vbString;
      VariantImage v = string ? VariantImage::OfType(vbString) : VariantImage::Empty();
      v.set_pointer_size(layout_.pointer_size);
      const size_t wanted = string ? layout_.pointer_size : layout_.variant_size;
      std::copy_n(raw.begin(), std::min(raw.size(), wanted),
                  string ? v.data_field() : v.bytes().data());
      StringOf(element, v);
    }
    sink_.Element(element);
  }
}

}  // namespace

void RavoDUZE::Facts(FactsSink& sink, Address var, std::optional<int32_t> varFlags) {
  LocalFrame frame(process_);
  alignas(8) uint8_t local_record[kMaxSafeArrayDescSize] = {};
  Address record = 0;
  try {
    // Cleared to zero.
    record =
        process_.CallRecord(std::span(local_record, SafeArrayDescSize(process_.memory().layout())));
  } catch (const RuntimeError& e) {
    sink.Error({e.number(), e.description(), "call frame"});
    return;
  }
  FactsBuilder(process_, sink).Run(var, varFlags.value_or(varALLINFO), record);
}

ReportFacts RavoDUZE::Facts(Address var, std::optional<int32_t> varFlags) {
  ReportFacts facts;
  Facts(facts, var, varFlags);
  return facts;
}

}  // namespace dudUdudADOD
