#include "sections/variable_info.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

#include "automation/bstr.h"
#include "automation/runtime_error.h"
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

const std::u16string kHead =
    u"/// VARIABLE ///" + std::u16string(112, u' ') +
    u"\r\nType           Array           Address         FAR_REF         LenB    Value           "
    u"Bytes\r\n";
// Line 4 after a value shown as "***": the empty byte text placed at column 88.
const std::u16string k87Spaces(87, u' ');

TEST(VariableInfo, LongPassedByReference) {
  Process process;
  Client client(process);
  const automation::Variable x = client.Dim(automation::vbLong);
  client.Assign(x, VariantImage::Long(5));
  ASSERT_EQ(x.address, 1243024u);
  int32_t data_bytes = -7;
  EXPECT_SAME_TEXT(VariableInfo(process, client.Pass(x), data_bytes),
                   kHead +
                       u"Long           False           1243024         True            4       5  "
                       u"             5 0 0 0 \r\n");
  EXPECT_EQ(data_bytes, 4);
}

TEST(VariableInfo, StringOfThreeCharacters) {
  Process process;
  Client client(process);
  const automation::Variable s = client.Dim(automation::vbString, 1243036);
  client.Assign(s, VariantImage::String(automation::SysAllocString(process, u"abc")));
  int32_t data_bytes = -7;
  EXPECT_SAME_TEXT(VariableInfo(process, client.Pass(s), data_bytes),
                   kHead +
                       u"String         False           1243036         True            6       "
                       u"***             ***\r\n" +
                       k87Spaces);
  EXPECT_EQ(data_bytes, 6);
}

TEST(VariableInfo, ArrayOfTenLongsShowsCallersTotal) {
  Process process;
  Client client(process);
  const std::array<automation::DeclaredBound, 1> bounds{{{1, 10}}};
  const automation::Variable a = client.DimArray(automation::vbLong, bounds);
  ASSERT_EQ(a.address, 1243024u);
  int32_t data_bytes = 40;
  EXPECT_SAME_TEXT(VariableInfo(process, client.Pass(a), data_bytes),
                   kHead +
                       u"Long()         True            1243024         True            40      "
                       u"***             ***\r\n");
  EXPECT_EQ(data_bytes, 40);  // printed, never changed
}

TEST(VariableInfo, VariantPassedDirectlyOrByReference) {
  Process process;
  Client client(process);
  const automation::Variable v = client.Dim(automation::vbVariant, 1242980);
  client.Assign(v, VariantImage::Long(5));
  int32_t data_bytes = 0;
  // Directly: the variant is the variable; its first 4 bytes are vt and the
  // first reserved word.
  EXPECT_SAME_TEXT(VariableInfo(process, client.Pass(v), data_bytes),
                   kHead +
                       u"Long           False           1242980         False           4       5  "
                       u"             3 0 0 0 \r\n");
  // Through a variant referring to it (0x400C): T is 12, so no value text,
  // while Type and LenB describe the Long inside.
  EXPECT_SAME_TEXT(VariableInfo(process, client.PassValue(client.Reference(v)), data_bytes),
                   kHead +
                       u"Long           False           1242980         True            4       "
                       u"***             ***\r\n" +
                       k87Spaces);
}

TEST(VariableInfo, ScalarsByType) {
  struct Case {
    uint16_t type;
    VariantImage value;
    const char16_t* line3;
    int32_t data_size;
  } const cases[] = {
      {automation::vbByte, VariantImage::Byte(65),
       u"Byte           False           65536           True            1       65              "
       u"65 ",
       1},
      {automation::vbInteger, VariantImage::Integer(-2),
       u"Integer        False           65536           True            2       -2              "
       u"254 255 ",
       2},
      {automation::vbCurrency, VariantImage::Currency(15000),
       u"Currency       False           65536           True            8       1.5             "
       u"152 58 0 0 0 0 0 0 ",
       8},
      {automation::vbDate, VariantImage::Date(36526),
       u"Date           False           65536           True            8       1/1/2000        0 "
       u"0 0 0 192 213 225 64 ",
       8},
      {automation::vbBoolean, VariantImage::Boolean(true),
       u"Boolean        False           65536           True            2       ***             "
       u"***",
       2},
      {automation::vbError, VariantImage::Error(5),
       u"Error          False           65536           True            4       ***             "
       u"***",
       4},
      {automation::vbObject, VariantImage::Object(0),
       u"Nothing        False           65536           True            0       ***             "
       u"***",
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    Process process;
    Client client(process);
    const automation::Variable x = client.Dim(c.type, 0x00010000);
    client.Assign(x, c.value);
    int32_t data_bytes = -7;
    const bool starred = std::u16string_view(c.line3).ends_with(u"***");
    EXPECT_SAME_TEXT(VariableInfo(process, client.Pass(x), data_bytes),
                     kHead + c.line3 + u"\r\n" + (starred ? k87Spaces : u""));
    EXPECT_EQ(data_bytes, c.data_size);
  }
}

TEST(VariableInfo, LongTypeNameIsCutByArrayColumn) {
  Process process;
  Client client(process);
  const automation::Variable o = client.Dim(automation::vbObject, 0x00010000);
  client.Assign(o, VariantImage::Object(process.NewObject(u"AVeryLongClassNameIndeed", {})));
  int32_t data_bytes = 0;
  EXPECT_SAME_TEXT(VariableInfo(process, client.Pass(o), data_bytes),
                   kHead +
                       u"AVeryLongClassNFalsedeed       65536           True            0       "
                       u"***             ***\r\n" +
                       k87Spaces);
}

TEST(VariableInfo, Failures) {
  struct Case {
    const char* name;
    VariantImage value;
    Address at;
    int error;
  } const cases[] = {
      {"Empty: dump of 0 bytes", VariantImage::Empty(), 0x00010000, 9},
      {"Null: no text form", VariantImage::Null(), 0x00010000, 94},
      {"A + 8 overflows", VariantImage::Reference(automation::vbLong, 0x00010000), 0x7FFFFFF8u, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Process process;
    Client client(process);
    int32_t data_bytes = 0;
    try {
      VariableInfo(process, client.PassValue(c.value, c.at), data_bytes);
      ADD_FAILURE() << "no error raised";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number(), c.error);
    }
  }
}

}  // namespace
}  // namespace dudUdudADOD::sections
