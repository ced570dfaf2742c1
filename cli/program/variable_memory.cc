#include "cli/program/variable_memory.h"

#include <algorithm>
#include <optional>
#include <string>

#include "automation/conversions.h"
#include "automation/runtime_error.h"
#include "automation/utf8.h"
#include "automation/variant.h"
#include "cli/script/script_error.h"

namespace dudUdudADOD::cli {

namespace {

using automation::Address;
using automation::Layout;
using automation::Variable;
using automation::VariableKind;

std::string TypeWord(uint16_t type) {
  return automation::ToUtf8(automation::BaseTypeName(type & automation::kBaseTypeMask));
}

// "a Long", "an Integer".
std::string WithArticle(const std::string& word) {
  const bool vowel = !word.empty() && std::string_view("AEIOU").find(word[0]) != std::string::npos;
  return (vowel ? "an " : "a ") + word;
}

uint32_t Capped(uint64_t bytes) {
  return static_cast<uint32_t>(std::clamp<uint64_t>(bytes, 1, kMaxDumpBytes));
}

// A number at `at`, or `fallback` where memory cannot be read: the dump
// then shows the edge it stops at.
uint64_t NumberAt(const automation::AddressSpace& memory, Address at, uint32_t size,
                  uint64_t fallback) {
  uint64_t value = 0;
  return memory.TryRead(at, &value, size) ? value : fallback;
}

// The variable's own bytes.
Dump OwnBytes(const Variable& v, const std::string& name, const Layout& layout) {
  switch (v.kind) {
    case VariableKind::kScalar:
      return {{v.address, Capped(automation::StorageSize(v.type, layout))},
              name + " (" + TypeWord(v.type) + ")"};
    case VariableKind::kFixedArray:
    case VariableKind::kDynamicArray:
      return {{v.address, layout.pointer_size},
              name + " (" + TypeWord(v.type) + "() array: its pointer to the descriptor)"};
    case VariableKind::kVariant:
      return {{v.address, layout.variant_size}, name + " (Variant)"};
    case VariableKind::kFixedString:
      return {{v.address, Capped(2 * uint64_t{v.length})},
              name + " (String * " + std::to_string(v.length) + ": its characters)"};
  }
  return {{v.address, kDefaultDumpBytes}, name};
}

// What a pointer is, for the error of one that is null.
std::string NullPointer(uint16_t vt) {
  if ((vt & automation::kByRef) != 0) return "a null reference";
  if ((vt & automation::vbArray) != 0) {
    return "a null pointer: an array with no storage (before ReDim, or after Erase)";
  }
  if (vt == automation::vbString) return "a null pointer: a String never given text";
  return "Nothing, a null pointer";
}

// Where a pointer of type word `vt` (a by-reference bit and an array bit
// included) that holds `to` leads, or nullopt when `vt` holds no pointer.
std::optional<Dump> Target(const automation::AddressSpace& memory, uint16_t vt, Address to,
                           const std::string& label) {
  const Layout& layout = memory.layout();
  const uint16_t base = vt & automation::kBaseTypeMask;
  if ((vt & automation::kByRef) != 0) {
    if ((vt & automation::vbArray) != 0) {
      return Dump{{to, layout.pointer_size},
                  label + " (the cell of the " + TypeWord(base) + "() array it refers to)"};
    }
    const uint32_t size = automation::StorageSize(base, layout);
    return Dump{{to, size == 0 ? kDefaultDumpBytes : size},
                label + " (the " + TypeWord(base) + " it refers to)"};
  }
  if ((vt & automation::vbArray) != 0) {
    const uint64_t dims = NumberAt(memory, to, 2, 0);
    return Dump{{to, Capped(layout.descriptor_head + 8 * dims)}, label + " (array descriptor)"};
  }
  if (vt == automation::vbString) {
    const Address prefix = to - 4;
    const uint64_t bytes = NumberAt(memory, prefix, 4, 0);
    return Dump{{prefix, Capped(4 + bytes + 2)}, label + " (length prefix, text, terminator)"};
  }
  if (vt == automation::vbObject || vt == automation::vbDataObject) {
    return Dump{{to, kDefaultDumpBytes}, label + " (object)"};
  }
  return std::nullopt;
}

// The type word that says what the variable's pointer is and the pointer,
// read where the variable lies.
std::pair<uint16_t, Address> HeldPointer(const automation::AddressSpace& memory,
                                         const Variable& v) {
  switch (v.kind) {
    case VariableKind::kScalar:
      return {v.type, automation::ReadPointer(memory, v.address)};
    case VariableKind::kFixedArray:
    case VariableKind::kDynamicArray:
      return {static_cast<uint16_t>(v.type | automation::vbArray),
              automation::ReadPointer(memory, v.address)};
    case VariableKind::kFixedString:  // its characters, no pointer (Followed)
      return {automation::vbEmpty, 0};
    case VariableKind::kVariant:
      break;
  }
  const automation::VariantImage image = automation::LoadVariant(memory, v.address);
  return {image.vt(), image.pointer()};
}

Dump Followed(const automation::AddressSpace& memory, const Variable& v, const std::string& name,
              std::string_view option) {
  const std::string label = "*" + name;
  const std::string nothing = std::string(option) + ": " + Quote(label) + ": nothing to follow: ";
  if (v.kind == VariableKind::kFixedString) {
    throw UsageError(nothing + name + " is a String * " + std::to_string(v.length) +
                     ", whose characters lie in it, with no pointer (" + std::string(option) + " " +
                     name + " shows them)");
  }
  if (v.kind == VariableKind::kScalar && v.type != automation::vbString &&
      v.type != automation::vbObject) {
    throw UsageError(nothing + name + " is " + WithArticle(TypeWord(v.type)) +
                     ", a value with no pointer in it (" + std::string(option) + " " + name +
                     " shows its bytes)");
  }
  const auto [vt, to] = HeldPointer(memory, v);
  std::optional<Dump> dump = Target(memory, vt, to, label);
  if (!dump) {
    const std::string held = vt == automation::vbEmpty || vt == automation::vbNull
                                 ? TypeWord(vt)
                                 : WithArticle(TypeWord(vt));
    throw UsageError(nothing + name + " holds " + held + " (vt " + std::to_string(vt) +
                     "), a value with no pointer in it (" + std::string(option) + " " + name +
                     " shows its bytes)");
  }
  if (to == 0) throw UsageError(nothing + name + " holds " + NullPointer(vt));
  return *dump;
}

}  // namespace

Dump DumpFor(const DumpRequest& request, const Interpreter& interpreter,
             const automation::AddressSpace& memory, std::string_view option) {
  if (request.address) return {{*request.address, request.count.value_or(kDefaultDumpBytes)}, ""};
  const std::optional<Variable> variable = interpreter.Find(request.name);
  if (!variable) {
    throw UsageError(std::string(option) + ": " + Quote(request.name) +
                     " is not a declared variable (give a variable's name, *NAME, or an "
                     "address)");
  }
  Dump dump = request.follow ? Followed(memory, *variable, request.name, option)
                             : OwnBytes(*variable, request.name, memory.layout());
  if (request.count) dump.range.count = *request.count;
  return dump;
}

}  // namespace dudUdudADOD::cli
