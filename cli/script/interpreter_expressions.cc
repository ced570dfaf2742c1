// The interpreter's expressions: bounds, whole numbers, values, negation,
// conversions, arrays (and how deep they nest), objects, raw memory, fixed-
// length Strings and values joined with &. The statements are in
// interpreter.cc, Debug.Print in interpreter_print.cc.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <unordered_set>

#include "automation/bstr.h"
#include "automation/conversions.h"
#include "automation/integer_types.h"
#include "automation/runtime_error.h"
#include "automation/safe_array.h"
#include "automation/text_forms.h"
#include "automation/utf8.h"
#include "cli/script/ascii.h"
#include "cli/script/interpreter.h"
#include "cli/script/interpreter_helpers.h"
#include "cli/script/parser.h"
#include "model/bstr_heap.h"
#include "model/safe_array_heap.h"
#include "model/variant_conversions.h"
#include "model/variant_memory.h"

namespace dudUdudADOD::cli {

using namespace automation;  // the platform model is this file's vocabulary
using interpreter_helpers::NumberText;
using interpreter_helpers::OnFailure;

std::vector<DeclaredBound> Interpreter::EvalBounds(std::span<const Bound> bounds) {
  std::vector<DeclaredBound> declared;
  for (const Bound& b : bounds) {
    const int64_t lower = b.lower ? EvalWhole(*b.lower, INT32_MIN, INT32_MAX, "a bound") : 0;
    const int64_t upper = EvalWhole(b.upper, INT32_MIN, INT32_MAX, "a bound");
    if (upper < lower - 1) {
      throw ScriptError(b.upper.position,
                        "the dimension " + std::to_string(lower) + " To " + std::to_string(upper) +
                            " runs backwards: the upper bound must be at least the lower bound "
                            "minus 1");
    }
    declared.push_back({static_cast<int32_t>(lower), static_cast<int32_t>(upper)});
  }
  return declared;
}

// A whole number from `low` to `high`, the way an address, a bound or a
// RawVariant field is given.
int64_t Interpreter::EvalWhole(const Expr& e, int64_t low, int64_t high, const std::string& what) {
  Value v = Eval(e);
  double number = 0;
  try {
    number = ChangeType(process_, v.image, vbDouble).double_value();
  } catch (const RuntimeError&) {
    Free(v);
    throw ScriptError(e.position, what + " must be a number");
  }
  Free(v);
  if (!(number >= static_cast<double>(low) && number <= static_cast<double>(high)) ||
      number != std::floor(number)) {
    throw ScriptError(e.position, what + " must be a whole number from " + std::to_string(low) +
                                      " to " + std::to_string(high) + ", not " +
                                      NumberText(number));
  }
  return static_cast<int64_t>(number);
}

Interpreter::Value Interpreter::Eval(const Expr& e) {
  last_position_ = e.position;
  switch (e.kind) {
    case ExprKind::kLiteral:
      return Value{e.literal};
    case ExprKind::kString:
      return Value{VariantImage::String(SysAllocString(process_, FromUtf8(e.text))), true};
    case ExprKind::kVariable: {
      const Variable& variable = Lookup(Name{e.text, e.position}).variable;
      if (variable.kind == VariableKind::kFixedString) return FixedStringValue(variable);
      return Value{client_.Reference(variable)};
    }
    case ExprKind::kConcat:
      return Concat(e);
    case ExprKind::kParen: {
      Value v = Eval(e.args[0]);
      if (v.raw || (v.image.vt() & kByRef) == 0) return v;
      return Value{VariantCopy(process_, Dereference(process_.memory(), v.image)), true};
    }
    case ExprKind::kNegate: {
      Value inner = Eval(e.args[0]);
      last_position_ = e.position;
      return Negate(inner);
    }
    case ExprKind::kConvert:
      return Convert(e);
    case ExprKind::kArray:
      return MakeArray(e);
    case ExprKind::kNew:
      return NewObject(e);
    case ExprKind::kRawVariant:
      return Raw(e);
    case ExprKind::kElement:
      return Value{client_.Reference(Element(Name{e.text, e.position}, e.args))};
    case ExprKind::kFileBytes:
      throw ScriptError(e.position,
                        "FileBytes fills a Byte array where it is declared, as in "
                        "Dim a(1 To 4) As Byte = FileBytes(\"data.bin\")");
  }
  return Value{};
}

// -x for the types whose negation keeps or widens to a whole type: Byte,
// Boolean and Empty become Integer; overflow raises 6. nullopt for others.
static std::optional<VariantImage> NegateWhole(const VariantImage& x) {
  switch (x.vt()) {
    case vbInteger:
      if (x.integer() == INT16_MIN) Raise(kOverflow);
      return VariantImage::Integer(static_cast<int16_t>(-x.integer()));
    case vbLong:
      if (x.long_value() == INT32_MIN) Raise(kOverflow);
      return VariantImage::Long(-x.long_value());
    case vbCurrency:
      if (x.currency() == INT64_MIN) Raise(kOverflow);
      return VariantImage::Currency(-x.currency());
    case vbLongLong: {
      const WholeNumber v = ReadWhole(vbLongLong, x.data_field());
      return IntegerVariant(vbLongLong, WholeNumber{!v.negative && v.magnitude != 0, v.magnitude});
    }
    case vbByte:
      return VariantImage::Integer(static_cast<int16_t>(-x.byte()));
    case vbBoolean:
      return VariantImage::Integer(static_cast<int16_t>(-x.integer()));
    case vbEmpty:
      return VariantImage::Integer(0);
    default:
      return std::nullopt;
  }
}

// Unary minus with the platform's types: Null stays Null, floating types and
// Dates keep their type, a Decimal flips its sign, text converts to Double.
Interpreter::Value Interpreter::Negate(Value v) {
  const VariantImage x = Dereference(process_.memory(), v.image);
  if (std::optional<VariantImage> whole = NegateWhole(x)) return Value{*whole};
  switch (x.vt()) {
    case vbSingle:
      return Value{VariantImage::Single(-x.single())};
    case vbDouble:
      return Value{VariantImage::Double(-x.double_value())};
    case vbDate:
      return Value{VariantImage::Date(-x.double_value())};
    case vbNull:
      return Value{VariantImage::Null()};
    case vbDecimal: {
      VariantImage flipped = x;
      flipped.bytes()[3] ^= 0x80;  // the sign byte of a Decimal
      return Value{flipped};
    }
    default: {
      OnFailure free_value([&] { Free(v); });
      const VariantImage number = ChangeType(process_, x, vbDouble);
      Free(v);
      return Value{VariantImage::Double(-number.double_value())};
    }
  }
}

Interpreter::Value Interpreter::Convert(const Expr& e) {
  Value v = Eval(e.args[0]);
  last_position_ = e.position;
  if (e.type == vbVariant) {  // CVar: the value itself, as a temporary
    if (v.owned || v.raw) return v;
    return Value{VariantCopy(process_, Dereference(process_.memory(), v.image)), true};
  }
  OnFailure free_value([&] { Free(v); });
  VariantImage result;
  if (e.type == vbError) {
    result = VariantImage::Error(VariantToLong(process_, v.image));
  } else {
    result = ChangeType(process_, v.image, e.type);
  }
  Free(v);
  return Value{result, e.type == vbString};
}

namespace {

// Whether arrays nest at least `limit` deep in `value`, counting an array as
// 1. Each array is explored once and remembers how deep it goes, so arrays
// that share nested arrays cost what is there, not the paths through them;
// an array met again on its own path (one that holds itself) nests without
// end. The recursion is at most `limit` deep.
class NestingProbe {
 public:
  NestingProbe(const AddressSpace& memory, int limit) : memory_(memory), limit_(limit) {}

