#include "cli/script/interpreter.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "automation/bstr.h"
#include "automation/conversions.h"
#include "automation/runtime_error.h"
#include "automation/safe_array.h"
#include "automation/utf8.h"
#include "automation/variant.h"
#include "cli/script/parser.h"
#include "model/variant_conversions.h"
#include "model/variant_memory.h"
#include "testutil/error_of.h"
#include "testutil/script_error_text.h"

namespace dudUdudADOD::cli {
namespace {

using namespace automation;  // the platform model is the vocabulary here
using testutil::ErrorOf;
using testutil::ErrorTextOf;

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
  Address Pointer(std::string_view name) {
    return ReadUInt32(process_.memory(), Var(name).address);
  }
  // Bound k as stored: k = 0 is the last declared dimension.
  std::pair<uint32_t, int32_t> StoredBound(Address descriptor, uint32_t k) {
    const Address at = descriptor + kWin32Layout.descriptor_head + kBoundSize * k;
    return {ReadUInt32(process_.memory(), at), ReadInt32(process_.memory(), at + 4)};
  }
  std::vector<uint8_t> Bytes(Address at, uint32_t n) {
    std::vector<uint8_t> bytes(n);
    process_.memory().Read(at, bytes.data(), n);
    return bytes;
  }
  std::vector<uint8_t> Data(std::string_view array, uint32_t n) {
    return Bytes(SafeArrayData(process_.memory(), Pointer(array)), n);
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
  const Address d = Pointer("a");
  ASSERT_NE(d, 0u);
  EXPECT_EQ(SafeArrayDims(process_.memory(), d), 1);
  EXPECT_EQ(SafeArrayElementSize(process_.memory(), d), 1u);
  EXPECT_EQ(StoredBound(d, 0), std::make_pair(3u, 1));
  EXPECT_EQ(Data("a", 3), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(Arg(arg).vt(), vbArray | vbByte | kByRef);
  EXPECT_EQ(Arg(arg).pointer(), Var("a").address);
}

TEST_F(InterpreterTest, DimensionsAreStoredLastFirstAndValuesGoFirstDimensionFastest) {
  Run("Dim m(1 To 2, 0 To 2) As Byte = {11, 21, 12}");
  EXPECT_EQ(SafeArrayDims(process_.memory(), Pointer("m")), 2);
  EXPECT_EQ(StoredBound(Pointer("m"), 0), std::make_pair(3u, 0));
  EXPECT_EQ(StoredBound(Pointer("m"), 1), std::make_pair(2u, 1));
  EXPECT_EQ(Data("m", 6), (std::vector<uint8_t>{11, 21, 12, 0, 0, 0}));  // the rest zero-filled
}

TEST_F(InterpreterTest, ArrayShapesReDimAndErase) {
  Run("Dim b(2) As Long: Dim d() As Long: Dim e(0 To -1) As Byte");
  EXPECT_EQ(StoredBound(Pointer("b"), 0), std::make_pair(3u, 0));
  EXPECT_EQ(Pointer("d"), 0u);
  EXPECT_EQ(Var("d").kind, VariableKind::kDynamicArray);
  EXPECT_EQ(StoredBound(Pointer("e"), 0), std::make_pair(0u, 0));
  Run("ReDim d(1 To 4)");
  EXPECT_EQ(StoredBound(Pointer("d"), 0), std::make_pair(4u, 1));
  const Address arg = Run("Erase d");
  EXPECT_EQ(Pointer("d"), 0u);
  EXPECT_EQ(Arg(arg).pointer(), Var("d").address);  // Erase's array is the one inspected
  // Erasing a fixed array keeps its storage and zeroes its elements.
  Run("Dim a(1 To 2) As String = {\"x\", \"y\"}\nErase a");
  ASSERT_NE(Pointer("a"), 0u);
  EXPECT_EQ(Data("a", 8), std::vector<uint8_t>(8, 0));
}

TEST_F(InterpreterTest, FileBytesFillsAByteArrayFromAFile) {
  const std::string path = testing::TempDir() + "file_bytes_test.bin";
  std::ofstream(path, std::ios::binary).write("\x01\xFF\x00\x48", 4);
  Run("Dim a(1 To 4) As Byte = FileBytes(\"" + path + "\")");
  EXPECT_EQ(Data("a", 4), (std::vector<uint8_t>{1, 255, 0, 72}));
  const std::string only_bytes =
      "FileBytes fills a Byte array, as in Dim a() As Byte = FileBytes(\"data.bin\") or Dim "
      "a(1 To 4) As Byte = FileBytes(\"data.bin\")";
  EXPECT_EQ(ErrorTextOf([&] { Run("Dim b(1 To 5) As Byte = FileBytes(\"" + path + "\")"); }),
            "1:25: \"" + path + "\" holds 4 bytes but \"b\" has 5 elements");
  EXPECT_EQ(ErrorTextOf([&] { Run("Dim c(1 To 4) As Long = FileBytes(\"" + path + "\")"); }),
            "1:25: " + only_bytes);
  EXPECT_EQ(ErrorTextOf([&] { Run("Dim e = FileBytes(\"" + path + "\")"); }), "1:9: " + only_bytes);
  EXPECT_EQ(ErrorTextOf([&] { Run("Dim d(1 To 4) As Byte = FileBytes(\"" + path + ".x\")"); }),
            "1:35: cannot open \"" + path + ".x\": No such file or directory");
  // A dynamic array takes the file's size, from 0; an empty file leaves it
  // with no elements.
  Run("Dim f() As Byte = FileBytes(\"" + path + "\")");
  EXPECT_EQ(UBound(process_.memory(), Pointer("f")), 3);
  EXPECT_EQ(Data("f", 4), (std::vector<uint8_t>{1, 255, 0, 72}));
  std::ofstream(path, std::ios::binary | std::ios::trunc);
  Run("Dim g() As Byte = FileBytes(\"" + path + "\")");
  EXPECT_EQ(SafeArrayElementCount(process_.memory(), Pointer("g")), 0u);
}

// Elements are read and assigned by index, the first dimension fastest in
// memory, and checked against the bounds as the platform checks them.
TEST_F(InterpreterTest, ElementsByIndex) {
  Run("Dim m(1 To 2, 0 To 1) As Integer\nm(2, 1) = 7\nm(1, 0) = m(2, 1)");
  EXPECT_EQ(Data("m", 8), (std::vector<uint8_t>{7, 0, 0, 0, 0, 0, 7, 0}));
  Run("Dim s(2) As String\ns(1) = \"ab\"\nDim v = Array(1, 2)\nv(0) = s(1)");
  const Address held = LoadVariant(process_.memory(), Var("v").address).pointer();
  const VariantImage first = LoadVariant(process_.memory(), SafeArrayData(process_.memory(), held));
  EXPECT_EQ(first.vt(), vbString);  // a Variant's array takes elements of any type
  // An element passed alone is a reference into the array's data.
  const Address arg = Run("m(2, 1)");
  EXPECT_EQ(Arg(arg).vt(), kByRef | vbInteger);
  EXPECT_EQ(Arg(arg).pointer(), SafeArrayData(process_.memory(), Pointer("m")) + 6);
  const struct {
    const char* script;
    int error;
  } out_of_range[] = {{"m(3, 0)", kSubscriptOutOfRange},
                      {"m(1)", kSubscriptOutOfRange},
                      {"m(1, -1) = 5", kSubscriptOutOfRange},
                      {"Dim d() As Long: d(0) = 1", kSubscriptOutOfRange},
                      {"m(\"x\", 0)", kTypeMismatch}};
  for (const auto& c : out_of_range) {
    EXPECT_EQ(ErrorOf([&] { Run(c.script); }), c.error) << c.script;
  }
  EXPECT_EQ(ErrorTextOf([&] { Run("Dim n As Long: n(1) = 2"); }),
            "1:16: \"n\" is not an array, so \"n(...)\" has no elements");
  EXPECT_EQ(ErrorTextOf([&] { Run("CLong(5)"); }),
            "1:1: unknown function or array \"CLong\" (did you mean \"CLng\"?)");
}

TEST_F(InterpreterTest, ReDimPreserveKeepsTheElementsOfTheLastDimension) {
  Run("Dim d() As String: ReDim d(1 To 2): d(1) = \"x\": d(2) = \"y\"\n"
      "ReDim Preserve d(1 To 3)");
  const Address data = SafeArrayData(process_.memory(), Pointer("d"));
  EXPECT_EQ(ToUtf8(ReadString(process_.memory(), ReadUInt32(process_.memory(), data + 4))), "y");
  EXPECT_EQ(ReadUInt32(process_.memory(), data + 8), 0u);
  // Shrinking frees what no longer fits; an array without storage is sized.
  Run("ReDim Preserve d(1 To 1): Dim e() As Long: ReDim Preserve e(2)");
  EXPECT_EQ(SafeArrayElementCount(process_.memory(), Pointer("d")), 1u);
  EXPECT_EQ(UBound(process_.memory(), Pointer("e")), 2);
  Run("Dim g() As Long: ReDim g(1 To 2, 1 To 2): g(2, 1) = 5: ReDim Preserve g(1 To 2, 1 To 3)");
  EXPECT_EQ(Data("g", 4), (std::vector<uint8_t>{0, 0, 0, 0}));
  EXPECT_EQ(ReadInt32(process_.memory(), SafeArrayData(process_.memory(), Pointer("g")) + 4), 5);
  EXPECT_EQ(ErrorTextOf([&] { Run("ReDim Preserve g(1 To 3, 1 To 3)"); }),
            "1:16: ReDim Preserve changes only the last dimension's bounds: \"g\" keeps its number "
            "of dimensions and the bounds of the others");
}

TEST_F(InterpreterTest, AsNewGivesTheVariableANewObject) {
  Run("Dim o As New Foo");
  const Address object = ReadUInt32(process_.memory(), Var("o").address);
  EXPECT_NE(object, 0u);
  EXPECT_EQ(ToUtf8(TypeName(process_, VariantImage::Object(object))), "Foo");
}

// Opening a named pipe would wait for a writer and a directory has no byte
// count: both are refused before they are opened.
TEST_F(InterpreterTest, FileBytesRefusesWhatIsNotARegularFile) {
  const std::string unique = std::to_string(getpid());
  const std::string fifo = testing::TempDir() + "fifo_" + unique;
  const std::string directory = testing::TempDir() + "dir_" + unique;
  std::filesystem::remove(fifo);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_directories(directory);
  const struct {
    std::string path, kind;
  } cases[] = {{fifo, "a named pipe"}, {directory, "a directory"}};
  for (const auto& c : cases) {
    EXPECT_EQ(ErrorTextOf([&] { Run("Dim a(1 To 4) As Byte = FileBytes(\"" + c.path + "\")"); }),
              "1:35: cannot read \"" + c.path + "\": it is " + c.kind +
                  "; FileBytes reads a regular file");
    EXPECT_FALSE(interpreter_.Find("a").has_value());
  }
  std::filesystem::remove(fifo);
  std::filesystem::remove(directory);
}

// A file whose size the system does not know beforehand (/proc) is read to
// its end, and its size decides a fixed array's fit as for any file.
TEST_F(InterpreterTest, FileBytesReadsProcFilesToTheirEnd) {
  const std::string path = "/proc/self/status";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "no /proc";
  Run("Dim p() As Byte = FileBytes(\"" + path + "\")");
  const uint64_t count = SafeArrayElementCount(process_.memory(), Pointer("p"));
  ASSERT_GT(count, 5u);
  EXPECT_EQ(Data("p", 5), (std::vector<uint8_t>{'N', 'a', 'm', 'e', ':'}));
  EXPECT_NE(ErrorTextOf([&] {
              Run("Dim q(1 To 3) As Byte = FileBytes(\"" + path + "\")");
            }).find("\"" + path + "\" holds "),
            std::string::npos);
}

TEST_F(InterpreterTest, ObjectsStartAsNothing) {
  Run("Dim o As Object");
  EXPECT_EQ(Pointer("o"), 0u);
  Run("Set o = New Foo(\"hello\")");
  const ObjectInfo* object = process_.FindObject(Pointer("o"));
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(object->class_name, u"Foo");
  EXPECT_EQ(object->default_value, std::optional<std::u16string>(u"hello"));
}

TEST_F(InterpreterTest, VariantTakesACopyOfAnArray) {
  Run("Dim a(1 To 2) As Long = {7, 8}\nDim v\nv = a");
  const VariantImage v = LoadVariant(process_.memory(), Var("v").address);
  EXPECT_EQ(v.vt(), vbArray | vbLong);
  EXPECT_NE(v.pointer(), Pointer("a"));
  EXPECT_EQ(ReadInt32(process_.memory(), SafeArrayData(process_.memory(), v.pointer()) + 4), 8);
}

TEST_F(InterpreterTest, ArrayFunctionMakesAVariantArrayFromZeroThatPassesAsItself) {
  const Address arg = Run("Dim v = Array(1, \"two\", Array())");
  EXPECT_EQ(arg, Var("v").address);  // a Variant passes as itself
  const VariantImage v = Arg(arg);
  EXPECT_EQ(v.vt(), vbArray | vbVariant);
  EXPECT_EQ(LBound(process_.memory(), v.pointer()), 0);
  EXPECT_EQ(UBound(process_.memory(), v.pointer()), 2);
  const Address data = SafeArrayData(process_.memory(), v.pointer());
  EXPECT_EQ(LoadVariant(process_.memory(), data).vt(), vbInteger);
  EXPECT_EQ(ReadString(process_.memory(), LoadVariant(process_.memory(), data + 16).pointer()),
            u"two");
  EXPECT_EQ(LoadVariant(process_.memory(), data + 32).vt(), vbArray | vbVariant);
}

TEST_F(InterpreterTest, LastValueIsPassedAsATemporaryEvaluatedOnce) {
  EXPECT_EQ(Arg(Run("New Foo")).pointer(), kWin32Plan.general_base);  // the first and only object
  const Address arg = Run("Dim x As Long = 3\nCInt(5)");
  EXPECT_EQ(Arg(arg).vt(), vbInteger);
  EXPECT_EQ(Arg(arg).integer(), 5);
}

TEST_F(InterpreterTest, StringsHoldTheirTextAndParenthesesPassACopy) {
  Run("Dim s As String = \"a\"\"b\"");
  EXPECT_EQ(SysStringByteLen(process_.memory(), Pointer("s")), 6u);
  EXPECT_EQ(ReadString(process_.memory(), Pointer("s")), u"a\"b");
  const VariantImage copy = Arg(Run("(s)"));
  EXPECT_EQ(copy.vt(), vbString);
  EXPECT_NE(copy.pointer(), Pointer("s"));
  EXPECT_EQ(ReadString(process_.memory(), copy.pointer()), u"a\"b");
  const VariantImage byref = Arg(Run("s"));  // a name alone passes the variable
  EXPECT_EQ(byref.vt(), vbString | kByRef);
  EXPECT_EQ(byref.pointer(), Var("s").address);
}

TEST_F(InterpreterTest, RawVariantIsPassedByteForByteAndNeverFreedOrCopied) {
  const Address arg = Run("RawVariant(8, 1, 2, &HFFFF, &H12345678, -1)");
  EXPECT_EQ(Bytes(arg, 16), (std::vector<uint8_t>{8, 0, 1, 0, 2, 0, 0xFF, 0xFF, 0x78, 0x56, 0x34,
                                                  0x12, 0xFF, 0xFF, 0xFF, 0xFF}));
  Run("Dim s As String = \"abc\"");
  const Address text = Pointer("s");
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

// A statement that fails frees the temporaries it made, however far it got.
TEST_F(InterpreterTest, FailingStatementsFreeTheirTemporaries) {
  Run("Dim a(1 To 1000) As Long\nDim n As Long\nDim v");
  const uint64_t before = process_.memory().mapped_bytes();
  for (const char* failing :
       {"n = (a)", "n = CLng((a))", "n = -(a)", "v = New C((a))", "v = Array(1, (a), CInt(40000))",
        "Dim w = CStr((a))", "Dim b(1) As Variant = {(a), CInt(40000)}"}) {
    EXPECT_THROW(Run(failing), RuntimeError) << failing;
    EXPECT_EQ(process_.memory().mapped_bytes(), before) << failing;
  }
}

// A String * N holds its N characters itself, zero until assigned, then
// cut or filled up with spaces; it passes through a temporary String held
// in a cell of the frame, by reference.
TEST_F(InterpreterTest, FixedLengthStringsHoldTheirCharactersAndPassThroughATemporary) {
  const Address arg = Run("Dim s As String * 5 = \"abcdefg\": Dim t As String * 4 = 12: s");
  const Variable s = Var("s");
  EXPECT_EQ(s.kind, VariableKind::kFixedString);
  EXPECT_EQ(s.address, 1243016u);  // 10 bytes, rounded up to 12 in the frame
  EXPECT_EQ(Bytes(s.address, 10), (std::vector<uint8_t>{'a', 0, 'b', 0, 'c', 0, 'd', 0, 'e', 0}));
  EXPECT_EQ(Bytes(Var("t").address, 8), (std::vector<uint8_t>{'1', 0, '2', 0, ' ', 0, ' ', 0}));
  EXPECT_EQ(Arg(arg).vt(), vbString | kByRef);
  const Address cell = Arg(arg).pointer();
  EXPECT_LT(cell, Var("t").address);  // the temporary is the frame's, below its variables
  EXPECT_EQ(ReadString(process_.memory(), ReadUInt32(process_.memory(), cell)), u"abcde");
  // Read as a value, it is a String of its characters; assigned, it keeps its length.
  Run("Dim v = s & \"|\": s = \"xy\"");
  EXPECT_EQ(ToUtf8(VariantToText(process_, Arg(Var("v").address))), "abcde|");
  EXPECT_EQ(Bytes(s.address, 10), (std::vector<uint8_t>{'x', 0, 'y', 0, ' ', 0, ' ', 0, ' ', 0}));
  EXPECT_EQ(ErrorOf([&] { Run("s = Null"); }), kInvalidUseOfNull);
  Run("Dim z As String * 3");
  EXPECT_EQ(Bytes(Var("z").address, 6), std::vector<uint8_t>(6, 0));
}

// In a session the temporary goes with the call: nothing stays behind.
TEST_F(InterpreterTest, FixedLengthStringTemporariesGoWithTheCall) {
  Run("Dim s As String * 4 = \"ab\": Dim x As Long");
  const uint64_t mapped = process_.memory().mapped_bytes();
  const Address stack = process_.stack().pointer();
  Expr name;
  name.kind = ExprKind::kVariable;
  name.text = "s";
  std::u16string seen;
  interpreter_.PassFor(name, std::nullopt, [&](Address arg) {
    seen = ReadString(process_.memory(), ReadUInt32(process_.memory(), Arg(arg).pointer()));
  });
  EXPECT_EQ(seen, u"ab  ");
  EXPECT_EQ(process_.memory().mapped_bytes(), mapped);
  EXPECT_EQ(process_.stack().pointer(), stack);
}

// & joins the values' texts; Null joins as nothing, unless all are Null.
TEST_F(InterpreterTest, AmpersandJoinsTexts) {
  Run("Dim n As Long = -5: Dim v = \"n=\" & n & Null & True & #1/2/2000# & 1.5: Dim w = Null & "
      "Null");
  EXPECT_EQ(ToUtf8(VariantToText(process_, Arg(Var("v").address))), "n=-5True1/2/20001.5");
  EXPECT_EQ(Arg(Var("w").address).vt(), vbNull);
  EXPECT_EQ(ErrorOf([&] { Run("Dim a = Array(1) & \"x\""); }), kTypeMismatch);
  // The temporaries of a join are freed, and so are those of one that fails.
  const uint64_t mapped = process_.memory().mapped_bytes();
  Run("\"a\" & CStr(1) & \"b\": n = 1");
  EXPECT_THROW(Run("Dim bad = \"a\" & CStr(1) & Array(2)"), RuntimeError);
  EXPECT_EQ(process_.memory().mapped_bytes(), mapped);
}

// Debug.Print as the Immediate window shows values: numbers with room for a
// sign and a space after, print zones of 14 columns, ";" at the end keeping
// the line open.
TEST_F(InterpreterTest, DebugPrintShowsValuesAsTheImmediateWindowDoes) {
  std::string printed;
  interpreter_.set_printer([&](std::string_view text) { printed += text; });
  Run("Dim x As Long = 5: Dim s As String * 3 = \"ab\"\n"
      "Debug.Print x; -x; 1.5; CCur(2); True; Null; Empty; \"|\"\n"
      "Debug.Print \"a\", \"b\";: Debug.Print \"c\"\n"
      "Debug.Print\n"
      "Debug.Print s & \"|\"; #1/2/2000#; CVErr(7);\n"
      "x");
  interpreter_.EndPrintLine();
  EXPECT_EQ(printed,
            " 5 -5  1.5  2 TrueNull|\n"
            "a             bc\n"
            "\n"
            "ab |1/2/2000Error 7\n");
  printed.clear();
  const auto print = [&](std::string_view script) {
    interpreter_.RunStatements(ParseScript(script));
  };
  EXPECT_EQ(ErrorOf([&] { print("Debug.Print Array(1)"); }), kTypeMismatch);
  EXPECT_EQ(ErrorOf([&] { print("Dim o As Object: Debug.Print o"); }), kObjectNotSet);
  EXPECT_EQ(printed, "");
}

// The last statement that is not Debug.Print decides what is passed; a
// script that only prints passes nothing.
TEST_F(InterpreterTest, DebugPrintIsNeverWhatIsInspected) {
  const Address arg = Run("Dim x As Long = 7: Debug.Print x");
  EXPECT_EQ(Arg(arg).pointer(), Var("x").address);
  EXPECT_EQ(LoadVariant(process_.memory(), Run("CInt(3): Debug.Print 1")).integer(), 3);
  const Script prints = ParseScript("Debug.Print 1");
  EXPECT_TRUE(OnlyPrints(prints));
  EXPECT_FALSE(OnlyPrints(ParseScript("Debug.Print 1: 2")));
  EXPECT_FALSE(OnlyPrints(ParseScript("' nothing")));
  EXPECT_EQ(ErrorTextOf([&] { interpreter_.Run(prints); }),
            "1:14: nothing to inspect: the script only prints");
}

// What a script alone gives: "VALUE As TYPE" for the argument it passes, or
// its error ("run-time error N", or "LINE:COLUMN: MESSAGE" for the script).
std::string Outcome(std::string_view script, Platform platform = Platform::kWin32) {
  Process process(platform);
  Interpreter interpreter(process);
  try {
    const VariantImage arg =
        LoadVariant(process.memory(), interpreter.Run(ParseScript(script, platform)));
    return ToUtf8(VariantToText(process, arg)) + " As " + ToUtf8(TypeName(process, arg));
  } catch (const RuntimeError& e) {
    return "run-time error " + std::to_string(e.number());
  } catch (...) {
    return ErrorTextOf([] { throw; });
  }
}

TEST(Interpreter, ScriptsGiveThePlatformsTypesAndErrors) {
  const struct {
    const char* script;
    const char* outcome;
  } cases[] = {
      {"-CByte(5)", "-5 As Integer"},
      {"-True", "1 As Integer"},
      {"-\"2.5\"", "-2.5 As Double"},
      {"-(40000)", "-40000 As Long"},
      {"-1.5@", "-1.5 As Currency"},
      {"CVErr(2042)", "Error 2042 As Error"},
      {"Dim X As Integer = 7\nDim v = x", "7 As Integer"},  // names in any case
      {"Dim w As Variant\nw = CDate(\"1/2/2000\")", "1/2/2000 As Date"},
      {"Dim x As Integer = 40000", "run-time error 6"},
      {"-(-32768)", "run-time error 6"},
      {"CStr(Null)", "run-time error 94"},
      {"Dim d() As Long\nDim v = Array(1)\nd = v", "run-time error 13"},
      {"Dim o As Object = 5", "run-time error 13"},
      {"Dim v = y", "1:9: \"y\" is not declared: declare it first with Dim"},
      {"Dim x As Long\ndim X As Byte", "2:5: \"X\" is already declared"},
      {"Dim x As Long At 4294967294",
       "1:18: cannot place \"x\" At 4294967294 (4 bytes): that memory is in use or cannot hold a "
       "variable"},
      {"Dim x As Long At 1.5",
       "1:18: an address must be a whole number from -2147483648 to 4294967295, not 1.5"},
      {"Dim x As Long At \"here\"", "1:18: an address must be a number"},
      {"Dim a(1 To 3) As Byte = {1, 2, 3, 4}", "1:35: too many values: \"a\" has 3 elements"},
      {"Dim a(5 To 3) As Byte",
       "1:12: the dimension 5 To 3 runs backwards: the upper bound must be at least the lower "
       "bound minus 1"},
      {"Dim a(1 To 3000000000) As Byte",
       "1:12: a bound must be a whole number from -2147483648 to 2147483647, not 3000000000"},
      {"Dim x As Long = {1}",
       "1:17: only an array takes a list of values in braces; write = value"},
      {"Dim d() As Long = {1}",
       "1:19: \"d\" has no elements for a list of values: declare it with bounds, such as (1 To "
       "3)"},
      {"Dim a(2) As Long = 5",
       "1:20: a fixed array takes its initial values as a list in braces, as in = {1, 2, 3}"},
      {"Dim a(2) As Long\na = 5",
       "2:1: cannot assign to the fixed array \"a\": give its elements in its Dim, as in = {1, 2, "
       "3}"},
      {"Dim a(2) As Long\nReDim a(3)",
       "2:7: ReDim needs a dynamic array: \"a\" has fixed bounds (declare it as \"Dim a()\")"},
      {"Dim x\nReDim x(3)", "2:7: ReDim needs a dynamic array: \"x\" is not an array"},
      {"Dim x\nErase x", "2:7: Erase needs an array: \"x\" is not an array"},
      {"RawVariant(70000, 0, 0, 0, 0, 0)",
       "1:12: RawVariant's vt must be a whole number from -32768 to 65535, not 70000"},
      {"RawVariant(0, 0, 0, 0, 0, 4294967296)",
       "1:27: RawVariant's high32 must be a whole number from -2147483648 to 4294967295, not "
       "4294967296"},
      {"' nothing here\n", "2:1: nothing to inspect: the script has no statements"},
  };
  for (const auto& c : cases) EXPECT_EQ(Outcome(c.script), c.outcome) << c.script;
}

// LongLong exists on 64-bit only, as in the language; LongPtr is the
// platform's pointer-wide integer.
TEST(Interpreter, LongLongAndLongPtrFollowThePlatform) {
  const std::string refused =
      ": LongLong needs a 64-bit platform (--platform win64); on 32-bit, LongPtr is a Long";
  const struct {
    const char* script;
    const std::string win32;
    const std::string win64;
  } cases[] = {
      {"Dim p As LongPtr = 7\np", "7 As Long", "7 As LongLong"},
      {"CLngPtr(2.5)", "2 As Long", "2 As LongLong"},
      {"CLngPtr(3000000000)", "run-time error 6", "3000000000 As LongLong"},
      {"Dim a(1) As LongPtr\nDim v = a", "run-time error 13", "run-time error 13"},
      {"Dim x As LongLong = -9223372036854775808^", "1:10: \"LongLong\"" + refused,
       "-9223372036854775808 As LongLong"},
      {"CLngLng(\"9223372036854775807\")", "1:1: \"CLngLng\"" + refused,
       "9223372036854775807 As LongLong"},
      {"x = 5^", "1:5: \"5^\"" + refused, "1:1: \"x\" is not declared: declare it first with Dim"},
      {"&HFFFFFFFFFFFFFFFF^", "1:1: \"&HFFFFFFFFFFFFFFFF^\"" + refused, "-1 As LongLong"},
      {"&O1777777777777777777777^", "1:1: \"&O1777777777777777777777^\"" + refused,
       "-1 As LongLong"},
      {"-(-9223372036854775808^)", "1:4: \"9223372036854775808^\"" + refused, "run-time error 6"},
      {"-CLngLng(5)", "1:2: \"CLngLng\"" + refused, "-5 As LongLong"},
      {"Dim x As LongLong = 2^63", "1:10: \"LongLong\"" + refused,
       "1:23: unexpected \"6\" after the number \"2^\""},
      {"CLngLng(-922337203685477.5808@)", "1:1: \"CLngLng\"" + refused,
       "-922337203685478 As LongLong"},
      {"CLngLng(1E19)", "1:1: \"CLngLng\"" + refused, "run-time error 6"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Outcome(c.script, Platform::kWin32), c.win32) << c.script;
    EXPECT_EQ(Outcome(c.script, Platform::kWin64), c.win64) << c.script;
  }
}

TEST_F(InterpreterTest, ArraysInVariantsNestAtMostSixtyFourDeep) {
  std::string script = "Dim v = Array()";
  for (int i = 0; i < 63; ++i) script += "\nv = Array(v)";
  EXPECT_NO_THROW(Run(script));
  EXPECT_EQ(ErrorTextOf([&] { Run("v = Array(v)"); }),
            "1:11: arrays nest too deeply: at most 64 levels of arrays inside Variants");
  EXPECT_THROW(Run("Dim a(0) As Variant = {v}"), ScriptError);
}

// A Variant array laid out by hand in a Long array's data (at 1536000): its
// one element holds the array itself.
constexpr const char* kSelfHolding =
    "Dim m(0 To 10) As Long = {12, 1, 16, 0, 1536028, 1, 0, 8204, 0, 1536004, 0}\n"
    "Dim v = RawVariant(8204, 0, 0, 0, 1536004, 0)\n";

// `levels` Variant arrays laid out the same way, each with two elements that
// hold the next one: 2^levels paths through `levels` arrays.
std::string SharedChain(int levels) {
  std::string values;
  for (int k = 0; k < levels; ++k) {
    const int base = 1536000 + 60 * k;
    const std::string next = k + 1 < levels ? std::to_string(base + 64) : "0";
    const std::string kind = k + 1 < levels ? "8204" : "0";
    values += (k == 0 ? "" : ", ") + std::string("12, 1, 16, 0, ") + std::to_string(base + 28) +
              ", 2, 0, " + kind + ", 0, " + next + ", 0, " + kind + ", 0, " + next + ", 0";
  }
  return "Dim m(0 To " + std::to_string(15 * levels - 1) + ") As Long = {" + values +
         "}\nDim v = RawVariant(8204, 0, 0, 0, 1536004, 0)\n";
}

TEST_F(InterpreterTest, ArraysThatHoldThemselvesAreCopiedOnce) {
  Run(kSelfHolding);
  for (const char* copy : {"(v)", "CVar(v)", "Dim w = v", "Dim d\nd = v"}) {
    const VariantImage arg = Arg(Run(copy));
    ASSERT_EQ(arg.vt(), vbArray | vbVariant) << copy;
    const Address copied = Dereference(process_.memory(), arg).pointer();
    const VariantImage element =
        LoadVariant(process_.memory(), SafeArrayData(process_.memory(), copied));
    EXPECT_EQ(element.pointer(), copied) << copy;
  }
  EXPECT_EQ(ErrorTextOf([&] { Run("Dim b = Array(v)"); }),
            "1:15: arrays nest too deeply: at most 64 levels of arrays inside Variants");
}

// Copies and the nesting check visit each array once: without that, these
// would take 2^40 and 2^64 steps.
TEST_F(InterpreterTest, ArraysThatShareNestedArraysCostWhatIsThere) {
  Run(SharedChain(40) + "Dim a(0) As Variant = {v}\nDim b = Array(v, v)\nDim w = b");
  const uint64_t mapped = process_.memory().mapped_bytes();
  EXPECT_LT(mapped, 1u << 20);
  Process deep_process;
  Interpreter deep(deep_process);
  EXPECT_THROW(deep.Run(ParseScript(SharedChain(70) + "Dim b = Array(v)")), ScriptError);
}

TEST_F(InterpreterTest, ArgAtPlacesTheArgumentVariant) {
  const Address arg = Run("Dim x As Long = 5", 1000000);
  EXPECT_EQ(arg, 1000000u);
  EXPECT_EQ(Arg(arg).vt(), vbLong | kByRef);
  EXPECT_EQ(Arg(arg).pointer(), 1243024u);
  // An error of the last value stays a run-time error, not one of --arg-at.
  EXPECT_EQ(ErrorOf([&] { Run("CStr(RawVariant(8, 0, 0, 0, 12, 0))", 268435456); }),
            kInvalidArgument);
}

TEST_F(InterpreterTest, ArgAtDeclaresTheInspectedVariantThere) {
  const Address arg = Run("Dim v As Variant\nDim x As Long\nv = 5", 268435456);
  EXPECT_EQ(arg, 268435456u);
  EXPECT_EQ(Var("v").address, 268435456u);
  EXPECT_EQ(Var("x").address, 1243024u);  // the Variant did not take a slot in the frame
  EXPECT_EQ(Arg(arg).vt(), vbInteger);
}

}  // namespace
}  // namespace dudUdudADOD::cli
