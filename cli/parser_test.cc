#include "cli/parser.h"

#include <gtest/gtest.h>

#include <string>

#include "automation/variant.h"

namespace dudUdudADOD::cli {
namespace {

using namespace automation;  // NOLINT: type codes

std::string DumpLiteral(const VariantImage& v) {
  switch (v.vt()) {
    case vbInteger:
      return std::to_string(v.integer()) + "%";
    case vbLong:
      return std::to_string(v.long_value()) + "&";
    case vbSingle:
      return std::to_string(v.single()) + "!";
    case vbDouble:
      return std::to_string(v.double_value()) + "#";
    case vbCurrency:
      return std::to_string(v.currency()) + "@";
    case vbDate:
      return "date(" + std::to_string(v.double_value()) + ")";
    case vbBoolean:
      return v.integer() != 0 ? "True" : "False";
    case vbEmpty:
      return "Empty";
    case vbNull:
      return "Null";
    case vbObject:
      return "Nothing";
    default:
      return "?";
  }
}

std::string Dump(const Expr& e);

std::string DumpArgs(const Expr& e) {
  std::string out = "(";
  for (size_t i = 0; i < e.args.size(); ++i) out += (i ? ", " : "") + Dump(e.args[i]);
  return out + ")";
}

std::string Dump(const Expr& e) {
  switch (e.kind) {
    case ExprKind::kLiteral:
      return DumpLiteral(e.literal);
    case ExprKind::kString:
      return "\"" + e.text + "\"";
    case ExprKind::kVariable:
      return e.text;
    case ExprKind::kParen:
      return "(" + Dump(e.args[0]) + ")";
    case ExprKind::kNegate:
      return "-" + Dump(e.args[0]);
    case ExprKind::kConvert:
      return e.text + "[" + std::to_string(e.type) + "]" + DumpArgs(e);
    case ExprKind::kArray:
      return "Array" + DumpArgs(e);
    case ExprKind::kNew:
      return "New " + e.text + (e.args.empty() ? "" : DumpArgs(e));
    case ExprKind::kRawVariant:
      return "RawVariant" + DumpArgs(e);
    case ExprKind::kFileBytes:
      return "FileBytes" + DumpArgs(e);
  }
  return "?";
}

std::string DumpBounds(const std::vector<Bound>& bounds) {
  std::string out = "(";
  for (size_t i = 0; i < bounds.size(); ++i) {
    out += i ? ", " : "";
    if (bounds[i].lower) out += Dump(*bounds[i].lower) + " To ";
    out += Dump(bounds[i].upper);
  }
  return out + ")";
}

std::string Dump(const Declarator& d) {
  std::string out = d.name.text + (d.is_array ? DumpBounds(d.bounds) : "");
  out += " As " + std::to_string(d.type);
  if (d.at) out += " At " + Dump(*d.at);
  if (d.value) out += " = " + Dump(*d.value);
  if (d.has_list) {
    out += " = {";
    for (size_t i = 0; i < d.list.size(); ++i) out += (i ? ", " : "") + Dump(d.list[i]);
    out += "}";
  }
  return out;
}

std::string Dump(const Statement& s) {
  if (const auto* dim = std::get_if<DimStatement>(&s)) {
    std::string out = "Dim ";
    for (size_t i = 0; i < dim->declarators.size(); ++i) {
      out += (i ? ", " : "") + Dump(dim->declarators[i]);
    }
    return out;
  }
  if (const auto* r = std::get_if<ReDimStatement>(&s)) {
    return "ReDim " + r->name.text + DumpBounds(r->bounds);
  }
  if (const auto* e = std::get_if<EraseStatement>(&s)) {
    std::string out = "Erase ";
    for (size_t i = 0; i < e->names.size(); ++i) out += (i ? ", " : "") + e->names[i].text;
    return out;
  }
  if (const auto* a = std::get_if<AssignStatement>(&s)) {
    return a->name.text + " = " + Dump(a->value);
  }
  return Dump(std::get<ExprStatement>(s).value);
}

std::string Dump(const Script& script) {
  std::string out;
  for (const Statement& s : script.statements) out += (out.empty() ? "" : "; ") + Dump(s);
  return out;
}

struct GoodCase {
  const char* source;
  const char* tree;
};

class ParserGood : public testing::TestWithParam<GoodCase> {};

TEST_P(ParserGood, BuildsTree) {
  EXPECT_EQ(Dump(ParseScript(GetParam().source)), GetParam().tree) << GetParam().source;
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, ParserGood,
    testing::Values(
        GoodCase{"Dim x As Long = 5", "Dim x As 3 = 5%"},
        GoodCase{"dim X as LONG at 1243024 = 5", "Dim X As 3 At 1243024& = 5%"},
        GoodCase{"Dim x As Long = 5 At &H12F790", "Dim x As 3 At 1243024& = 5%"},
        GoodCase{"Dim s As String = \"a\"\"b\"", "Dim s As 8 = \"a\"b\""},
        GoodCase{"Dim v", "Dim v As 12"}, GoodCase{"Dim o As Object", "Dim o As 9"},
        GoodCase{"Dim a(1 To 3) As Byte = {1, 2, 3}", "Dim a(1% To 3%) As 17 = {1%, 2%, 3%}"},
        GoodCase{"Dim a(1 To 3) As Byte = {\n  1,\n  2\n}", "Dim a(1% To 3%) As 17 = {1%, 2%}"},
        GoodCase{"Dim e(0 To -1) As Byte = {}", "Dim e(0% To -1%) As 17 = {}"},
        GoodCase{"Dim m(0 To 2, 1 To 4) As Integer", "Dim m(0% To 2%, 1% To 4%) As 2"},
        GoodCase{"Dim b(2) As Long", "Dim b(2%) As 3"}, GoodCase{"Dim d() As Long", "Dim d() As 3"},
        GoodCase{"Dim a As Long, b As String = \"x\"", "Dim a As 3, b As 8 = \"x\""},
        GoodCase{"Dim v = #1/2/2000#", "Dim v As 12 = date(36527.000000)"},
        GoodCase{"x = 5; y = 6: z = 7\n\n", "x = 5%; y = 6%; z = 7%"},
        GoodCase{"Set o = New Foo", "o = New Foo"},
        GoodCase{"let o = new Foo(\"d\")", "o = New Foo(\"d\")"},
        GoodCase{"o = Nothing: b = True: e = Empty: n = Null",
                 "o = Nothing; b = True; e = Empty; n = Null"},
        GoodCase{"ReDim d(1 To 4, 2)", "ReDim d(1% To 4%, 2%)"},
        GoodCase{"Erase a, b", "Erase a, b"}, GoodCase{"CInt(40000)", "CInt[2](40000&)"},
        GoodCase{"cvar(x): CVErr(5): CDec(1)", "cvar[12](x); CVErr[10](5%); CDec[14](1%)"},
        GoodCase{"-x", "-x"}, GoodCase{"+x", "(x)"}, GoodCase{"(x)", "(x)"},
        GoodCase{"- -5", "--5%"}, GoodCase{"-&H8000", "--32768%"},
        GoodCase{"Array(1, Array(), \"s\")", "Array(1%, Array(), \"s\")"},
        GoodCase{"RawVariant(8, 0, 0, 0, -1, &HFFFF&)", "RawVariant(8%, 0%, 0%, 0%, -1%, 65535&)"},
        GoodCase{"' only a comment\n\n;", ""}, GoodCase{"x", "x"}));

struct LiteralCase {
  const char* source;
  uint16_t vt;
  double value;  // the reading for the type, as a double
};

double Reading(const VariantImage& v) {
  switch (v.vt()) {
    case vbInteger:
    case vbBoolean:
      return v.integer();
    case vbLong:
      return v.long_value();
    case vbSingle:
      return v.single();
    case vbCurrency:
      return static_cast<double>(v.currency());
    default:
      return v.double_value();
  }
}

class Literals : public testing::TestWithParam<LiteralCase> {};

TEST_P(Literals, TypeAndValue) {
  const Script script = ParseScript(GetParam().source);
  const Expr& e = std::get<ExprStatement>(script.statements.at(0)).value;
  ASSERT_EQ(e.kind, ExprKind::kLiteral) << GetParam().source;
  EXPECT_EQ(e.literal.vt(), GetParam().vt) << GetParam().source;
  EXPECT_EQ(Reading(e.literal), GetParam().value) << GetParam().source;
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, Literals,
    testing::Values(LiteralCase{"5", vbInteger, 5}, LiteralCase{"-32768", vbInteger, -32768},
                    LiteralCase{"32767", vbInteger, 32767}, LiteralCase{"32768", vbLong, 32768},
                    LiteralCase{"-32769", vbLong, -32769},
                    LiteralCase{"-2147483648", vbLong, -2147483648.0},
                    LiteralCase{"2147483648", vbDouble, 2147483648.0},
                    LiteralCase{"99999999999999999999", vbDouble, 1e20},
                    LiteralCase{"1.5", vbDouble, 1.5}, LiteralCase{"1E3", vbDouble, 1000},
                    LiteralCase{".25", vbDouble, 0.25}, LiteralCase{"5%", vbInteger, 5},
                    LiteralCase{"5&", vbLong, 5}, LiteralCase{"-5&", vbLong, -5},
                    LiteralCase{"1.5!", vbSingle, 1.5}, LiteralCase{"0.1!", vbSingle, 0.1f},
                    LiteralCase{"5#", vbDouble, 5}, LiteralCase{"1E-320#", vbDouble, 1E-320},
                    LiteralCase{"1.5@", vbCurrency, 15000},
                    LiteralCase{"922337203685477.5807@", vbCurrency, 9223372036854775807.0},
                    LiteralCase{"-922337203685477.5808@", vbCurrency, -9223372036854775808.0},
                    LiteralCase{"0.00005@", vbCurrency, 0}, LiteralCase{"0.00015@", vbCurrency, 2},
                    LiteralCase{"0.000051@", vbCurrency, 1}, LiteralCase{"1E-4@", vbCurrency, 1},
                    LiteralCase{"12E2@", vbCurrency, 12000000}, LiteralCase{"&HFF", vbInteger, 255},
                    LiteralCase{"&HFFFF", vbInteger, -1}, LiteralCase{"&H8000", vbInteger, -32768},
                    LiteralCase{"&H10000", vbLong, 65536}, LiteralCase{"&HFFFF&", vbLong, 65535},
                    LiteralCase{"&HFFFFFFFF", vbLong, -1}, LiteralCase{"&h7f%", vbInteger, 127},
                    LiteralCase{"&O17", vbInteger, 15}, LiteralCase{"#12:00:00 PM#", vbDate, 0.5},
                    LiteralCase{"True", vbBoolean, -1}));

struct BadCase {
  std::string source;
  int line;
  int column;
  std::string message;
};

class ParserBad : public testing::TestWithParam<BadCase> {};

TEST_P(ParserBad, FailsAtPosition) {
  const BadCase& c = GetParam();
  try {
    ParseScript(c.source);
    FAIL() << "no error for " << c.source;
  } catch (const ScriptError& e) {
    EXPECT_EQ(std::to_string(e.position().line) + ":" + std::to_string(e.position().column) + ": " +
                  e.what(),
              std::to_string(c.line) + ":" + std::to_string(c.column) + ": " + c.message)
        << c.source;
  }
}

const std::string kTypes =
    "Integer, Long, Single, Double, Currency, Date, String, Boolean, Byte, Variant or Object";

std::string Nested(int levels, const std::string& open, const std::string& close) {
  std::string s = "x = ";
  for (int i = 0; i < levels; ++i) s += open;
  s += "1";
  for (int i = 0; i < levels; ++i) s += close;
  return s;
}

std::string Dimensions(int count) {
  std::string s = "Dim a(";
  for (int i = 0; i < count; ++i) s += i ? ",1" : "1";
  return s + ") As Byte";
}

INSTANTIATE_TEST_SUITE_P(
    Statements, ParserBad,
    testing::Values(
        BadCase{"Dim a(1 3) As Byte", 1, 9,
                "expected \"To\", \",\" or \")\" after the lower bound, found \"3\""},
        BadCase{"Dim a(1 To 3 4)", 1, 14,
                "expected \",\" or \")\" after the upper bound, found \"4\""},
        BadCase{"Dim a(1 To)", 1, 11, "expected a value, found \")\""},
        BadCase{"Dim", 1, 4, "expected a variable name, found end of script"},
        BadCase{"Dim 5", 1, 5, "expected a variable name, found \"5\""},
        BadCase{"Dim long As Long", 1, 5, "\"long\" is a reserved word and cannot name a variable"},
        BadCase{"Dim x As Foo", 1, 10, "unknown type \"Foo\" (expected " + kTypes + ")"},
        BadCase{"Dim x As\nx = 1", 1, 9,
                "expected a type after \"As\" (" + kTypes + "), found end of line"},
        BadCase{"Dim x As Long = 5 = 6", 1, 19, "an initial value is given twice for \"x\""},
        BadCase{"Dim x At 1 At 2", 1, 12, "\"At\" is given twice for \"x\""},
        BadCase{"Dim a(1 To 3) As Byte = {1, 2", 1, 30,
                "expected \",\" or \"}\" in the list of values that opens at line 1, column 25, "
                "found end of script"},
        BadCase{"Dim a(1) = {1 2}", 1, 15,
                "expected \",\" or \"}\" in the list of values that opens at line 1, column 12, "
                "found \"2\""},
        BadCase{"Dim x As Long y", 1, 15, "expected end of statement, found \"y\""},
        BadCase{"x = 1 + 2", 1, 7,
                "expected end of statement (a script has no arithmetic), found \"+\""},
        BadCase{"x = Foo(1)", 1, 5, "unknown function \"Foo\""},
        BadCase{"x = CInt(1, 2)", 1, 5, "CInt takes one value"},
        BadCase{"x = CLng()", 1, 5, "CLng takes one value"},
        BadCase{"x = CInt 1", 1, 10, "expected \"(\" after CInt, found \"1\""},
        BadCase{"x = RawVariant(1, 2)", 1, 5,
                "RawVariant takes 6 values: vt, reserved1, reserved2, reserved3, low32, high32"},
        BadCase{"x = New Foo(1, 2)", 1, 9,
                "\"New Foo(...)\" takes one value: the object's default value"},
        BadCase{"x = New", 1, 8, "expected a class name after \"New\", found end of script"},
        BadCase{"x = Array(1; 2)", 1, 12,
                "expected \",\" or \")\" after a value of Array, found \";\""},
        BadCase{"x = (1", 1, 7,
                "expected \")\" to close the \"(\" at line 1, column 5, found end of script"},
        BadCase{"x = ", 1, 5, "expected a value, found end of script"},
        BadCase{"x = To", 1, 5, "expected a value, found \"To\""},
        BadCase{"ReDim Preserve d(3)", 1, 7,
                "ReDim Preserve is not supported: ReDim gives the array new, zero-filled storage"},
        BadCase{"ReDim d", 1, 8,
                "expected \"(\" and the new bounds after \"d\", found end of script"},
        BadCase{"Erase", 1, 6, "expected the name of an array, found end of script"},
        BadCase{"Set = 5", 1, 5, "expected a variable name, found \"=\""},
        BadCase{"Set x 5", 1, 7, "expected \"=\" after \"x\", found \"5\""},
        BadCase{"Rem old style", 1, 1, "comments start with ' (Rem is not supported)"},
        BadCase{"Dim x As Long\n\n  Dim y As Foo", 3, 12,
                "unknown type \"Foo\" (expected " + kTypes + ")"},
        BadCase{"x = 40000%", 1, 5, "the number 40000% does not fit an Integer (-32768 to 32767)"},
        BadCase{"x = -32769%", 1, 6,
                "the number -32769% does not fit an Integer (-32768 to 32767)"},
        BadCase{"x = 3000000000&", 1, 5,
                "the number 3000000000& does not fit a Long (-2147483648 to 2147483647)"},
        BadCase{"x = 1.5%", 1, 5,
                "the number 1.5% must be a whole number written with digits only for its suffix %"},
        BadCase{"x = 1E39!", 1, 5, "the number 1E39! does not fit a Single"},
        BadCase{"x = 1E309", 1, 5, "the number 1E309 is too large"},
        BadCase{"x = 1E15@", 1, 5,
                "the number 1E15@ does not fit a Currency (-922337203685477.5808 to "
                "922337203685477.5807)"},
        BadCase{"x = &H100000000", 1, 5,
                "the number &H100000000 is too large: at most 32 bits (&HFFFFFFFF)"},
        BadCase{"x = &HFF!", 1, 5, "a hexadecimal or octal number takes only the suffix % or &"},
        BadCase{"x = &H10000%", 1, 5, "the number &H10000% does not fit an Integer (&HFFFF)"},
        BadCase{"x = #13/45/2000#", 1, 5,
                "\"#13/45/2000#\" is not a date: write #M/D/YYYY#, #H:MM:SS AM# or both, as in "
                "#1/2/2000 3:04:05 AM#"},
        BadCase{Nested(65, "(", ")"), 1, 69,
                "expression nested too deeply: at most 64 levels of parentheses, calls and "
                "signs"},
        BadCase{Nested(65, "Array(", ")"), 1, 5 + 64 * 6 + 5,
                "expression nested too deeply: at most 64 levels of parentheses, calls and "
                "signs"},
        BadCase{Nested(65, "-", ""), 1, 69,
                "expression nested too deeply: at most 64 levels of parentheses, calls and "
                "signs"},
        BadCase{Dimensions(61), 1, 127, "too many dimensions: an array has at most 60"},
        // Huge text is cut in messages.
        BadCase{"x = " + std::string(1000, '9') + "%", 1, 5,
                "the number " + std::string(32, '9') +
                    "... does not fit an Integer (-32768 to "
                    "32767)"},
        BadCase{"Dim " + std::string(1000, 'a') + " As Foo" + std::string(1000, 'o'), 1, 1009,
                "unknown type \"Foo" + std::string(29, 'o') + "...\" (expected " + kTypes + ")"}));

TEST(ParserLimits, SixtyFourLevelsAndSixtyDimensionsAreFine) {
  EXPECT_EQ(ParseScript(Nested(64, "(", ")")).statements.size(), 1u);
  EXPECT_EQ(ParseScript(Nested(64, "CVar(", ")")).statements.size(), 1u);
  const Script script = ParseScript(Dimensions(60));
  EXPECT_EQ(std::get<DimStatement>(script.statements[0]).declarators[0].bounds.size(), 60u);
}

TEST(ParserLimits, DeepNestingFailsWithoutExhaustingTheStack) {
  EXPECT_THROW(ParseScript(Nested(1000000, "(", ")")), ScriptError);
  EXPECT_THROW(ParseScript(Nested(1000000, "-", "")), ScriptError);
}

TEST(ReservedWords, IncludeKeywordsTypesAndFunctions) {
  for (const char* word : {"dim", "TO", "At", "Long", "variant", "CInt", "Array", "RawVariant"}) {
    EXPECT_TRUE(IsReservedWord(word)) << word;
  }
  for (const char* word : {"x", "Foo", "Dimension", "Longs"}) {
    EXPECT_FALSE(IsReservedWord(word)) << word;
  }
}

}  // namespace
}  // namespace dudUdudADOD::cli
