// The report over a 64-bit client process: every section as on 32-bit but
// for the widths and offsets of the 64-bit layouts (24-byte variants with a
// 16-byte data field, 8-byte pointers, pvData at 16 and the bounds from 24)
// and addresses above 4 GiB, so that a truncation to 32 bits shows.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>

#include "automation/bstr.h"
#include "automation/integer_types.h"
#include "automation/runtime_error.h"
#include "automation/safe_array.h"
#include "inspector/ravoduze.h"
#include "model/bstr_heap.h"
#include "model/client.h"
#include "model/safe_array_heap.h"
#include "testutil/golden.h"

namespace dudUdudADOD {
namespace {

using namespace automation;

// Lines joined by CR LF, as a report joins them.
std::u16string Lines(std::initializer_list<std::string_view> lines) {
  std::u16string text;
  for (std::string_view line : lines) {
    if (!text.empty() || line.data() != lines.begin()->data()) text += u"\r\n";
    text += testutil::U16(line);
  }
  return text;
}

class Win64ReportTest : public ::testing::Test {
 protected:
  std::u16string Report(Address arg, std::optional<int32_t> var_flags = std::nullopt,
                        std::optional<int32_t> vat_flags = std::nullopt,
                        std::optional<std::u16string> sep = std::nullopt) {
    return inspector_(arg, std::nullopt, var_flags, vat_flags, sep);
  }
  int ErrorOf(Address arg, int32_t var_flags) {
    try {
      Report(arg, var_flags);
    } catch (const RuntimeError& e) {
      return e.number();
    }
    return 0;
  }

