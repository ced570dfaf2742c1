#include "cli/interpreter.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "automation/bstr.h"
#include "automation/runtime_error.h"
#include "automation/safe_array.h"
#include "automation/variant.h"
#include "cli/parser.h"

namespace dudUdudADOD::cli {
namespace {

using namespace automation;  // NOLINT: the platform model is the vocabulary here

class InterpreterTest : public testing::Test {
 protected:
  Address Run(std::string_view source, std::optional<Address> arg_at = std::nullopt) {
    return interpreter_.Run(ParseScript(source), arg_at);
  }
  Variable Var(std::string_view name) {
    std::optional<Variable> v = interpreter_.Find(name);
    EXPECT_TRUE(v.has_value()) << name;
    return v.value_or(Variable{});
  }
  VariantImage Arg(Address at) { return LoadVariant(process_.memory(), at); }
  Address Descriptor(std::string_view array) {
    return ReadUInt32(process_.memory(), Var(array).address);
  }
  // Bound k as stored: k = 0 is the last declared dimension.
  std::pair<uint32_t, int32_t> StoredBound(Address descriptor, uint32_t k) {
    const Address at = descriptor + kDescriptorHead + kBoundSize * k;
    return {ReadUInt32(process_.memory(), at), ReadInt32(process_.memory(), at + 4)};
  }
  std::vector<uint8_t> Bytes(Address at, uint32_t n) {
    std::vector<uint8_t> bytes(n);
    process_.memory().Read(at, bytes.data(), n);
    return bytes;
  }

