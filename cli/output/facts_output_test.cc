// The structured twin against the text it twins, and its JSON read back by
// an independent parser.
#include "cli/output/facts_output.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "automation/runtime_error.h"
#include "automation/utf8.h"
#include "cli/output/svg_picture.h"
#include "cli/program/run.h"
#include "cli/script/interpreter.h"
#include "cli/script/parser.h"
#include "inspector/ravoduze.h"

#ifdef DUD_HAVE_NLOHMANN_JSON
#include <nlohmann/json.hpp>
#endif

namespace dudUdudADOD::cli {
namespace {

using automation::ToUtf8;

// Scripts covering every kind of variable the language declares.
const char* const kScripts[] = {
    "Dim x As Long = 5",
    "Dim b As Byte = 200",
    "Dim s As String = \"hello\"",
    "Dim d As Date = #1/2/2000 3:04:05 AM#",
    "Dim c As Currency = 2.5@",
    "Dim f As Boolean = True",
    "Dim v = 3.25",
    "Dim v = \"text in a Variant\"",
    "Dim a(1 To 3) As Long = {7, 8, 9}",
    "Dim m(1 To 2, 0 To 2, 1 To 2) As Integer = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}",
    "Dim s(1 To 3) As String = {\"ab\", \"\", \"ab\"}",
    "Dim v = Array(1, \"two\", Array(3))",
    "Dim w(0 To 1) As Variant = {\"x\", 2.5}",
    "Dim g(1 To 3) As Byte = {65, 66, 67}",
    "Dim e() As Long\nReDim e(2 To 4)",
    "Dim a(&H7FFFFFFE To &H7FFFFFFF) As Long",
};

struct Twin {
  std::string text;  // the report, or empty when it failed
  int text_error = 0;
  ReportFacts facts;
};

Twin Inspect(const std::string& script, std::optional<int32_t> var_flags = std::nullopt) {
  automation::Process process;
  Interpreter interpreter(process);
  const automation::Address arg = interpreter.Run(ParseScript(script));
  RavoDUZE inspector(process);
  Twin twin;
  try {
    twin.text = ToUtf8(inspector(arg, std::nullopt, var_flags));
  } catch (const dudUdudADOD::RuntimeError& e) {
    twin.text_error = e.number();
  }
  twin.facts = inspector.Facts(arg, var_flags);
  return twin;
}

void AddNumbersIn(std::set<int64_t>& numbers, const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    const bool minus = text[i] == '-' && i + 1 < text.size() &&
                       std::isdigit(static_cast<unsigned char>(text[i + 1]));
    if (!minus && !std::isdigit(static_cast<unsigned char>(text[i]))) {
      ++i;
      continue;
    }
    size_t end = i + (minus ? 1 : 0);
    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
    numbers.insert(std::stoll(text.substr(i, end - i)));
    i = end;
  }
}

// Every number the twin holds, addresses also as the text writes them
// (signed 32-bit), and the numbers inside its texts.
std::set<int64_t> TwinNumbers(const ReportFacts& f) {
  std::set<int64_t> n;
  const auto address = [&](int64_t a) {
    n.insert(a);
    n.insert(static_cast<int32_t>(static_cast<uint32_t>(a)));
  };
  const auto rows = [&](const SectionFact& s) {
    address(s.address);
    for (const FieldFact& r : s.rows) {
      address(r.address);
      n.insert(r.size);
      if (r.number) n.insert(*r.number);
      if (r.text) AddNumbersIn(n, ToUtf8(*r.text));
      for (const uint8_t b : r.bytes) n.insert(b);
    }
  };
  if (f.variant) rows(*f.variant);
  if (f.variable) {
    rows(f.variable->section);
    AddNumbersIn(n, ToUtf8(f.variable->type_name));
  }
  if (f.descriptor) {
    rows(f.descriptor->section);
    for (const BoundFact& b : f.descriptor->bounds) {
      n.insert({b.entry, b.elements, b.lower, b.upper});
    }
  }
  if (f.values_header) {
    n.insert({static_cast<int64_t>(f.values_header->elements), f.values_header->bytes});
    address(f.values_header->entry);
  }
  for (const ElementFact& e : f.elements) {
    AddNumbersIn(n, ToUtf8(e.label + e.value));
    if (e.string_address) address(*e.string_address);
    if (e.string_bytes) n.insert(*e.string_bytes);
  }
  return n;
}

// The numbers of a report: table lines cell by cell (a value wider than its
// column is cut by the next one, which must not glue two numbers together),
// the values section whole.
std::set<int64_t> TextNumbers(const std::string& text) {
  static const std::vector<size_t> kFieldColumns = {0, 15, 31, 47, 63, 71, 87};
  static const std::vector<size_t> kBoundColumns = {0, 15, 31, 47, 63};
  std::set<int64_t> numbers;
  std::istringstream lines(text);
  bool values = false;
  bool bounds = false;
  for (std::string line; std::getline(lines, line);) {
    values = values || line.rfind("/// VALUE", 0) == 0;
    bounds = (bounds || line.rfind("Entry          Bound", 0) == 0) && line.rfind("///", 0) != 0;
    if (values) {
      AddNumbersIn(numbers, line);
      continue;
    }
    const std::vector<size_t>& columns = bounds ? kBoundColumns : kFieldColumns;
    for (size_t c = 0; c < columns.size() && columns[c] < line.size(); ++c) {
      const size_t end = c + 1 < columns.size() ? columns[c + 1] : line.size();
      AddNumbersIn(numbers, line.substr(columns[c], end - columns[c]));
    }
  }
  return numbers;
}

TEST(FactsTest, EveryNumberOfTheTextIsInTheTwin) {
  for (const char* script : kScripts) {
    Twin twin = Inspect(script);
    // A Variant holding an array has no text for the argument's Value row.
    if (twin.text_error == 13) twin = Inspect(script, varALLINFO & ~varARG);
    ASSERT_EQ(twin.text_error, 0) << script;
    ASSERT_FALSE(twin.facts.error) << script << ": " << twin.facts.error->step;
    std::set<int64_t> in_twin = TwinNumbers(twin.facts);
    for (const ElementFact& e : twin.facts.elements) {
      if (e.string_bytes) in_twin.insert(*e.string_bytes / 2);  // the text may count characters
    }
    for (const int64_t number : TextNumbers(twin.text)) {
      EXPECT_TRUE(in_twin.count(number) != 0) << script << ": " << number << " is not in the twin";
    }
    ASSERT_TRUE(twin.facts.footprint) << script;
    EXPECT_GT(twin.facts.footprint->total, 0u);
  }
}

// A call that fails fails in its twin too, with the same error, after the
// facts of the steps before it.
TEST(FactsTest, ErrorsAreTheTextsWithTheStepThatRaisedThem) {
  const struct {
    const char* script;
    int32_t var_flags;
    int number;
    const char* step;
  } cases[] = {
      {"Dim v", varALLINFO, 9, "variant argument"},        // Empty: no byte to dump
      {"Dim v = Null", varDef, 94, "variable"},            // no text for Null
      {"Dim d() As Long", varValues, 6, "values header"},  // 0 / 0 elements
      {"Dim v = RawVariant(16387, 0, 0, 0, 16, 0)", varValues, 5, "values"},
  };
  for (const auto& c : cases) {
    const Twin twin = Inspect(c.script, c.var_flags);
    EXPECT_EQ(twin.text_error, c.number) << c.script;
    ASSERT_TRUE(twin.facts.error) << c.script;
    EXPECT_EQ(twin.facts.error->number, c.number) << c.script;
    EXPECT_EQ(twin.facts.error->step, c.step) << c.script;
    EXPECT_FALSE(twin.facts.footprint) << "nothing after the error";
  }
}

TEST(FactsTest, ElementsCarryIndexPositionAndStrings) {
  const ReportFacts f =
      Inspect("Dim m(1 To 2, 5 To 6) As String = {\"a\", \"bb\", \"\", \"dddd\"}").facts;
  ASSERT_EQ(f.elements.size(), 4u);
  EXPECT_EQ(f.elements[1].index, (std::vector<int32_t>{2, 5})) << "first dimension fastest";
  EXPECT_EQ(f.elements[2].index, (std::vector<int32_t>{1, 6}));
  EXPECT_EQ(f.elements[2].label, u"[1,6]");
  EXPECT_EQ(f.elements[3].position, 4);
  EXPECT_EQ(f.elements[3].value, u"dddd");
  EXPECT_EQ(f.elements[3].string_bytes, 8u);
  ASSERT_TRUE(f.descriptor);
  EXPECT_EQ(f.descriptor->bounds.size(), 2u);
  EXPECT_EQ(f.descriptor->bounds[0].lower, 5) << "the record keeps the last declared first";
}

std::string RunCli(const std::vector<std::string>& args, int* code = nullptr) {
  std::istringstream in;
  std::ostringstream out, err;
  const int result = RunRavoduze(args, in, out, err);
  if (code != nullptr) *code = result;
  return out.str();
}

TEST(FactsTest, FootprintTableHasARowPerKindAndTheTotal) {
  EXPECT_EQ(RunCli({"--footprint", "Dim s(1 To 2) As String = {\"ab\", \"ab\"}"}),
            "Block          Count         Bytes\n"
            "argument           1            16\n"
            "variable           1             4\n"
            "descriptor         1            40\n"
            "data               1             8\n"
            "string             2            20\n"
            "total                           88\n");
}

// Hostile text in a string: XML's special characters and code points that
// XML 1.0 does not allow.
TEST(FactsTest, PictureEscapesWhatXmlCannotHold) {
  automation::Process process;
  Interpreter interpreter(process);
  const automation::Address arg =
      interpreter.Run(ParseScript("Dim s As String = \"<a href='x'>&\x01</a>\""));
  RavoDUZE inspector(process);
  std::ostringstream svg;
  WriteSvg(svg, process, *inspector.Facts(arg).footprint);
  const std::string text = svg.str();
  EXPECT_NE(
      text.find("&lt;a href=&apos;x&apos;&gt;&amp;<tspan class=\"code\">U+0001</tspan>&lt;/a&gt;"),
      std::string::npos);
  for (const char c : text) {
    EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 && c != '\n') << "a raw control code";
  }
}

