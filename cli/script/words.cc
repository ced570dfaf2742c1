#include "cli/script/words.h"

#include <algorithm>
#include <array>

#include "automation/variant.h"
#include "cli/script/ascii.h"
#include "cli/script/script_error.h"

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

// What a script writes instead of what it does not have.
constexpr std::string_view kInOrder =
    "a script runs each statement once, in order: it has no conditions, loops or jumps";
constexpr std::string_view kOneProcedure =
    "a script is the body of one procedure: write its statements alone";
constexpr std::string_view kNoOperators =
    "a script has no arithmetic, comparisons or logic; & joins values as text";
constexpr std::string_view kFunctions =
    "a script's functions are the conversions (CLng, CStr, ...), Array, RawVariant and "
    "FileBytes";

struct Unsupported {
  std::string_view word;
  std::string_view instead;
  bool reserved;  // a statement word or an operator; a function's name is not
};

constexpr std::array<Unsupported, 76> kUnsupported = {{
    {"If", kInOrder, true},
    {"Then", kInOrder, true},
    {"Else", kInOrder, true},
    {"ElseIf", kInOrder, true},
    {"Select", kInOrder, true},
    {"Case", kInOrder, true},
    {"For", kInOrder, true},
    {"Each", kInOrder, true},
    {"Next", kInOrder, true},
    {"Do", kInOrder, true},
    {"Loop", kInOrder, true},
    {"While", kInOrder, true},
    {"Wend", kInOrder, true},
    {"Until", kInOrder, true},
    {"GoTo", kInOrder, true},
    {"GoSub", kInOrder, true},
    {"Return", kInOrder, true},
    {"On", kInOrder, true},
    {"Resume", kInOrder, true},
    {"Exit", kInOrder, true},
    {"End", "a script ends after its last statement", true},
    {"Stop", "a script ends after its last statement", true},
    {"Sub", kOneProcedure, true},
    {"Function", kOneProcedure, true},
    {"Property", kOneProcedure, true},
    {"Call", kOneProcedure, true},
    {"Private", kOneProcedure, true},
    {"Public", kOneProcedure, true},
    {"Static", kOneProcedure, true},
    {"Global", kOneProcedure, true},
    {"Declare", kOneProcedure, true},
    {"Const", "declare a variable with its value instead, as in Dim x As Long = 5", true},
    {"With", "write the variable's name in each statement", true},
    {"Type", "a script declares only the built-in types", true},
    {"Enum", "a script declares only the built-in types", true},
    {"Option", "only Option Explicit is accepted, which a script always follows", true},
    {"Mod", kNoOperators, true},
    {"And", kNoOperators, true},
    {"Or", kNoOperators, true},
    {"Xor", kNoOperators, true},
    {"Not", kNoOperators, true},
    {"Eqv", kNoOperators, true},
    {"Imp", kNoOperators, true},
    {"Like", kNoOperators, true},
    {"Is", kNoOperators, true},
    {"MsgBox", "a script has no windows; Debug.Print VALUE prints a value", false},
    {"InputBox", "a script has no windows; give the value in the script", false},
    {"Len", kFunctions, false},
    {"Left", kFunctions, false},
    {"Mid", kFunctions, false},
    {"Right", kFunctions, false},
    {"UBound", kFunctions, false},
    {"LBound", kFunctions, false},
    {"VarType", kFunctions, false},
    {"TypeName", kFunctions, false},
    {"IsNull", kFunctions, false},
    {"Chr", kFunctions, false},
    {"Asc", kFunctions, false},
    {"Format", kFunctions, false},
    {"Trim", kFunctions, false},
    {"UCase", kFunctions, false},
    {"LCase", kFunctions, false},
    {"InStr", kFunctions, false},
    {"Replace", kFunctions, false},
    {"Space", kFunctions, false},
    {"Hex", kFunctions, false},
    {"Str", kFunctions, false},
    {"Val", kFunctions, false},
    {"IsEmpty", kFunctions, false},
    {"IsArray", kFunctions, false},
    {"Now", kFunctions, false},
    {"Spc", "in Debug.Print, \",\" moves on to the next print zone", false},
    {"Tab", "in Debug.Print, \",\" moves on to the next print zone", false},
    {"VarPtr", "ravoduze --dump ADDR, or :x ADDR in -i, shows memory", false},
    {"StrPtr", "ravoduze --dump ADDR, or :x ADDR in -i, shows memory", false},
    {"ObjPtr", "ravoduze --dump ADDR, or :x ADDR in -i, shows memory", false},
}};

const Unsupported* FindUnsupported(std::string_view word) {
  for (const Unsupported& u : kUnsupported) {
    if (SameWord(u.word, word)) return &u;
  }
  return nullptr;
}

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
  const Unsupported* unsupported = FindUnsupported(word);
  return std::any_of(kKeywords.begin(), kKeywords.end(), same) || TypeNamed(word).has_value() ||
         ConversionNamed(word).has_value() || (unsupported != nullptr && unsupported->reserved);
}

std::optional<std::string> NotSupported(std::string_view word) {
  const Unsupported* unsupported = FindUnsupported(word);
  if (unsupported == nullptr) return std::nullopt;
  return Quote(word) + " is not supported: " + std::string(unsupported->instead);
}

}  // namespace dudUdudADOD::cli