  Process process_;
  Interpreter interpreter_{process_};
};

TEST_F(InterpreterTest, LongLiesInTheClientFrameAndPassesByReference) {
  const Address arg = Run("Dim x As Long = 5");
  EXPECT_EQ(Var("x").address, 1243024u);
  EXPECT_EQ(ReadInt32(process_.memory(), 1243024), 5);
  EXPECT_EQ(arg, 1242980u);
  EXPECT_EQ(Arg(arg).vt(), vbLong | kByRef);
  EXPECT_EQ(Arg(arg).pointer(), 1243024u);
}

TEST_F(InterpreterTest, ByteArrayGetsDescriptorBoundsAndData) {
  const Address arg = Run("Dim a(1 To 3) As Byte = {1, 2, 3}");
  const Address d = Descriptor("a");
  ASSERT_NE(d, 0u);
  EXPECT_EQ(SafeArrayDims(process_.memory(), d), 1);
  EXPECT_EQ(SafeArrayElementSize(process_.memory(), d), 1u);
  EXPECT_EQ(StoredBound(d, 0), std::make_pair(3u, 1));
  EXPECT_EQ(Bytes(SafeArrayData(process_.memory(), d), 3), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(Arg(arg).vt(), vbArray | vbByte | kByRef);
  EXPECT_EQ(Arg(arg).pointer(), Var("a").address);
}

TEST_F(InterpreterTest, FileBytesFillsAByteArrayFromAFile) {
  const std::string path = testing::TempDir() + "file_bytes_test.bin";
  {
    std::ofstream file(path, std::ios::binary);
    file.write("\x01\xFF\x00\x48", 4);
  }
  Run("Dim a(1 To 4) As Byte = FileBytes(\"" + path + "\")");
  EXPECT_EQ(Bytes(SafeArrayData(process_.memory(), Descriptor("a")), 4),
            (std::vector<uint8_t>{1, 255, 0, 72}));
  const struct {
    std::string script;
    std::string message;
  } failures[] = {
      {"Dim b(1 To 5) As Byte = FileBytes(\"" + path + "\")",
       "\"" + path + "\" holds 4 bytes but \"b\" has 5 elements"},
      {"Dim c(1 To 4) As Long = FileBytes(\"" + path + "\")",
       "FileBytes fills a Byte array declared with bounds, as in Dim a(1 To 4) As Byte = "
       "FileBytes(\"data.bin\")"},
      {"Dim d(1 To 4) As Byte = FileBytes(\"" + path + ".missing\")",
       "cannot open \"" + path + ".missing\""},
      {"Dim e = FileBytes(\"" + path + "\")",
       "FileBytes fills a Byte array declared with bounds, "
       "as in Dim a(1 To 4) As Byte = FileBytes(\"data.bin\")"},
  };
  for (const auto& f : failures) {
    try {
      Run(f.script);
      ADD_FAILURE() << f.script;
    } catch (const ScriptError& e) {
      EXPECT_EQ(e.what(), f.message);
    }
  }
}

TEST_F(InterpreterTest, TwoDimensionsStoreTheLastDeclaredFirstAndZeroFill) {
  Run("Dim m(0 To 2, 1 To 4) As Integer");
  const Address d = Descriptor("m");
  EXPECT_EQ(SafeArrayDims(process_.memory(), d), 2);
  EXPECT_EQ(StoredBound(d, 0), std::make_pair(4u, 1));
  EXPECT_EQ(StoredBound(d, 1), std::make_pair(3u, 0));
  EXPECT_EQ(Bytes(SafeArrayData(process_.memory(), d), 24), std::vector<uint8_t>(24, 0));
}

TEST_F(InterpreterTest, InitialValuesGoInMemoryOrderFirstDimensionFastest) {
  Run("Dim m(1 To 2, 1 To 2) As Byte = {11, 21, 12}");
  const Address data = SafeArrayData(process_.memory(), Descriptor("m"));
  EXPECT_EQ(Bytes(data, 4), (std::vector<uint8_t>{11, 21, 12, 0}));
}

TEST_F(InterpreterTest, ArrayShapes) {
  Run("Dim b(2) As Long: Dim d() As Long: Dim e(0 To -1) As Byte");
  EXPECT_EQ(StoredBound(Descriptor("b"), 0), std::make_pair(3u, 0));
  EXPECT_EQ(Descriptor("d"), 0u);
  EXPECT_EQ(Var("d").kind, VariableKind::kDynamicArray);
  EXPECT_EQ(StoredBound(Descriptor("e"), 0), std::make_pair(0u, 0));
}

TEST_F(InterpreterTest, ReDimAndEraseOfADynamicArray) {
  Run("Dim d() As Long\nReDim d(1 To 4)");
  EXPECT_EQ(StoredBound(Descriptor("d"), 0), std::make_pair(4u, 1));
  const Address arg = Run("Erase d");
  EXPECT_EQ(Descriptor("d"), 0u);
  EXPECT_EQ(Arg(arg).pointer(), Var("d").address);  // Erase's array is the one inspected
}

TEST_F(InterpreterTest, EraseOfAFixedArrayZeroesItsElements) {
  Run("Dim a(1 To 2) As String = {\"x\", \"y\"}\nErase a");
  const Address d = Descriptor("a");
  ASSERT_NE(d, 0u);
  EXPECT_EQ(Bytes(SafeArrayData(process_.memory(), d), 8), std::vector<uint8_t>(8, 0));
}

TEST_F(InterpreterTest, StringHoldsItsTextWithQuotes) {
  Run("Dim s As String = \"a\"\"b\"");
  const Address bstr = ReadUInt32(process_.memory(), Var("s").address);
  EXPECT_EQ(SysStringByteLen(process_.memory(), bstr), 6u);
  EXPECT_EQ(ReadString(process_.memory(), bstr), u"a\"b");
}

TEST_F(InterpreterTest, VariantPassesAsItself) {
  const Address arg = Run("Dim v As Variant = #1/2/2000#");
  EXPECT_EQ(arg, Var("v").address);
  EXPECT_EQ(Arg(arg).vt(), vbDate);
  EXPECT_EQ(Arg(arg).double_value(), 36527.0);
}

TEST_F(InterpreterTest, ObjectsStartAsNothing) {
  Run("Dim o As Object");
  EXPECT_EQ(ReadUInt32(process_.memory(), Var("o").address), 0u);
  Run("Set o = New Foo(\"hello\")");
  const ObjectInfo* object = process_.FindObject(ReadUInt32(process_.memory(), Var("o").address));
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(object->class_name, u"Foo");
  EXPECT_EQ(object->default_value, std::optional<std::u16string>(u"hello"));
}

TEST_F(InterpreterTest, VariantTakesACopyOfAnArray) {
  Run("Dim a(1 To 2) As Long = {7, 8}\nDim v\nv = a");
  const VariantImage v = LoadVariant(process_.memory(), Var("v").address);
  EXPECT_EQ(v.vt(), vbArray | vbLong);
  EXPECT_NE(v.pointer(), Descriptor("a"));
  EXPECT_EQ(ReadInt32(process_.memory(), SafeArrayData(process_.memory(), v.pointer()) + 4), 8);
}

TEST_F(InterpreterTest, ArrayFunctionMakesAVariantArrayFromZero) {
  Run("Dim v = Array(1, \"two\", Array())");
  const VariantImage v = LoadVariant(process_.memory(), Var("v").address);
  EXPECT_EQ(v.vt(), vbArray | vbVariant);
  EXPECT_EQ(LBound(process_.memory(), v.pointer()), 0);
  EXPECT_EQ(UBound(process_.memory(), v.pointer()), 2);
  const Address data = SafeArrayData(process_.memory(), v.pointer());
  EXPECT_EQ(LoadVariant(process_.memory(), data).vt(), vbInteger);
  EXPECT_EQ(ReadString(process_.memory(), LoadVariant(process_.memory(), data + 16).pointer()),
            u"two");
  EXPECT_EQ(LoadVariant(process_.memory(), data + 32).vt(), vbArray | vbVariant);
}

TEST_F(InterpreterTest, LastValueIsPassedAsATemporary) {
  const Address arg = Run("Dim x As Long = 3\nCInt(5)");
  EXPECT_EQ(Arg(arg).vt(), vbInteger);
  EXPECT_EQ(Arg(arg).integer(), 5);
}

TEST_F(InterpreterTest, LastValueIsEvaluatedOnce) {
  const Address arg = Run("New Foo");
  EXPECT_EQ(Arg(arg).pointer(), Heap::kGeneralBase);  // the first and only object
}

TEST_F(InterpreterTest, ParenthesesPassACopyAndANamePassesTheVariable) {
  Run("Dim s As String = \"abc\"");
  const VariantImage copy = Arg(Run("(s)"));
  EXPECT_EQ(copy.vt(), vbString);
  EXPECT_NE(copy.pointer(), ReadUInt32(process_.memory(), Var("s").address));
  EXPECT_EQ(ReadString(process_.memory(), copy.pointer()), u"abc");
  const VariantImage byref = Arg(Run("s"));
  EXPECT_EQ(byref.vt(), vbString | kByRef);
  EXPECT_EQ(byref.pointer(), Var("s").address);
}

TEST_F(InterpreterTest, RawVariantIsPassedByteForByte) {
  const Address arg = Run("RawVariant(8, 1, 2, &HFFFF, &H12345678, -1)");
  EXPECT_EQ(Bytes(arg, 16), (std::vector<uint8_t>{8, 0, 1, 0, 2, 0, 0xFF, 0xFF, 0x78, 0x56, 0x34,
                                                  0x12, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST_F(InterpreterTest, RawVariantInAVariantIsNeverFreedOrCopied) {
  Run("Dim s As String = \"abc\"");
  const Address text = ReadUInt32(process_.memory(), Var("s").address);
  Run("Dim v = RawVariant(8, 0, 0, 0, " + std::to_string(text) + ", 0)");
  EXPECT_EQ(LoadVariant(process_.memory(), Var("v").address).pointer(), text);
  Run("v = 5");  // replacing the raw bytes must not free s's text
  EXPECT_EQ(ReadString(process_.memory(), text), u"abc");
}

TEST_F(InterpreterTest, TemporariesAreFreed) {
  Process clean;
  Interpreter reference(clean);
  reference.Run(ParseScript("Dim x As Long\nx = 1"));
  Run("Dim x As Long\n\"abc\"\nCStr(12345)\nArray(1, \"a\", Array(2))\nx = CLng(\"1\")\nx = 1");
  EXPECT_EQ(process_.memory().mapped_bytes(), clean.memory().mapped_bytes());
}

struct ValueCase {
  const char* script;
  uint16_t vt;
  double value;
};

class InterpreterValues : public InterpreterTest, public testing::WithParamInterface<ValueCase> {};

TEST_P(InterpreterValues, VariantHolds) {
  Run(GetParam().script);
  const VariantImage v = LoadVariant(process_.memory(), Var("v").address);
  EXPECT_EQ(v.vt(), GetParam().vt) << GetParam().script;
  double reading = 0;
  switch (v.vt()) {
    case vbInteger:
    case vbBoolean:
      reading = v.integer();
      break;
    case vbLong:
    case vbError:
      reading = v.long_value();
      break;
    case vbByte:
      reading = v.byte();
      break;
    case vbSingle:
      reading = v.single();
      break;
    case vbCurrency:
      reading = static_cast<double>(v.currency());
      break;
    default:
      reading = v.double_value();
      break;
  }
  EXPECT_EQ(reading, GetParam().value) << GetParam().script;
}

INSTANTIATE_TEST_SUITE_P(Expressions, InterpreterValues,
                         testing::Values(ValueCase{"Dim v = -CByte(5)", vbInteger, -5},
                                         ValueCase{"Dim v = -True", vbInteger, 1},
                                         ValueCase{"Dim v = -\"2.5\"", vbDouble, -2.5},
                                         ValueCase{"Dim v = -(40000)", vbLong, -40000},
                                         ValueCase{"Dim v = -1.5@", vbCurrency, -15000},
                                         ValueCase{"Dim v = CByte(255)", vbByte, 255},
                                         ValueCase{"Dim v = CSng(1.5)", vbSingle, 1.5},
                                         ValueCase{"Dim v = CVErr(2042)", vbError, 2042},
                                         ValueCase{"Dim v = CBool(5)", vbBoolean, -1},
                                         ValueCase{"Dim x As Integer = 7\nDim v = x", vbInteger, 7},
                                         ValueCase{"Dim X As Integer = 7\nDim v = x", vbInteger, 7},
                                         ValueCase{"Dim v As Variant\nv = CDate(\"1/2/2000\")",
                                                   vbDate, 36527}));

struct FailCase {
  const char* script;
  int line;
  int column;
  const char* message;
};

class InterpreterScriptErrors : public InterpreterTest,
                                public testing::WithParamInterface<FailCase> {};

TEST_P(InterpreterScriptErrors, FailAtPosition) {
  const FailCase& c = GetParam();
  try {
    Run(c.script);
    FAIL() << "no error for " << c.script;
  } catch (const ScriptError& e) {
    EXPECT_EQ(std::to_string(e.position().line) + ":" + std::to_string(e.position().column) + ": " +
                  e.what(),
              std::to_string(c.line) + ":" + std::to_string(c.column) + ": " + c.message);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, InterpreterScriptErrors,
    testing::Values(
        FailCase{"x = 5", 1, 1, "\"x\" is not declared: declare it first with Dim"},
        FailCase{"Dim v = y", 1, 9, "\"y\" is not declared: declare it first with Dim"},
        FailCase{"Dim x As Long\ndim X As Byte", 2, 5, "\"X\" is already declared"},
        FailCase{"Dim x As Long\nDim y As Long At 1243024", 2, 18,
                 "cannot place \"y\" At 1243024 (4 bytes): that memory is in use or cannot hold "
                 "a variable"},
        FailCase{"Dim x As Long At 4294967294", 1, 18,
                 "cannot place \"x\" At 4294967294 (4 bytes): that memory is in use or cannot "
                 "hold a variable"},
        FailCase{"Dim x As Long At 1.5", 1, 18,
                 "an address must be a whole number from -2147483648 to 4294967295, not 1.5"},
        FailCase{"Dim x As Long At \"here\"", 1, 18, "an address must be a number"},
        FailCase{"Dim a(1 To 3) As Byte = {1, 2, 3, 4}", 1, 35,
                 "too many values: \"a\" has 3 elements"},
        FailCase{"Dim a(5 To 3) As Byte", 1, 12,
                 "the dimension 5 To 3 runs backwards: the upper bound must be at least the "
                 "lower bound minus 1"},
        FailCase{"Dim a(1 To 3000000000) As Byte", 1, 12,
                 "a bound must be a whole number from -2147483648 to 2147483647, not 3000000000"},
        FailCase{"Dim x As Long = {1}", 1, 17,
                 "only an array takes a list of values in braces; write = value"},
        FailCase{
            "Dim d() As Long = {1}", 1, 19,
            "\"d\" has no elements for a list of values: declare it with bounds, such as (1 To "
            "3)"},
        FailCase{"Dim a(2) As Long = 5", 1, 20,
                 "a fixed array takes its initial values as a list in braces, as in = {1, 2, 3}"},
        FailCase{"Dim a(2) As Long\na = 5", 2, 1,
                 "cannot assign to the fixed array \"a\": give its elements in its Dim, as in = "
                 "{1, 2, 3}"},
        FailCase{"Dim a(2) As Long\nReDim a(3)", 2, 7,
                 "ReDim needs a dynamic array: \"a\" has fixed bounds (declare it as \"Dim a()\")"},
        FailCase{"Dim x\nReDim x(3)", 2, 7, "ReDim needs a dynamic array: \"x\" is not an array"},
        FailCase{"Dim x\nErase x", 2, 7, "Erase needs an array: \"x\" is not an array"},
        FailCase{"RawVariant(70000, 0, 0, 0, 0, 0)", 1, 12,
                 "RawVariant's vt must be a whole number from -32768 to 65535, not 70000"},
        FailCase{"RawVariant(0, 0, 0, 0, 0, 4294967296)", 1, 27,
                 "RawVariant's high32 must be a whole number from -2147483648 to 4294967295, "
                 "not 4294967296"},
        FailCase{"' nothing here\n", 2, 1, "nothing to inspect: the script has no statements"}));

struct RunTimeCase {
  const char* script;
  int number;
};

class InterpreterRunTimeErrors : public InterpreterTest,
                                 public testing::WithParamInterface<RunTimeCase> {};

TEST_P(InterpreterRunTimeErrors, RaiseThePlatformsError) {
  try {
    Run(GetParam().script);
    FAIL() << "no error for " << GetParam().script;
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), GetParam().number) << GetParam().script;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, InterpreterRunTimeErrors,
    testing::Values(RunTimeCase{"CInt(40000)", 6}, RunTimeCase{"Dim x As Integer = 40000", 6},
                    RunTimeCase{"Dim x As Long = \"abc\"", 13}, RunTimeCase{"-(-32768)", 6},
                    RunTimeCase{"CByte(-1)", 6}, RunTimeCase{"CStr(Null)", 94},
                    RunTimeCase{"Dim a(1 To 600000000) As Double", 7},
                    RunTimeCase{"Dim d() As Long\nDim v = Array(1)\nd = v", 13},
                    RunTimeCase{"Dim o As Object = 5", 13}));

std::string Nest(int statements) {
  std::string script = "Dim v = Array()";
  for (int i = 0; i < statements; ++i) script += "\nv = Array(v)";
  return script;
}

TEST_F(InterpreterTest, ArraysInVariantsNestAtMostSixtyFourDeep) {
  EXPECT_NO_THROW(Run(Nest(63)));
  try {
    Run("v = Array(v)");
    FAIL();
  } catch (const ScriptError& e) {
    EXPECT_EQ(e.position().column, 11);
    EXPECT_EQ(std::string(e.what()),
              "arrays nest too deeply: at most 64 levels of arrays inside Variants");
  }
  EXPECT_THROW(Run("Dim a(0) As Variant = {v}"), ScriptError);
}

TEST_F(InterpreterTest, ErrorsOfTheLastValueStayRunTimeErrorsWithArgAt) {
  try {
    Run("CStr(RawVariant(8, 0, 0, 0, 12, 0))", 268435456);
    FAIL();
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), 5);
  }
}

TEST_F(InterpreterTest, ArgAtPlacesTheArgumentVariant) {
  const Address arg = Run("Dim x As Long = 5", 1000000);
  EXPECT_EQ(arg, 1000000u);
  EXPECT_EQ(Arg(arg).vt(), vbLong | kByRef);
  EXPECT_EQ(Arg(arg).pointer(), 1243024u);
}

TEST_F(InterpreterTest, ArgAtDeclaresTheInspectedVariantThere) {
  const Address arg = Run("Dim v As Variant\nDim x As Long\nv = 5", 268435456);
  EXPECT_EQ(arg, 268435456u);
  EXPECT_EQ(Var("v").address, 268435456u);
  EXPECT_EQ(Var("x").address, 1243024u);  // the Variant did not take a slot in the frame
  EXPECT_EQ(Arg(arg).vt(), vbInteger);
}

TEST_F(InterpreterTest, ArgAtAgainstAVariantPlacedElsewhereIsAUsageError) {
  EXPECT_THROW(Run("Dim v At 2000000 = 1", 1000000), UsageError);
}

TEST_F(InterpreterTest, ArgAtOverMemoryInUseIsAUsageError) {
  try {
    Run("Dim x As Long = 5", 1243020);
    FAIL();
  } catch (const UsageError& e) {
    EXPECT_EQ(std::string(e.what()),
              "--arg-at 1243020: the 16-byte argument variant cannot go there: that memory is "
              "in use or cannot hold it");
  }
}

}  // namespace
}  // namespace dudUdudADOD::cli