#ifdef DUD_HAVE_NLOHMANN_JSON

nlohmann::json Json(const std::string& script, int* code = nullptr) {
  return nlohmann::json::parse(RunCli({"--json", script}, code));
}

TEST(FactsJsonTest, ReadsBackAsTheTwin) {
  for (const char* script : kScripts) {
    int32_t flags = varALLINFO;
    if (Inspect(script).text_error == 13) flags &= ~varARG;  // see above
    const ReportFacts f = Inspect(script, flags).facts;
    const nlohmann::json j =
        nlohmann::json::parse(RunCli({"--json", "--var-flags", std::to_string(flags), script}));
    EXPECT_EQ(j.at("format"), "ravoduze-facts");
    if (f.variant) {
      EXPECT_EQ(j.at("variant").at("rows").at(0).at("value"), *f.variant->rows[0].number);
    }
    EXPECT_EQ(j.at("variable").at("type_name"), ToUtf8(f.variable->type_name)) << script;
    EXPECT_EQ(j.at("variable").at("address"), f.variable->section.address) << script;
    const nlohmann::json& items = j.at("values").at("items");
    ASSERT_EQ(items.size(), f.elements.size()) << script;
    for (size_t i = 0; i < f.elements.size(); ++i) {
      EXPECT_EQ(items[i].at("value"), ToUtf8(f.elements[i].value)) << script;
      EXPECT_EQ(items[i].at("address"), f.elements[i].address) << script;
    }
    EXPECT_EQ(j.at("footprint").at("total"), f.footprint->total) << script;
    EXPECT_FALSE(j.contains("error"));
  }
}

