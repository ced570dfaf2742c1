#include "cli/script/words.h"

#include <algorithm>
#include <array>

#include "automation/variant.h"
#include "cli/script/ascii.h"

namespace dudUdudADOD::cli {

namespace {

struct NamedType {
  std::string_view name;
  uint16_t type;
};

constexpr std::array<NamedType, 13> kTypes = {{
    {"Integer", automation::vbInteger},
    {"Long", automation::vbLong},
    {"LongLong", automation::vbLongLong},
    {"LongPtr", kLongPtr},
    {"Single", automation::vbSingle},
    {"Double", automation::vbDouble},
    {"Currency", automation::vbCurrency},
    {"Date", automation::vbDate},
    {"String", automation::vbString},
    {"Boolean", automation::vbBoolean},
    {"Byte", automation::vbByte},
    {"Variant", automation::vbVariant},
    {"Object", automation::vbObject},
}};

constexpr std::array<NamedType, 14> kConversions = {{
    {"CByte", automation::vbByte},
    {"CInt", automation::vbInteger},
    {"CLng", automation::vbLong},
    {"CLngLng", automation::vbLongLong},
    {"CLngPtr", kLongPtr},
    {"CSng", automation::vbSingle},
    {"CDbl", automation::vbDouble},
    {"CCur", automation::vbCurrency},
    {"CDate", automation::vbDate},
    {"CStr", automation::vbString},
    {"CBool", automation::vbBoolean},
    {"CDec", automation::vbDecimal},
    {"CVErr", automation::vbError},
    {"CVar", automation::vbVariant},
}};

constexpr std::array<std::string_view, 19> kKeywords = {
    "Dim",   "ReDim",      "Erase",    "Set",   "Let",       "As",   "To",
    "At",    "New",        "True",     "False", "Empty",     "Null", "Nothing",
    "Array", "RawVariant", "Preserve", "Rem",   "FileBytes",
};

constexpr std::array<std::string_view, 13> kTypeNames = {
    "Integer", "Long",   "LongLong", "LongPtr", "Single",  "Double", "Currency",
    "Date",    "String", "Boolean",  "Byte",    "Variant", "Object",
};

constexpr std::array<std::string_view, 17> kFunctionNames = {
    "CByte", "CInt",  "CLng", "CLngLng", "CLngPtr", "CSng",  "CDbl",       "CCur",      "CDate",
    "CStr",  "CBool", "CDec", "CVErr",   "CVar",    "Array", "RawVariant", "FileBytes",
};

// The words that start a statement, for "did you mean" after a slip.
constexpr std::array<std::string_view, 6> kStatementWords = {"Dim", "ReDim", "Erase",
                                                             "Set", "Let",   "Preserve"};

template <size_t N>
std::optional<uint16_t> FindType(const std::array<NamedType, N>& table, std::string_view word) {
  for (const NamedType& t : table) {
    if (SameWord(t.name, word)) return t.type;
  }
  return std::nullopt;
}

}  // namespace

std::optional<uint16_t> TypeNamed(std::string_view word) { return FindType(kTypes, word); }

std::optional<uint16_t> ConversionNamed(std::string_view word) {
  return FindType(kConversions, word);
}

std::span<const std::string_view> TypeNames() { return kTypeNames; }
std::span<const std::string_view> StatementWords() { return kStatementWords; }
std::span<const std::string_view> FunctionNames() { return kFunctionNames; }

bool IsReservedWord(std::string_view word) {
  const auto same = [word](std::string_view w) { return SameWord(w, word); };
  return std::any_of(kKeywords.begin(), kKeywords.end(), same) || TypeNamed(word).has_value() ||
         ConversionNamed(word).has_value();
}

}  // namespace dudUdudADOD::cli