  bool TooDeep(const VariantImage& value) { return Depth(value, 0) >= limit_; }

 private:
  // How deep arrays nest below `value`, which lies `above` arrays deep; at
  // least limit_ - above as soon as the limit is reached.
  int Depth(const VariantImage& value, int above) {
    if ((value.vt() & vbArray) == 0 || value.pointer() == 0) return 0;
    if (above + 1 >= limit_) return limit_;
    if ((value.vt() & kBaseTypeMask) != vbVariant) return 1;
    const Address descriptor = value.pointer();
    auto known = depth_.find(descriptor);
    if (known != depth_.end()) return known->second;
    if (!on_path_.insert(descriptor).second) return limit_;
    const uint64_t count = SafeArrayElementCount(memory_, descriptor);
    const Address data = SafeArrayData(memory_, descriptor);
    int deepest = 0;
    for (uint64_t i = 0; i < count && above + 1 + deepest < limit_; ++i) {
      const Address at = data + i * memory_.layout().variant_size;
      const VariantImage element = LoadVariant(memory_, at);
      // An element held by reference is not the array's own: never copied.
      if ((element.vt() & kByRef) != 0) continue;
      deepest = std::max(deepest, Depth(element, above + 1));
    }
    on_path_.erase(descriptor);
    const int depth = 1 + deepest;
    // Only a depth found in full is true from every path.
    if (above + depth < limit_) depth_.emplace(descriptor, depth);
    return depth;
  }