TEST(FactsJsonTest, AddressesComeAlsoInHexAndTextsAreEscaped) {
  const nlohmann::json j = Json("Dim s As String = \"q\"\"b\\\t\xF0\x9F\x98\x80\"");
  EXPECT_EQ(j.at("variant").at("address_hex"), "0x0012F764");
  EXPECT_EQ(j.at("values").at("items").at(0).at("value"), "q\"b\\\t\xF0\x9F\x98\x80");
}

// On a 64-bit client the twin's addresses lie above 4 GiB, with sixteen hex
// digits, and the argument variant takes 24 bytes.
TEST(FactsJsonTest, SixtyFourBitAddressesAndVariants) {
  const nlohmann::json j = nlohmann::json::parse(
      RunCli({"--json", "--platform", "win64", "Dim s(1 To 2) As String = {\"ab\", \"\"}"}));
  EXPECT_GT(j.at("variant").at("address").get<uint64_t>(), uint64_t{1} << 32);
  EXPECT_EQ(j.at("variant").at("address_hex").get<std::string>().size(), 18u);
  EXPECT_EQ(j.at("footprint").at("kinds").at("argument").at("bytes"), 24);
  EXPECT_EQ(j.at("footprint").at("kinds").at("variable").at("bytes"), 8) << "a pointer cell";
  EXPECT_EQ(j.at("values").at("items").at(0).at("value"), "ab");
  EXPECT_GT(j.at("values").at("items").at(0).at("string").at("address").get<uint64_t>(),
            uint64_t{1} << 32);
}

// LongLong, which only a 64-bit client has: its name, its 8-byte elements
// and every digit of their values.
TEST(FactsJsonTest, LongLongArraysNameTheirTypeAndWholeValues) {
  const nlohmann::json j = nlohmann::json::parse(
      RunCli({"--json", "--platform", "win64", "--var-flags", "varDef+varValues",
              "Dim a(1 To 2) As LongLong = {-1, 9223372036854775807^}"}));
  EXPECT_EQ(j.at("variable").at("type_name"), "LongLong()");
  const nlohmann::json& items = j.at("values").at("items");
  EXPECT_EQ(items.at(0).at("value"), "-1");
  EXPECT_EQ(items.at(1).at("value"), "9223372036854775807");
  EXPECT_EQ(items.at(1).at("address").get<uint64_t>() - items.at(0).at("address").get<uint64_t>(),
            8u);
}

TEST(FactsJsonTest, AnErrorEndsAWholeDocument) {
  int code = 0;
  const nlohmann::json j = Json("Dim v", &code);
  EXPECT_EQ(code, 1);
  EXPECT_EQ(j.at("error").at("number"), 9);
  EXPECT_EQ(j.at("error").at("description"), "Subscript out of range");
  EXPECT_EQ(j.at("error").at("step"), "variant argument");
}

#endif  // DUD_HAVE_NLOHMANN_JSON

}  // namespace
}  // namespace dudUdudADOD::cli
