// The main call: which sections appear, how they are joined, and the values
// header.
#include "inspector/ravoduze.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "automation/bstr.h"
#include "automation/runtime_error.h"
#include "automation/safe_array.h"
#include "model/bstr_heap.h"
#include "model/client.h"
#include "model/safe_array_heap.h"
#include "model/variant_memory.h"
#include "testutil/golden.h"

namespace dudUdudADOD {
namespace {

using namespace automation;
using testutil::U16;

std::u16string Padded(std::u16string line, size_t width) {
  line.resize(width, u' ');
  return line;
}

class MainCallTest : public ::testing::Test {
 protected:
  Variable LongHolding(int32_t value) {
    const Variable x = client_.Dim(vbLong);
    client_.Assign(x, VariantImage::Long(value));
    return x;
  }
  Variable Array(uint16_t type, std::vector<DeclaredBound> bounds) {
    return client_.DimArray(type, bounds);
  }
  Address DataOf(const Variable& array) {
    return ReadUInt32(process_.memory(), ReadUInt32(process_.memory(), array.address) + 12);
  }
  int ErrorOf(Address var, int32_t flags) {
    try {
      inspector_(var, std::nullopt, flags);
    } catch (const RuntimeError& e) {
      return e.number();
    }
    return 0;
  }

  Process process_;
  Client client_{process_};
  RavoDUZE inspector_{process_};
};

// The road of one call: a Long holding 5, every optional parameter omitted.
TEST_F(MainCallTest, DefaultReportOfALong) {
  const Address arg = client_.Pass(LongHolding(5));
  const std::u16string expected =
      Padded(u"/// VARIANT_ARG STRUCTURE ///", 128) + u"\r\n" +
      u"Entry          Variable        Address         Type            LenB    Value           "
      u"Bytes\r\n"
      u"1242980        vbType          1242980         Integer         2       16387           3 "
      u"64 \r\n"
      u"               Reserved        1242982         Integer         2       0               0 0 "
      u"\r\n"
      u"               Reserved        1242984         Integer         2       0               0 0 "
      u"\r\n"
      u"               Reserved        1242986         Integer         2       0               0 0 "
      u"\r\n"
      u"               Pointer         1242988         Union           4       1243024         144 "
      u"247 18 0 " +
      u"\r\n\r\n" + Padded(u"/// VARIABLE ///", 128) + u"\r\n" +
      u"Type           Array           Address         FAR_REF         LenB    Value           "
      u"Bytes\r\n"
      u"Long           False           1243024         True            4       5               5 0 "
      u"0 0 \r\n"
      u"\r\n"
      u"\r\n/// VALUE ///\r\n1 element, 4 bytes in memory, Entry = 1243024\r\n"
      u"Legend: Indexed=True, CharASCII=True, OrdinalPos=True, (^Address/LenB)=True\r\n5\r\n";
  EXPECT_SAME_TEXT(inspector_(arg), expected);
  EXPECT_SAME_TEXT(inspector_(arg, false, 31, 63, u" "), expected);
  EXPECT_SAME_TEXT(inspector_(arg, true), expected);
}

TEST_F(MainCallTest, SectionsFollowTheBitsNotTheirOrder) {
  const Address scalar = client_.Pass(LongHolding(5));
  const Address array = client_.Pass(Array(vbLong, {{1, 10}}));
  const Address never = client_.Pass(client_.DimDynamicArray(vbLong));
  for (Address var : {scalar, array, never}) EXPECT_EQ(inspector_(var, false, 0), u"");
  EXPECT_EQ(inspector_(array, false, varSA_Bounds), u"");
  EXPECT_EQ(inspector_(scalar, false, varSA_Stru), u"");
  EXPECT_EQ(inspector_(scalar, false, varSA_Stru | varSA_Bounds), u"");
  EXPECT_TRUE(inspector_(array, false, 12).starts_with(u"\r\n/// SAFEARRAY STRUCTURE ///"));
  EXPECT_TRUE(inspector_(scalar, false, varARG).ends_with(u"18 0 \r\n\r\n"));
  EXPECT_TRUE(inspector_(scalar, false, varDef).starts_with(u"/// VARIABLE ///"));
  EXPECT_TRUE(inspector_(array, false, varDef).starts_with(u"\r\n/// VARIABLE ///"));
  EXPECT_EQ(inspector_(scalar, false, 31 | ~63), inspector_(scalar)) << "unknown bits are ignored";
}

TEST_F(MainCallTest, ValuesHeaderCountsElementsBytesAndEntry) {
  const Variable longs = Array(vbLong, {{1, 10}});
  const Variable grid = Array(vbInteger, {{0, 2}, {1, 4}});
  const Variable none = Array(vbByte, {{0, -1}});
  const Variable s = client_.Dim(vbString);
  client_.Assign(s, VariantImage::String(SysAllocString(process_, u"abc")));
  const Variable b = client_.Dim(vbByte);
  const struct {
    Variable variable;
    std::u16string header;
  } cases[] = {
      {longs, u"\r\n/// VALUES ///\r\n10 elements, 40 bytes in memory, Entry = " +
                  U16(std::to_string(DataOf(longs)))},
      {grid, u"\r\n/// VALUES ///\r\n12 elements, 24 bytes in memory, Entry = " +
                 U16(std::to_string(DataOf(grid)))},
      {none, u"\r\n/// VALUES ///\r\n0 elements, 0 bytes in memory, Entry = " +
                 U16(std::to_string(DataOf(none)))},
      {s, u"\r\n/// VALUE ///\r\n1 element, 6 bytes in memory, Entry = " +
              U16(std::to_string(s.address))},
      {b, u"\r\n/// VALUE ///\r\n1 element, 1 bytes in memory, Entry = " +
              U16(std::to_string(b.address))},
  };
  for (const auto& c : cases) {
    const std::u16string report = inspector_(client_.Pass(c.variable), false, varValues, 0);
    EXPECT_SAME_TEXT(report.substr(0, c.header.size() + 2), c.header + u"\r\n");
  }
}

TEST_F(MainCallTest, ArrayHeldInAVariantGivesTheSameHeaderAsByReference) {
  const Variable a = Array(vbLong, {{1, 3}});
  const Variable v = client_.Dim(vbVariant);
  WriteUInt32(process_.memory(), v.address, vbArray | vbLong);
  WriteUInt32(process_.memory(), v.address + 8, ReadUInt32(process_.memory(), a.address));
  EXPECT_EQ(inspector_(client_.Pass(v), false, varValues, 0),
            inspector_(client_.Pass(a), false, varValues, 0));
}

TEST_F(MainCallTest, OptionalSwitchesAndSeparator) {
  const Address a = client_.Pass(Array(vbByte, {{1, 3}}));
  EXPECT_EQ(inspector_(a, false, 31, 62), inspector_(a, false, 31, 63));
  EXPECT_EQ(inspector_(a, false, 31, 62, u" "), inspector_(a));
  EXPECT_TRUE(inspector_(a, false, varValues, 0, u"").ends_with(u"\r\n000\r\n"));
}

TEST_F(MainCallTest, ArrayWithoutStorageOverflowsOnlyWhenValuesAreAsked) {
  const Address never = client_.Pass(client_.DimDynamicArray(vbLong));
  EXPECT_EQ(ErrorOf(never, varValues), kOverflow);
  EXPECT_EQ(ErrorOf(never, varDef | varSA_Stru | varSA_Bounds), 0);
}

TEST_F(MainCallTest, ErrorsLeaveNoTraceInTheProcess) {
  const Address null_arg = client_.PassValue(VariantImage::Null());
  const Address stack = process_.stack().pointer();
  const uint64_t mapped = process_.memory().mapped_bytes();
  EXPECT_EQ(ErrorOf(null_arg, varValues), kInvalidUseOfNull);
  EXPECT_EQ(process_.stack().pointer(), stack);
  EXPECT_EQ(process_.memory().mapped_bytes(), mapped) << "the call's own blocks are freed";
  EXPECT_EQ(ErrorOf(0xFFFFFFF8, varValues), kInvalidArgument) << "a stray argument address";
  EXPECT_EQ(ErrorOf(0x7FFFFFFC, varValues), kOverflow) << "its data field lies past 2^31";
}

// The report is one string: however its text is made, a report that would
// pass what a string holds raises 14 before that text takes memory. Here a
// string claims almost all of it, and the values header tips it over.
TEST_F(MainCallTest, ReportLongerThanAStringIsOutOfStringSpace) {
  const Address huge = SysAllocString(process_, u"abc");
  WriteUInt32(process_.memory(), huge - 4, 0x7FFFFFF0);  // its text is not there
  const Variable s = client_.Dim(vbString);
  WritePointer(process_.memory(), s.address, huge);
  const Variable strings = Array(vbString, {{1, 2}});
  WritePointer(process_.memory(), DataOf(strings), huge);
  const Variable variants = Array(vbVariant, {{1, 2}});
  StoreVariant(process_.memory(), DataOf(variants), VariantImage::String(huge));
  const struct {
    const char* name;
    Address var;
  } cases[] = {
      {"a String held in the variant", client_.PassValue(VariantImage::String(huge))},
      {"a String by reference", client_.Pass(s)},
      {"a String element", client_.Pass(strings)},
      {"a String in a Variant element", client_.Pass(variants)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ErrorOf(c.var, varValues), kOutOfStringSpace) << c.name;
    // The same text alone in a string would fit: it is only not there.
    EXPECT_EQ(ErrorOf(c.var, varDef), 0) << c.name;
  }
}

// A long separator makes pieces of fewer elements, not longer pieces: what
// the sink is handed at once stays near a slice of a split walk (256 Ki
// characters) and one element.
TEST_F(MainCallTest, ALongSeparatorKeepsThePiecesSmall) {
  const Variable bytes = Array(vbByte, {{1, 100}});
  const Variable longs = Array(vbLong, {{1, 100}});
  const std::u16string sep(20000, u';');
  for (const Variable& array : {bytes, longs}) {
    for (int32_t vat_flags : {0, 2}) {  // the fast walk and the labelled one
      const Address var = client_.Pass(array);
      std::u16string joined;
      size_t largest = 0;
      inspector_.Report(
          [&](std::u16string& text) {
            largest = std::max(largest, text.size());
            joined += text;
            text.clear();
          },
          var, false, varValues, vat_flags, sep);
      EXPECT_TRUE(joined == inspector_(var, false, varValues, vat_flags, sep));
      EXPECT_LE(largest, (size_t{1} << 18) + sep.size() + 32) << "vatFlags " << vat_flags;
    }
  }
}

// The pieces a sink receives, joined, are the report the call returns,
// whatever the walk (fast or general, labelled or not) and wherever the
// pieces break.
TEST_F(MainCallTest, ReportInPiecesIsTheSameReport) {
  const Variable bytes = Array(vbByte, {{1, 200000}});
  const Variable grid = Array(vbInteger, {{0, 299}, {1, 300}});
  const Variable doubles = Array(vbDouble, {{0, 70000}});
  const Address data = DataOf(bytes);
  for (uint32_t i = 0; i < 200000; ++i) {
    const auto byte = static_cast<uint8_t>(i * 7919 >> 3);
    process_.memory().Write(data + i, &byte, 1);
  }
  // A report of a few lines is one piece; the arrays' run to hundreds of
  // thousands of characters, several pieces of about 64 Ki.
  const struct {
    Address var;
    int32_t vat_flags;
    bool several;
  } cases[] = {
      {client_.Pass(LongHolding(5)), 63, false},
      {client_.Pass(bytes), 0, true},
      {client_.Pass(bytes), 63, true},
      {client_.Pass(grid), 2, true},
      {client_.Pass(grid), 10, true},
      {client_.Pass(doubles), 32, true},
  };
  for (const auto& c : cases) {
    std::u16string joined;
    int pieces = 0;
    inspector_.Report(
        [&](std::u16string& text) {
          joined += text;
          text.clear();
          ++pieces;
        },
        c.var, false, 31, c.vat_flags);
    EXPECT_TRUE(joined == inspector_(c.var, false, 31, c.vat_flags)) << "vatFlags " << c.vat_flags;
    if (c.several) {
      EXPECT_GT(pieces, 1) << "vatFlags " << c.vat_flags;
    } else {
      EXPECT_EQ(pieces, 1);
    }
  }
}

}  // namespace
}  // namespace dudUdudADOD