  Process process_{Platform::kWin64};
  Client client_{process_};
  RavoDUZE inspector_{process_};
};

// The road of one call: the Pointer row is 8 bytes wide and every address
// lies above 4 GiB.
TEST_F(Win64ReportTest, DefaultReportOfALong) {
  const Variable x = client_.Dim(vbLong);
  client_.Assign(x, VariantImage::Long(5));
  EXPECT_SAME_TEXT(
      Report(client_.Pass(x)),
      Lines({"/// VARIANT_ARG STRUCTURE ///                                                        "
             "                                           ",
             "Entry          Variable        Address         Type            LenB    Value         "
             "  Bytes",
             "718323769408   vbType          718323769408    Integer         2       16387         "
             "  3 64 ",
             "               Reserved        718323769410    Integer         2       0             "
             "  0 0 ",
             "               Reserved        718323769412    Integer         2       0             "
             "  0 0 ",
             "               Reserved        718323769414    Integer         2       0             "
             "  0 0 ",
             "               Pointer         718323769416    Union           8       718323769480  "
             "  136 224 110 63 167 0 0 0 ",
             "",
             "/// VARIABLE ///                                                                     "
             "                                           ",
             "Type           Array           Address         FAR_REF         LenB    Value         "
             "  Bytes",
             "Long           False           718323769480    True            4       5             "
             "  5 0 0 0 ",
             "", "", "/// VALUE ///", "1 element, 4 bytes in memory, Entry = 718323769480",
             "Legend: Indexed=True, CharASCII=True, OrdinalPos=True, (^Address/LenB)=True", "5",
             ""}));
}

// pvData is a LongLong at +16 (the padding before it is no row) and the
// bounds follow from +24; the values header's Entry is the 64-bit pvData.
TEST_F(Win64ReportTest, DescriptorAndValuesOfAnArray) {
  const DeclaredBound bounds[] = {{1, 3}};
  const Variable a = client_.DimArray(vbLong, bounds);
  client_.AssignElements(
      a, std::initializer_list<VariantImage>{VariantImage::Long(7), VariantImage::Long(8),
                                             VariantImage::Long(9)});
  EXPECT_SAME_TEXT(
      Report(client_.Pass(a), varSA_Stru | varSA_Bounds | varValues, vatNOTHING),
      Lines({"", "/// SAFEARRAY STRUCTURE ///                                             ",
             "Entry          Variable        Address         Type            LenB    Value         "
             "  Bytes",
             "718323768816   .cDims          718323768816    Integer         2       1             "
             "  1 0 ",
             "               .fFeaures       718323768818    Integer         2       128           "
             "  128 0 ",
             "               .cbArrElemSize  718323768820    Long            4       4             "
             "  4 0 0 0 ",
             "               .cLock          718323768824    Long            4       0             "
             "  0 0 0 0 ",
             "               .pvData         718323768832    LongLong        8       2085131612160 "
             "  0 112 135 123 229 1 0 0 ",
             "                                                                        ",
             "Entry          Bound           cElements       lBound          uBound   ",
             "2085131612160  0               3               1               3        ", "", "",
             "/// VALUES ///", "3 elements, 12 bytes in memory, Entry = 2085131612160", "7 8 9 ",
             ""}));
}

VariantImage LongLong(int64_t v) { return IntegerVariant(vbLongLong, WholeNumber::Of(v)); }

// A LongLong, what 64-bit programs pass for LongLong and LongPtr variables:
// 8 bytes by reference, the value read whole and its bytes in full.
TEST_F(Win64ReportTest, DefaultReportOfALongLong) {
  const Variable x = client_.Dim(vbLongLong);
  client_.Assign(x, LongLong(-1099511627776));
  EXPECT_SAME_TEXT(
      Report(client_.Pass(x)),
      Lines({"/// VARIANT_ARG STRUCTURE ///                                                        "
             "                                           ",
             "Entry          Variable        Address         Type            LenB    Value         "
             "  Bytes",
             "718323769408   vbType          718323769408    Integer         2       16404         "
             "  20 64 ",
             "               Reserved        718323769410    Integer         2       0             "
             "  0 0 ",
             "               Reserved        718323769412    Integer         2       0             "
             "  0 0 ",
             "               Reserved        718323769414    Integer         2       0             "
             "  0 0 ",
             "               Pointer         718323769416    Union           8       718323769480  "
             "  136 224 110 63 167 0 0 0 ",
             "",
             "/// VARIABLE ///                                                                     "
             "                                           ",
             "Type           Array           Address         FAR_REF         LenB    Value         "
             "  Bytes",
             "LongLong       False           718323769480    True            8       -1099511627776"
             "  0 0 0 0 0 255 255 255 ",
             "", "", "/// VALUE ///", "1 element, 8 bytes in memory, Entry = 718323769480",
             "Legend: Indexed=True, CharASCII=True, OrdinalPos=True, (^Address/LenB)=True",
             "-1099511627776", ""}));
}

// Held in a Variant variable, which passes as itself: the value fills the
// first 8 bytes of the 16-byte data field, and LenB is 8.
TEST_F(Win64ReportTest, LongLongHeldInAVariant) {
  const Variable v = client_.Dim(vbVariant);
  client_.Assign(v, LongLong(-5));
  EXPECT_SAME_TEXT(
      Report(client_.Pass(v), varARG | varDef),
      Lines({"/// VARIANT_ARG STRUCTURE ///                                                        "
             "                                           ",
             "Entry          Variable        Address         Type            LenB    Value         "
             "  Bytes",
             "718323769464   vbType          718323769464    Integer         2       20            "
             "  20 0 ",
             "               Reserved        718323769466    Integer         2       0             "
             "  0 0 ",
             "               Reserved        718323769468    Integer         2       0             "
             "  0 0 ",
             "               Reserved        718323769470    Integer         2       0             "
             "  0 0 ",
             "               Value           718323769472    Union           8       -5            "
             "  251 255 255 255 255 255 255 255 ",
             "",
             "/// VARIABLE ///                                                                     "
             "                                           ",
             "Type           Array           Address         FAR_REF         LenB    Value         "
             "  Bytes",
             "LongLong       False           718323769464    False           8       -5            "
             "  20 0 0 0 0 0 0 0 ",
             "", ""}));
}

// An array of LongLong (a LongPtr array on 64-bit): 8-byte elements, every
// digit of the widest values.
TEST_F(Win64ReportTest, ArrayOfLongLong) {
  const DeclaredBound bounds[] = {{1, 3}};
  const Variable a = client_.DimArray(vbLongLong, bounds);
  client_.AssignElements(a, std::initializer_list<VariantImage>{LongLong(-1), LongLong(4294967296),
                                                                LongLong(INT64_MAX)});
  EXPECT_SAME_TEXT(
      Report(client_.Pass(a), varALLINFO, vatIndexed),
      Lines({"/// VARIANT_ARG STRUCTURE ///                                                        "
             "                                           ",
             "Entry          Variable        Address         Type            LenB    Value         "
             "  Bytes",
             "718323769408   vbType          718323769408    Integer         2       24596         "
             "  20 96 ",
             "               Reserved        718323769410    Integer         2       0             "
             "  0 0 ",
             "               Reserved        718323769412    Integer         2       0             "
             "  0 0 ",
             "               Reserved        718323769414    Integer         2       0             "
             "  0 0 ",
             "               Pointer         718323769416    Union           8       718323769480  "
             "  136 224 110 63 167 0 0 0 ",
             "",
             "",
             "/// VARIABLE ///                                                                     "
             "                                           ",
             "Type           Array           Address         FAR_REF         LenB    Value         "
             "  Bytes",
             "LongLong()     True            718323769480    True            24      ***           "
             "  ***",
             "",
             "",
             "/// SAFEARRAY STRUCTURE ///                                             ",
             "Entry          Variable        Address         Type            LenB    Value         "
             "  Bytes",
             "718323768816   .cDims          718323768816    Integer         2       1             "
             "  1 0 ",
             "               .fFeaures       718323768818    Integer         2       128           "
             "  128 0 ",
             "               .cbArrElemSize  718323768820    Long            4       8             "
             "  8 0 0 0 ",
             "               .cLock          718323768824    Long            4       0             "
             "  0 0 0 0 ",
             "               .pvData         718323768832    LongLong        8       2085131612160 "
             "  0 112 135 123 229 1 0 0 ",
             "                                                                        ",
             "Entry          Bound           cElements       lBound          uBound   ",
             "2085131612160  0               3               1               3        ",
             "",
             "",
             "/// VALUES ///",
             "3 elements, 24 bytes in memory, Entry = 2085131612160",
             "[1]-1 [2]4294967296 [3]9223372036854775807 ",
             ""}));
}

// LongLong elements of a Variant array show their values, not "Unknown",
// labelled by ordinal as every one-dimensional array is.
TEST_F(Win64ReportTest, LongLongElementsOfAVariantArray) {
  const DeclaredBound bounds[] = {{0, 2}};
  const Variable v = client_.DimArray(vbVariant, bounds);
  client_.AssignElements(
      v, std::initializer_list<VariantImage>{LongLong(-2), LongLong(3),
                                             VariantImage::String(SysAllocString(process_, u"x"))});
  EXPECT_SAME_TEXT(
      Report(client_.Pass(v), varValues, vatIndexed),
      Lines({"", "/// VALUES ///", "3 elements, 72 bytes in memory, Entry = 2085131612160",
             "[1]-2 [2]3 [3]x ", ""}));
}

// A value held in the variant dumps at most the 16 bytes of the data field,
// never what lies past the variant, while LenB shows the whole size.
TEST_F(Win64ReportTest, HeldStringDumpsTheWholeDataFieldOnly) {
  const Variable v = client_.Dim(vbVariant);
  client_.Assign(v, VariantImage::String(SysAllocString(process_, u"abcdefghijkl")));
  const Address text = ReadPointer(process_.memory(), v.address + 8);
  std::string bytes;
  for (int i = 0; i < 16; ++i) bytes += std::to_string(i < 8 ? (text >> (8 * i)) & 255 : 0) + " ";
  const std::u16string report = Report(client_.Pass(v), varARG);
  const std::u16string line7 =
      testutil::U16("               Value           718323769472    Union           24      " +
                    std::string("abcdefghijkl    ") + bytes + "\r\n");
  EXPECT_NE(report.find(line7), std::u16string::npos) << testutil::Visible(report);
}

// String elements are 8-byte pointers; their suffix shows the 64-bit address.
TEST_F(Win64ReportTest, StringElementsShowTheirWholeAddresses) {
  const DeclaredBound bounds[] = {{1, 2}};
  const Variable s = client_.DimArray(vbString, bounds);
  client_.AssignElements(
      s, std::initializer_list<VariantImage>{VariantImage::String(SysAllocString(process_, u"ab")),
                                             VariantImage::String(SysAllocString(process_, u"c"))});
  const Address data = SafeArrayData(process_.memory(), ReadPointer(process_.memory(), s.address));
  const Address ab = ReadPointer(process_.memory(), data);
  const Address c = ReadPointer(process_.memory(), data + 8);
  ASSERT_GT(ab, Address{0xFFFFFFFF});
  EXPECT_SAME_TEXT(Report(client_.Pass(s), varValues, vatAddrLen, u";"),
                   testutil::U16("\r\n/// VALUES ///\r\n2 elements, 16 bytes in memory, Entry = " +
                                 std::to_string(data) + "\r\nab(^" + std::to_string(ab) +
                                 "/4);c(^" + std::to_string(c) + "/2);\r\n"));
}

// Variant elements take 24 bytes each, and their values print from there.
TEST_F(Win64ReportTest, VariantElementsAre24Bytes) {
  const DeclaredBound bounds[] = {{0, 2}};
  const Variable v = client_.DimArray(vbVariant, bounds);
  client_.AssignElements(
      v, std::initializer_list<VariantImage>{VariantImage::Long(1),
                                             VariantImage::String(SysAllocString(process_, u"x")),
                                             VariantImage::Double(2.5)});
  const std::u16string report = Report(client_.Pass(v), varValues, vatNOTHING);
  EXPECT_NE(report.find(u"3 elements, 72 bytes in memory"), std::u16string::npos)
      << testutil::Visible(report);
  EXPECT_NE(report.find(u"1 x 2.5 \r\n"), std::u16string::npos) << testutil::Visible(report);
}

// Pointers are read whole: a descriptor whose pvData has a high half that
// points nowhere fails with error 5, where a 32-bit read would have shown
// the data at the low half.
TEST_F(Win64ReportTest, PointersAreNeverCutTo32Bits) {
  const DeclaredBound bounds[] = {{1, 2}};
  const Variable a = client_.DimArray(vbByte, bounds);
  const Address descriptor = ReadPointer(process_.memory(), a.address);
  const Address data = SafeArrayData(process_.memory(), descriptor);
  ASSERT_GT(data, Address{0xFFFFFFFF});
  WriteUInt32(process_.memory(), descriptor + 16 + 4, static_cast<uint32_t>((data >> 32) + 1));
  const Address arg = client_.Pass(a);
  EXPECT_EQ(ErrorOf(arg, varValues), kInvalidArgument);
  EXPECT_EQ(ErrorOf(arg, varSA_Stru), 0);  // the descriptor itself still shows
}

// The 32-bit model is unchanged beside it: the same variable, 16 bytes.
TEST_F(Win64ReportTest, TheDefaultPlatformStays32Bit) {
  Process process;
  Client client(process);
  const Variable x = client.Dim(vbLong);
  const Address arg = client.Pass(x);
  EXPECT_EQ(arg, 1242980u);
  EXPECT_EQ(process.memory().layout().variant_size, 16u);
  EXPECT_EQ(process_.memory().layout().variant_size, 24u);
}

}  // namespace
}  // namespace dudUdudADOD