  const AddressSpace& memory_;
  const int limit_;
  std::unordered_map<Address, int> depth_;
  std::unordered_set<Address> on_path_;
};

}  // namespace

// An array value about to become an element of a Variant array.
void Interpreter::CheckNesting(const Value& v, const Expr& e) {
  const VariantImage value = Dereference(process_.memory(), v.image);
  if (NestingProbe(process_.memory(), kMaxNesting).TooDeep(value)) {
    throw ScriptError(e.position, "arrays nest too deeply: at most " + std::to_string(kMaxNesting) +
                                      " levels of arrays inside Variants");
  }
}

// Array(...): a Variant array 0 To n - 1 holding copies of the values.
Interpreter::Value Interpreter::MakeArray(const Expr& e) {
  const DeclaredBound bound{0, static_cast<int32_t>(e.args.size()) - 1};
  const Address descriptor = SafeArrayCreate(process_, vbVariant, std::span(&bound, 1));
  // The elements assigned so far belong to the array and go with it.
  OnFailure destroy([&] { SafeArrayDestroy(process_, descriptor); });
  const Address data = SafeArrayData(process_.memory(), descriptor);
  for (size_t i = 0; i < e.args.size(); ++i) {
    const Variable element{VariableKind::kVariant, vbVariant,
                           data + i * process_.memory().layout().variant_size};
    Value value = Eval(e.args[i]);
    {
      OnFailure free_value([&] { Free(value); });
      CheckNesting(value, e.args[i]);
    }
    AssignTo(element, value, nullptr);
  }
  return Value{VariantImage::Array(vbVariant, descriptor), true};
}

Interpreter::Value Interpreter::NewObject(const Expr& e) {
  std::optional<std::u16string> default_value;
  if (!e.args.empty()) {
    Value v = Eval(e.args[0]);
    {
      OnFailure free_value([&] { Free(v); });
      default_value = VariantToText(process_, v.image);
    }
    Free(v);
  }
  return Value{VariantImage::Object(process_.NewObject(FromUtf8(e.text), default_value))};
}

// RawVariant(vt, reserved1, reserved2, reserved3, low32, high32).
Interpreter::Value Interpreter::Raw(const Expr& e) {
  static constexpr const char* kFields[] = {"vt",        "reserved1", "reserved2",
                                            "reserved3", "low32",     "high32"};
  VariantImage image;
  for (size_t i = 0; i < 6; ++i) {
    const bool wide = i >= 4;
    const int64_t n =
        EvalWhole(e.args[i], wide ? INT32_MIN : INT16_MIN, wide ? UINT32_MAX : UINT16_MAX,
                  std::string("RawVariant's ") + kFields[i]);
    const size_t offset = wide ? 8 + 4 * (i - 4) : 2 * i;
    for (size_t k = 0; k < (wide ? 4u : 2u); ++k) {
      image.bytes()[offset + k] = static_cast<uint8_t>(static_cast<uint64_t>(n) >> (8 * k));
    }
  }
  return Value{image, false, true};
}

// A fixed-length String read as a value: a String holding its characters.
Interpreter::Value Interpreter::FixedStringValue(const Variable& variable) {
  return Value{VariantImage::String(SysAllocString(process_, client_.FixedStringText(variable))),
               true};
}

// a & b & ...: each value's text (CStr), Null counting as "", joined into a
// new String; Null when every value is Null.
Interpreter::Value Interpreter::Concat(const Expr& e) {
  std::u16string text;
  bool all_null = true;
  for (const Expr& part : e.args) {
    Value v = Eval(part);
    OnFailure free_value([&] { Free(v); });
    const VariantImage image = Dereference(process_.memory(), v.image);
    last_position_ = part.position;
    if (image.vt() != vbNull) {
      all_null = false;
      CheckStringSpace(text.size(), LenB(process_, image) / 2);  // 14 before the host's memory
      AppendVariantText(text, process_, image);
    }
    Free(v);
  }
  if (all_null) return Value{VariantImage::Null()};
  return Value{VariantImage::String(SysAllocString(process_, text)), true};
}

void Interpreter::Free(Value& v) {
  if (v.owned) VariantClear(process_, v.image);
  v.owned = false;
}

}  // namespace dudUdudADOD::cli
