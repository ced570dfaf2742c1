#include "cli/script/parser.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "automation/variant.h"
#include "testutil/script_error_text.h"

namespace dudUdudADOD::cli {
namespace {

using namespace automation;  // type codes
using testutil::ErrorTextOf;

// The tree as text: types as their codes, numbers with a mark of their type
// (5% 5& 1.5! 1.5# 15000@ for Currency, 0.5d for a Date), calls as
// NAME[type](...).
std::string Dump(const Expr& e);

std::string LiteralText(const VariantImage& v) {
  const uint16_t vt = v.vt();
  if (vt == vbCurrency) return std::to_string(v.currency()) + "@";  // exact to its limits
  if (vt >= vbInteger && vt <= vbDate) {
    const double reading = vt == vbInteger  ? v.integer()
                           : vt == vbLong   ? v.long_value()
                           : vt == vbSingle ? v.single()
                                            : v.double_value();
    char text[40];
    std::snprintf(text, sizeof text, "%.17g%c", reading, "%&!#@d"[vt - vbInteger]);
    return text;
  }
  if (vt == vbBoolean) return v.integer() ? "True" : "False";
  return vt == vbEmpty ? "Empty" : vt == vbNull ? "Null" : "Nothing";
}

std::string DumpList(const std::vector<Expr>& list, const char* open, const char* close) {
  std::string out = open;
  for (size_t i = 0; i < list.size(); ++i) out += (i ? ", " : "") + Dump(list[i]);
  return out + close;
}

std::string Dump(const Expr& e) {
  switch (e.kind) {
    case ExprKind::kLiteral:
      return LiteralText(e.literal);
    case ExprKind::kString:
      return "\"" + e.text + "\"";
    case ExprKind::kVariable:
      return e.text;
    case ExprKind::kParen:
      return "(" + Dump(e.args[0]) + ")";
    case ExprKind::kNegate:
      return "-" + Dump(e.args[0]);
    case ExprKind::kConvert:
      return e.text + "[" + std::to_string(e.type) + "]" + DumpList(e.args, "(", ")");
    case ExprKind::kNew:
      return "New " + e.text + (e.args.empty() ? "" : DumpList(e.args, "(", ")"));
    case ExprKind::kConcat: {
      std::string out = Dump(e.args[0]);
      for (size_t i = 1; i < e.args.size(); ++i) out += " & " + Dump(e.args[i]);
      return out;
    }
    default:  // Array, RawVariant, FileBytes
      return e.text + DumpList(e.args, "(", ")");
  }
}

std::string Dump(const std::vector<Bound>& bounds) {
  std::string out = "(";
  for (size_t i = 0; i < bounds.size(); ++i) {
    out += (i ? ", " : "") + (bounds[i].lower ? Dump(*bounds[i].lower) + " To " : "");
    out += Dump(bounds[i].upper);
  }
  return out + ")";
}

std::string Dump(const Statement& s) {
  if (const auto* dim = std::get_if<DimStatement>(&s)) {
    std::string out = "Dim";
    for (const Declarator& d : dim->declarators) {
      out += (&d == &dim->declarators[0] ? " " : ", ") + d.name.text;
      out += (d.is_array ? Dump(d.bounds) : "") + " As " + std::to_string(d.type);
      if (d.fixed_length != 0) out += " * " + std::to_string(d.fixed_length);
      if (d.at) out += " At " + Dump(*d.at);
      if (d.value) out += " = " + Dump(*d.value);
      if (d.has_list) out += " = " + DumpList(d.list, "{", "}");
    }
    return out;
  }
  if (const auto* r = std::get_if<ReDimStatement>(&s))
    return "ReDim " + r->name.text + Dump(r->bounds);
  if (const auto* e = std::get_if<EraseStatement>(&s)) {
    std::string out = "Erase";
    for (const Name& name : e->names) out += (&name == &e->names[0] ? " " : ", ") + name.text;
    return out;
  }
  if (const auto* a = std::get_if<AssignStatement>(&s))
    return a->name.text + " = " + Dump(a->value);
  if (const auto* p = std::get_if<PrintStatement>(&s)) {
    std::string out = "Print";
    for (const PrintItem& item : p->items) {
      out += " [" + (item.value ? Dump(*item.value) : "") + "]";
      if (item.separator != 0) out += item.separator;
    }
    return out;
  }
  return Dump(std::get<ExprStatement>(s).value);
}

std::string Dump(const Script& script) {
  std::string out;
  for (const Statement& s : script.statements) out += (out.empty() ? "" : "; ") + Dump(s);
  return out;
}

TEST(Parser, BuildsTrees) {
  const struct {
    const char* source;
    const char* tree;
  } cases[] = {
      {"dim X as LONG at 1243024 = 5", "Dim X As 3 At 1243024& = 5%"},
      {"Dim x As Long = 5 At &H12F790", "Dim x As 3 At 1243024& = 5%"},
      {"Dim Longs, o As Object, s As String = \"x\"", "Dim Longs As 12, o As 9, s As 8 = \"x\""},
      {"Dim a(1 To 3) As Byte = {\n  1,\n  2\n}", "Dim a(1% To 3%) As 17 = {1%, 2%}"},
      {"Dim e(0 To -1) As Byte = {}", "Dim e(0% To -1%) As 17 = {}"},
      {"Dim m(0 To 2, 1 To 4) As Integer, b(2) As Long, d() As Long",
       "Dim m(0% To 2%, 1% To 4%) As 2, b(2%) As 3, d() As 3"},
      {"x = 5; y = 6: z = 7\n\n", "x = 5%; y = 6%; z = 7%"},
      {"Set o = New Foo: let p = new Foo(\"d\")\no = Nothing: b = True: e = Empty: n = Null",
       "o = New Foo; p = New Foo(\"d\"); o = Nothing; b = True; e = Empty; n = Null"},
      {"ReDim d(1 To 4, 2): Erase a, b", "ReDim d(1% To 4%, 2%); Erase a, b"},
      {"CInt(40000): cvar(x): CVErr(5): CDec(1)",
       "CInt[2](40000&); cvar[12](x); CVErr[10](5%); CDec[14](1%)"},
      // A sign folds into the number after it, not into a hexadecimal one.
      {"-x: +x: (x): - -5: -&H8000", "-x; (x); (x); --5%; --32768%"},
      {"Array(1, Array(), \"s\")", "Array(1%, Array(), \"s\")"},
      {"RawVariant(8, 0, 0, 0, -1, &HFFFF&)", "RawVariant(8%, 0%, 0%, 0%, -1%, 65535&)"},
      {"' only a comment\n\n;", ""},
      // Numbers take the narrowest type their suffix allows.
      {"-32768: 32767: 32768: -32769: -2147483648: 2147483648: 99999999999999999999: 1E3",
       "-32768%; 32767%; 32768&; -32769&; -2147483648&; 2147483648#; 1e+20#; 1000#"},
      {"5%: 5&: 0.1!: 5#: 1E-320#: #12:00:00 PM#: True",
       "5%; 5&; 0.10000000149011612!; 5#; 9.9998886718268301e-321#; 0.5d; True"},
      {"&HFFFF: &H10000: &HFFFF&: &HFFFFFFFF: &h7f%: &O17", "-1%; 65536&; 65535&; -1&; 127%; 15%"},
      // Currency is exact to its limits and rounds half to even in the fifth decimal.
      {"922337203685477.5807@: -922337203685477.5808@: 1.5@: 12E2@",
       "9223372036854775807@; -9223372036854775808@; 15000@; 12000000@"},
      {"0.00005@: 0.00015@: 0.000051@: 1E-4@", "0@; 2@; 1@; 1@"},
      // & joins any number of values, binding looser than a sign.
      {"x = \"a\" & -b & (c & 1)", "x = \"a\" & -b & (c & 1%)"},
      {"Dim s As String * 10 = \"x\" & y, t As string*1",
       "Dim s As 8 * 10 = \"x\" & y, t As 8 * 1"},
      // Debug.Print: ";" and "," separate the values, ":" ends the statement.
      {"Debug.Print: debug . print x; \"a\" & 1, : Debug.Print ,;x y",
       "Print; Print [x]; [\"a\" & 1%],; Print [], []; [x]; [y]"},
      {"Option Explicit\nDim x", "Dim x As 12"},
  };
  for (const auto& c : cases) EXPECT_EQ(Dump(ParseScript(c.source)), c.tree) << c.source;
}

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

TEST(Parser, ErrorsSayWhereWhatWasExpectedAndWhatWasFound) {
  const std::string types =
      "Integer, Long, LongLong, LongPtr, Single, Double, Currency, Date, String, Boolean, Byte, "
      "Variant or Object";
  const std::string too_deep =
      "expression nested too deeply: at most 64 levels of parentheses, calls and signs";
  const std::string no_operators =
      "a script has no arithmetic, comparisons or logic; & joins values as text";
  const std::string in_order =
      "a script runs each statement once, in order: it has no conditions, loops or jumps";
  const struct {
    std::string source;
    std::string error;
  } cases[] = {
      {"Dim a(1 3) As Byte",
       "1:9: expected \"To\", \",\" or \")\" after the lower bound, found \"3\""},
      {"Dim a(1 To 3 4)", "1:14: expected \",\" or \")\" after the upper bound, found \"4\""},
      {"Dim a(1 To)", "1:11: expected a value, found \")\""},
      {"x = To", "1:5: expected a value, found \"To\""},
      {"Dim 5", "1:5: expected a variable name, found \"5\""},
      {"Dim long As Long", "1:5: \"long\" is a reserved word and cannot name a variable"},
      {"Dim x As Foo", "1:10: unknown type \"Foo\" (expected " + types + ")"},
      // A slip of the keyboard gets the word it was meant to be.
      {"Dim x As Lnog", "1:10: unknown type \"Lnog\" (did you mean \"Long\"?)"},
      {"Dmi x As Long",
       "1:1: unknown statement \"Dmi\" (did you mean \"Dim\"?): a statement is Dim, ReDim, Erase, "
       "an assignment or a value"},
      {"Print x",
       "1:1: to print a value's text, write Debug.Print VALUE; to inspect it, the name or value "
       "alone as the last statement (in -i, ? VALUE prints a report)"},
      {"Dim a(3) As New Foo",
       "1:13: an array cannot be declared As New: declare it As Object and Set each element to "
       "New CLASS"},
      {"Dim o As New Foo = Nothing",
       "1:14: \"o\" is declared As New, which gives it its object: it takes no initial value"},
      {"a(1 = 2", "1:5: expected \",\" or \")\" after a value of a, found \"=\""},
      {"Dim x As\nx = 1", "1:9: expected a type after \"As\" (" + types + "), found end of line"},
      {"Dim x As Long = 5 = 6", "1:19: an initial value is given twice for \"x\""},
      {"Dim x At 1 At 2", "1:12: \"At\" is given twice for \"x\""},
      {"Dim a(1 To 3) As Byte = {1, 2",
       "1:30: expected \",\" or \"}\" in the list of values that opens at line 1, column 25, "
       "found end of script"},
      {"Dim x As Long y", "1:15: expected end of statement, found \"y\""},
      {"x = 1 + 2", "1:7: the operator \"+\" is not supported: " + no_operators},
      {"x = CLng()", "1:5: CLng takes one value"},
      {"x = CInt 1", "1:10: expected \"(\" after CInt, found \"1\""},
      {"x = RawVariant(1, 2)",
       "1:5: RawVariant takes 6 values: vt, reserved1, reserved2, reserved3, low32, high32"},
      {"x = New Foo(1, 2)", "1:9: \"New Foo(...)\" takes one value: the object's default value"},
      {"x = New", "1:8: expected a class name after \"New\", found end of script"},
      {"x = Array(1; 2)", "1:12: expected \",\" or \")\" after a value of Array, found \";\""},
      {"x = (1", "1:7: expected \")\" to close the \"(\" at line 1, column 5, found end of script"},
      {"ReDim d", "1:8: expected \"(\" and the new bounds after \"d\", found end of script"},
      {"Erase", "1:6: expected the name of an array, found end of script"},
      {"Set x 5", "1:7: expected \"=\" after \"x\", found \"5\""},
      {"Rem old style", "1:1: comments start with ' (Rem is not supported)"},
      // What the language scripts come from has and a script does not: said by name.
      {"For i = 1 To 3", "1:1: \"For\" is not supported: " + in_order},
      {"Dim x As Long: If x Then", "1:16: \"If\" is not supported: " + in_order},
      {"Sub Main()",
       "1:1: \"Sub\" is not supported: a script is the body of one procedure: write its "
       "statements alone"},
      {"Const n = 5",
       "1:1: \"Const\" is not supported: declare a variable with its value instead, as in Dim x "
       "As Long = 5"},
      {"With x", "1:1: \"With\" is not supported: write the variable's name in each statement"},
      {"Option Base 1",
       "1:1: \"Option\" is not supported: only Option Explicit is accepted, which a script "
       "always follows"},
      {"MsgBox \"hi\"",
       "1:1: \"MsgBox\" is not supported: a script has no windows; Debug.Print VALUE prints a "
       "value"},
      {"Dim for As Long", "1:5: \"for\" is a reserved word and cannot name a variable"},
      {"x = Not y", "1:5: \"Not\" is not supported: " + no_operators},
      {"x = a Mod 2", "1:7: \"Mod\" is not supported: " + no_operators},
      {"x = a * 2", "1:7: the operator \"*\" is not supported: " + no_operators},
      {"x = a <> b", "1:7: the operator \"<>\" is not supported: " + no_operators},
      {"Dim v = Array(1 - 2)", "1:17: the operator \"-\" is not supported: " + no_operators},
      {"x = o.Name",
       "1:6: \".\" is not supported: a script's values have no members (of the X.Y forms, a "
       "script has Debug.Print)"},
      {"x = \"a\" &", "1:10: expected a value, found end of script"},
      {"Debug.Assert x", "1:7: \"Debug.Assert\" is not supported: Debug.Print is"},
      {"Debug.", "1:7: expected \"Print\" after \"Debug.\", found end of script"},
      {"Debug.Print 1 2 +", "1:17: the operator \"+\" is not supported: " + no_operators},
      // Fixed-length strings: a String, one variable, a length in range.
      {"Dim s As Long * 5", "1:15: only a String has a fixed length, as in Dim s As String * 10"},
      {"Dim s(3) As String * 5",
       "1:20: arrays of fixed-length strings are not supported: declare the array As String, or "
       "one String * N variable"},
      {"Dim s As String * n", "1:19: expected the length after \"String *\", found \"n\""},
      {"Dim s As String * 0",
       "1:19: the length of a fixed-length String must be a whole number from 1 to 65535"},
      {"Dim s As String * 65536",
       "1:19: the length of a fixed-length String must be a whole number from 1 to 65535"},
      {"Dim s As String * 1.5",
       "1:19: the length of a fixed-length String must be a whole number from 1 to 65535"},
      // Numbers that do not fit what they are written as; a long one is cut.
      {"x = -32769%", "1:6: the number -32769% does not fit an Integer (-32768 to 32767)"},
      {"x = " + std::string(1000, '9') + "%",
       "1:5: the number " + std::string(32, '9') + "... does not fit an Integer (-32768 to 32767)"},
      {"x = 3000000000&",
       "1:5: the number 3000000000& does not fit a Long (-2147483648 to 2147483647)"},
      {"x = 1.5%",
       "1:5: the number 1.5% must be a whole number written with digits only for its suffix %"},
      {"x = 1E39!", "1:5: the number 1E39! does not fit a Single"},
      {"x = 1E309", "1:5: the number 1E309 is too large"},
      {"x = 1E15@",
       "1:5: the number 1E15@ does not fit a Currency (-922337203685477.5808 to "
       "922337203685477.5807)"},
      {"x = &H100000000", "1:5: the number &H100000000 is too large: at most 32 bits (&HFFFFFFFF)"},
      {"x = &HFF!", "1:5: a hexadecimal or octal number takes only the suffix %, & or ^"},
      {"x = &H10000%", "1:5: the number &H10000% does not fit an Integer (&HFFFF)"},
      {"x = #13/45/2000#",
       "1:5: \"#13/45/2000#\" is not a date: write #M/D/YYYY#, #H:MM:SS AM# or both, as in "
       "#1/2/2000 3:04:05 AM#"},
      // Limits: 64 levels of nesting, 60 dimensions.
      {Nested(65, "(", ")"), "1:69: " + too_deep},
      {Nested(65, "Array(", ")"), "1:394: " + too_deep},
      {Nested(65, "-", ""), "1:69: " + too_deep},
      {Dimensions(61), "1:127: too many dimensions: an array has at most 60"},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorTextOf([&] { ParseScript(c.source); }), c.error);
  // LongLong literals, which only a 64-bit platform has.
  const struct {
    std::string source;
    std::string error;
  } wide[] = {
      {"x = 1.5^",
       "1:5: the number 1.5^ must be a whole number written with digits only for its suffix ^"},
      {"x = 9223372036854775808^",
       "1:5: the number 9223372036854775808^ does not fit a LongLong (-9223372036854775808 to "
       "9223372036854775807)"},
      {"x = &H10000000000000000^",
       "1:5: the number &H10000000000000000^ is too large: at most 64 bits (&HFFFFFFFFFFFFFFFF)"},
  };
  for (const auto& c : wide) {
    EXPECT_EQ(ErrorTextOf([&] { ParseScript(c.source, automation::Platform::kWin64); }), c.error);
  }
}

TEST(Parser, LimitsAreReachedExactlyAndDeepNestingNeverExhaustsTheStack) {
  EXPECT_EQ(ParseScript(Nested(64, "(", ")")).statements.size(), 1u);
  EXPECT_EQ(ParseScript(Nested(64, "CVar(", ")")).statements.size(), 1u);
  const Script script = ParseScript(Dimensions(60));
  EXPECT_EQ(std::get<DimStatement>(script.statements[0]).declarators[0].bounds.size(), 60u);
  EXPECT_THROW(ParseScript(Nested(1000000, "(", ")")), ScriptError);
  EXPECT_THROW(ParseScript(Nested(1000000, "-", "")), ScriptError);
}

// The tree a script makes is bounded whatever its shape, the most tree for
// the fewest bytes included: statements of one name, a list of one-digit
// values, declarators without types, names to erase. Each shape that
// fills the budget is refused at the value that passes it.
TEST(Parser, TheTreeOfAnyScriptIsBounded) {
  const struct {
    std::string head;
    std::string item;
  } shapes[] = {{"", "x:"}, {"Dim a(0 To 9) = {", "1,"}, {"Dim ", "a,"}, {"Erase ", "a,"}};
  for (const auto& shape : shapes) {
    std::string source = shape.head;
    while (source.size() < (size_t{1} << 20)) source += shape.item;
    source += "1";
    const std::string error = ErrorTextOf([&] { ParseScript(source); });
    EXPECT_NE(error.find(": the script is too large: its statements and values take more than "
                         "16 MiB to hold (FileBytes fills a large array from a file)"),
              std::string::npos)
        << shape.item << ": " << error.substr(0, 200);
  }
  // A string literal counts as the model will hold it, in UTF-16.
  const std::string half(size_t{8} << 20, 'y');
  EXPECT_NE(ErrorTextOf([&] { ParseScript("x = \"" + half + "\""); }).find("too large"),
            std::string::npos);
  EXPECT_EQ(ErrorTextOf([&] { ParseScript("x = \"" + half.substr(0, 4 << 20) + "\""); }),
            "no error");
  // A long script of ordinary size is still read whole.
  std::string fine;
  for (int i = 0; i < 20000; ++i) fine += "Dim x" + std::to_string(i) + " As Long = " + "5\n";
  EXPECT_EQ(ParseScript(fine).statements.size(), 20000u);
}

}  // namespace
}  // namespace dudUdudADOD::cli
