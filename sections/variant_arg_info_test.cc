#include "sections/variant_arg_info.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "automation/bstr.h"
#include "automation/runtime_error.h"
#include "automation/safe_array.h"
#include "model/bstr_heap.h"
#include "model/client.h"
#include "model/safe_array_heap.h"
#include "testutil/golden.h"

namespace dudUdudADOD::sections {
namespace {

using automation::Address;
using automation::Client;
using automation::Process;
using automation::VariantImage;

// Line n (from 1) of a CR LF text. Column c of a line is its index c - 1.
std::u16string Line(const std::u16string& text, int n) {
  size_t start = 0;
  for (int i = 1; i < n; ++i) start = text.find(u"\r\n", start) + 2;
  return text.substr(start, text.find(u"\r\n", start) - start);
}

std::u16string Section(Process& process, Address arg) {
  int64_t arg_address = 0;
  std::u16string text = VariantArgInfo(process, arg, arg_address);
  EXPECT_EQ(arg_address, static_cast<int32_t>(arg));
  return text;
}

const std::u16string kHead =
    u"/// VARIANT_ARG STRUCTURE ///" + std::u16string(99, u' ') +
    u"\r\nEntry          Variable        Address         Type            LenB    Value           "
    u"Bytes\r\n";
const std::u16string kReservedRows =
    u"               Reserved        1242982         Integer         2       0               0 0 "
    u"\r\n"
    u"               Reserved        1242984         Integer         2       0               0 0 "
    u"\r\n"
    u"               Reserved        1242986         Integer         2       0               0 0 "
    u"\r\n";

TEST(VariantArgInfo, LongPassedByReference) {
  Process process;
  Client client(process);
  const automation::Variable x = client.Dim(automation::vbLong);
  client.Assign(x, VariantImage::Long(5));
  const Address arg = client.Pass(x);
  ASSERT_EQ(x.address, 1243024u);
  ASSERT_EQ(arg, 1242980u);
  EXPECT_SAME_TEXT(Section(process, arg),
                   kHead +
                       u"1242980        vbType          1242980         Integer         2       "
                       u"16387           3 64 \r\n" +
                       kReservedRows +
                       u"               Pointer         1242988         Union           4       "
                       u"1243024         144 247 18 0 ");
}

TEST(VariantArgInfo, IntegerHeldInVariantVariable) {
  Process process;
  Client client(process);
  const automation::Variable v = client.Dim(automation::vbVariant, 1242980);
  client.Assign(v, VariantImage::Integer(5));
  EXPECT_SAME_TEXT(Section(process, client.Pass(v)),
                   kHead +
                       u"1242980        vbType          1242980         Integer         2       2  "
                       u"             2 0 \r\n" +
                       kReservedRows +
                       u"               Value           1242988         Union           2       5  "
                       u"             5 0 ");
}

TEST(VariantArgInfo, ArrayVariableIsPointerToItsCell) {
  Process process;
  Client client(process);
  const std::array<automation::DeclaredBound, 1> bounds{{{1, 10}}};
  const std::u16string text =
      Section(process, client.Pass(client.DimArray(automation::vbLong, bounds)));
  EXPECT_SAME_TEXT(Line(text, 3).substr(71), u"24579           3 96 ");
  EXPECT_SAME_TEXT(
      Line(text, 7).substr(15),
      u"Pointer         1242988         Union           4       1243024         144 247 18 0 ");
}

TEST(VariantArgInfo, FirstReservedWordInTypeWordNotInItsDump) {
  Process process;
  VariantImage value = VariantImage::Long(5);
  value.bytes()[2] = 1;
  Client client(process);
  const std::u16string text = Section(process, client.PassValue(value));
  EXPECT_SAME_TEXT(Line(text, 3).substr(71), u"65539           3 0 ");
  EXPECT_SAME_TEXT(Line(text, 4).substr(71), u"1               1 0 ");
}

// A variant alone in exactly 16 mapped bytes at 131072: a read past it would
// fail with error 5. The first string the heap hands out lies at 0x00140004
// (bytes 4 0 20 0), the first array descriptor at 0x00140010 (16 0 20 0).
constexpr Address kArgAt = 0x00020000;
using Maker = std::function<VariantImage(Process&)>;

VariantImage String(Process& process, std::u16string_view text) {
  return VariantImage::String(automation::SysAllocString(process, text));
}

VariantImage ByteArray(Process& process, std::span<const uint8_t> bytes) {
  const std::array<automation::DeclaredBound, 1> bounds{
      {{0, static_cast<int32_t>(bytes.size()) - 1}}};
  const Address sa = automation::SafeArrayCreate(process, automation::vbByte, bounds);
  process.memory().Write(automation::SafeArrayData(process.memory(), sa), bytes.data(),
                         static_cast<uint32_t>(bytes.size()));
  return VariantImage::Array(automation::vbByte, sa);
}

TEST(VariantArgInfo, ValueHeldInVariant) {
  static constexpr uint8_t kHello[] = {72, 0, 101, 0, 108, 0, 108, 0, 111, 0};
  struct Case {
    const char* name;
    Maker make;
    const char16_t* line7_from_64;
  } const cases[] = {
      {"Double", [](Process&) { return VariantImage::Double(1); },
       u"8       1               0 0 0 0 0 0 240 63 "},
      {"Boolean", [](Process&) { return VariantImage::Boolean(true); },
       u"2       True            255 255 "},
      {"short string", [](Process& p) { return String(p, u"ab"); },
       u"4       ab              4 0 20 0 "},
      // Past 8 bytes, LenB gives the data size and the dump stops at the end
      // of the data field.
      {"long string", [](Process& p) { return String(p, u"Hello"); },
       u"10      Hello           4 0 20 0 0 0 0 0 "},
      {"Byte array of 10", [](Process& p) { return ByteArray(p, kHello); },
       u"10      Hello           16 0 20 0 0 0 0 0 "},
      // A Value reaching column 88 is overwritten there by the dump; what
      // stands beyond the dump's end stays.
      {"value into Bytes",
       [](Process& p) { return String(p, u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmn"); },
       u"80      ABCDEFGHIJKLMNOP4 0 20 0 0 0 0 0 hijklmn"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Process process;
    Client client(process);
    const std::u16string text = Section(process, client.PassValue(c.make(process), kArgAt));
    EXPECT_SAME_TEXT(Line(text, 7),
                     u"               Value           131080          Union           " +
                         std::u16string(c.line7_from_64));
    EXPECT_EQ(std::count(text.begin(), text.end(), u'\n'), 6);  // seven lines
    EXPECT_NE(text.back(), u'\n');
  }
}

TEST(VariantArgInfo, Failures) {
  struct Case {
    const char* name;
    Maker make;
    Address at;
    int error;
  } const cases[] = {
      // No text form: the conversion fails before the dump.
      {"Null", [](Process&) { return VariantImage::Null(); }, kArgAt, 94},
      {"Long array",
       [](Process& p) {
         const std::array<automation::DeclaredBound, 1> b{{{0, 2}}};
         return VariantImage::Array(automation::vbLong,
                                    automation::SafeArrayCreate(p, automation::vbLong, b));
       },
       kArgAt, 13},
      {"Nothing", [](Process&) { return VariantImage::Object(0); }, kArgAt, 91},
      {"object without default",
       [](Process& p) { return VariantImage::Object(p.NewObject(u"Thing", {})); }, kArgAt, 438},
      // A data size of 0: the dump has no byte to show.
      {"Empty", [](Process&) { return VariantImage::Empty(); }, kArgAt, 9},
      {"empty string", [](Process&) { return VariantImage::String(0); }, kArgAt, 9},
      {"object with default",
       [](Process& p) { return VariantImage::Object(p.NewObject(u"Thing", u"x")); }, kArgAt, 9},
      {"Byte array without storage",
       [](Process&) { return VariantImage::Array(automation::vbByte, 0); }, kArgAt, 9},
      // A + 8 passes 2^31 - 1.
      {"address overflow", [](Process&) { return VariantImage::Long(5); }, 0x7FFFFFF8u, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Process process;
    Client client(process);
    const Address arg = client.PassValue(c.make(process), c.at);
    int64_t arg_address = 0;
    try {
      VariantArgInfo(process, arg, arg_address);
      ADD_FAILURE() << "no error raised";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number(), c.error);
    }
  }
}

}  // namespace
}  // namespace dudUdudADOD::sections
