// The values section: scalars, arrays of every rank, and all five switches.
#include "sections/values_info.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "automation/bstr.h"
#include "automation/integer_types.h"
#include "automation/runtime_error.h"
#include "automation/safe_array.h"
#include "model/bstr_heap.h"
#include "model/client.h"
#include "model/safe_array_heap.h"
#include "sections/element_text.h"
#include "testutil/golden.h"

namespace dudUdudADOD::sections {
namespace {

using namespace automation;
using testutil::U16;

class ValuesInfoTest : public ::testing::Test {
 protected:
  std::u16string Values(Address var, std::u16string_view sep, Switches s) {
    return ValuesInfo(process_, var, sep, s);
  }
  Address ByteArray(DeclaredBound bound, std::vector<int> bytes) {
    const DeclaredBound bounds[] = {bound};
    const Variable a = client_.DimArray(vbByte, bounds);
    std::vector<VariantImage> values;
    for (int b : bytes) values.push_back(VariantImage::Byte(static_cast<uint8_t>(b)));
    client_.AssignElements(a, values);
    return client_.Pass(a);
  }
  int ErrorOf(Address var, Switches s) {
    try {
      Values(var, u" ", s);
    } catch (const RuntimeError& e) {
      return e.number();
    }
    return 0;
  }

  Process process_;
  Client client_{process_};
};

TEST_F(ValuesInfoTest, ScalarsEndTheirLineUnlessAnAddressSuffixFollows) {
  const Variable x = client_.Dim(vbLong);
  client_.Assign(x, VariantImage::Long(5));
  EXPECT_SAME_TEXT(Values(client_.Pass(x), u" ", {.AddrLen = true}), u"5\r\n");
  EXPECT_SAME_TEXT(Values(client_.PassValue(VariantImage::Empty()), u" ", {}), u"\r\n");

  const Variable s = client_.Dim(vbString);
  client_.Assign(s, VariantImage::String(SysAllocString(process_, u"abc")));
  const Address arg = client_.Pass(s);
  const std::u16string a = U16(std::to_string(arg + 8));
  EXPECT_SAME_TEXT(Values(arg, u" ", {.AddrLen = true}), u"abc(^" + a + u"/6) ");
  EXPECT_SAME_TEXT(Values(arg, u" ", {.CharASCII = true, .AddrLen = true, .Legend = true}),
                   u"Legend: Indexed=False, CharASCII=False, OrdinalPos=False, "
                   u"(^Address/LenB)=True\r\nabc(^" +
                       a + u"/3) ");

  const Address flag = client_.PassValue(VariantImage::Boolean(true));
  EXPECT_SAME_TEXT(Values(flag, u";", {.AddrLen = true}),
                   u"True(^" + U16(std::to_string(flag + 8)) + u"/8);");
}

TEST_F(ValuesInfoTest, OneDimensionalArraysAreAlwaysLabelledByOrdinal) {
  const Address a = ByteArray({5, 7}, {1, 2, 3});
  EXPECT_SAME_TEXT(Values(a, u" ", {}), u"1 2 3 \r\n");
  EXPECT_SAME_TEXT(Values(a, u"", {}), u"123\r\n");
  EXPECT_SAME_TEXT(Values(a, u" ", {.Indexed = true, .Legend = true}),
                   u"Legend: Indexed=True, CharASCII=False, OrdinalPos=False, "
                   u"(^Address/LenB)=False\r\n[1]1 [2]2 [3]3 \r\n");
  EXPECT_SAME_TEXT(Values(ByteArray({0, -1}, {}), u" ", {.Legend = true}),
                   u"Legend: Indexed=False, CharASCII=False, OrdinalPos=False, "
                   u"(^Address/LenB)=False\r\n\r\n");
}

TEST_F(ValuesInfoTest, SeveralDimensionsLabelEachIndexOrTheOrdinal) {
  const DeclaredBound bounds[] = {{0, 1}, {0, 1}};
  const Variable m = client_.DimArray(vbInteger, bounds);
  const VariantImage values[] = {VariantImage::Integer(1), VariantImage::Integer(2),
                                 VariantImage::Integer(3), VariantImage::Integer(4)};
  client_.AssignElements(m, values);
  const Address arg = client_.Pass(m);
  EXPECT_SAME_TEXT(Values(arg, u",", {.Indexed = true}), u"[0,0]1,[1,0]2,[0,1]3,[1,1]4,\r\n");
  EXPECT_SAME_TEXT(Values(arg, u",", {.Indexed = true, .OrdinalPos = true}),
                   u"[1]1,[2]2,[3]3,[4]4,\r\n");
  EXPECT_SAME_TEXT(Values(arg, u" ", {.CharASCII = true, .Legend = true}),
                   u"Legend: Indexed=False, CharASCII=False, OrdinalPos=False, "
                   u"(^Address/LenB)=False\r\n1 2 3 4 \r\n");
}

TEST_F(ValuesInfoTest, CharactersTakeEverySecondElement) {
  EXPECT_SAME_TEXT(Values(ByteArray({0, 3}, {72, 0, 105, 0}), u"", {.CharASCII = true}), u"Hi\r\n");
  EXPECT_SAME_TEXT(Values(ByteArray({0, 2}, {65, 66, 67}), u" ", {.CharASCII = true}), u"A C \r\n");
  EXPECT_SAME_TEXT(Values(ByteArray({0, 0}, {0x80}), u"", {.CharASCII = true}), u"\u20AC\r\n");

  const DeclaredBound bounds[] = {{0, 2}};
  const Variable longs = client_.DimArray(vbLong, bounds);
  const VariantImage values[] = {VariantImage::Long(65), VariantImage::Long(66),
                                 VariantImage::Long(300)};
  client_.AssignElements(longs, values);
  EXPECT_EQ(ErrorOf(client_.Pass(longs), {.CharASCII = true}), kInvalidArgument);
}

TEST_F(ValuesInfoTest, StringElementsCarryTheirAddressAndLength) {
  const DeclaredBound bounds[] = {{1, 3}};
  const Variable s = client_.DimArray(vbString, bounds);
  const VariantImage values[] = {VariantImage::String(SysAllocString(process_, u"ab")),
                                 VariantImage::String(SysAllocString(process_, u"c"))};
  client_.AssignElements(s, values);
  const Address arg = client_.Pass(s);
  const Address data = ReadUInt32(process_.memory(), ReadUInt32(process_.memory(), s.address) + 12);
  const std::u16string p1 = U16(std::to_string(ReadInt32(process_.memory(), data)));
  const std::u16string p2 = U16(std::to_string(ReadInt32(process_.memory(), data + 4)));
  EXPECT_SAME_TEXT(Values(arg, u";", {.AddrLen = true}),
                   u"ab(^" + p1 + u"/4);c(^" + p2 + u"/2);(^0/0);\r\n");
  EXPECT_SAME_TEXT(Values(arg, u";", {.CharASCII = true, .AddrLen = true}),
                   u"ab(^" + p1 + u"/2);c(^" + p2 + u"/1);(^0/0);\r\n");
}

TEST_F(ValuesInfoTest, VariantElementsShowTheirOwnValues) {
  const DeclaredBound inner_bounds[] = {{0, 0}};
  const Address inner = SafeArrayCreate(process_, vbInteger, inner_bounds);
  const DeclaredBound bounds[] = {{0, 4}};
  const Variable v = client_.DimArray(vbVariant, bounds);
  const VariantImage values[] = {
      VariantImage::Double(2.5), VariantImage::String(SysAllocString(process_, u"x")),
      VariantImage::Null(), VariantImage::Array(vbInteger, inner), VariantImage::Object(0)};
  client_.AssignElements(v, values);
  EXPECT_SAME_TEXT(Values(client_.Pass(v), u" ", {}), u"2.5 x Null Integer() Nothing \r\n");
}

// Each integer type beyond the language's own shows the two ends of its
// range, as an array of that type and inside a Variant array; a code past
// them still shows as Unknown.
TEST_F(ValuesInfoTest, OtherIntegerTypesShowTheirRange) {
  const struct {
    uint16_t type;
    WholeNumber lowest, highest;
    const char16_t* lowest_text;
    const char16_t* highest_text;
  } cases[] = {
      {vbSByte, WholeNumber::Of(-128), WholeNumber::Of(127), u"-128", u"127"},
      {vbUShort, WholeNumber::Of(0), WholeNumber::Of(65535), u"0", u"65535"},
      {vbUInteger, WholeNumber::Of(0), WholeNumber::Of(4294967295), u"0", u"4294967295"},
      {vbLongLong, WholeNumber::Of(INT64_MIN), WholeNumber::Of(INT64_MAX), u"-9223372036854775808",
       u"9223372036854775807"},
      {vbULong, WholeNumber::Of(0), WholeNumber::OfUnsigned(UINT64_MAX), u"0",
       u"18446744073709551615"},
      {vbInt, WholeNumber::Of(INT32_MIN), WholeNumber::Of(INT32_MAX), u"-2147483648",
       u"2147483647"},
      {vbUInt, WholeNumber::Of(0), WholeNumber::Of(UINT32_MAX), u"0", u"4294967295"},
  };
  const DeclaredBound bounds[] = {{1, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    const VariantImage ends[] = {IntegerVariant(c.type, c.lowest),
                                 IntegerVariant(c.type, c.highest)};
    const Variable typed = client_.DimArray(c.type, bounds);
    client_.AssignElements(typed, ends);
    const Variable variants = client_.DimArray(vbVariant, bounds);
    client_.AssignElements(variants, ends);
    const std::u16string line = std::u16string(c.lowest_text) + u" " + c.highest_text + u" \r\n";
    EXPECT_SAME_TEXT(Values(client_.Pass(typed), u" ", {}), line);
    EXPECT_SAME_TEXT(Values(client_.Pass(variants), u" ", {}), line);
    EXPECT_SAME_TEXT(Values(client_.PassValue(ends[1]), u" ", {}),
                     std::u16string(c.highest_text) + u"\r\n");
  }
  const DeclaredBound grid[] = {{0, 1}, {0, 1}};
  const Variable longs = client_.DimArray(vbLongLong, grid);
  const VariantImage values[] = {IntegerVariant(vbLongLong, WholeNumber::Of(-1)),
                                 IntegerVariant(vbLongLong, WholeNumber::Of(int64_t{1} << 40))};
  client_.AssignElements(longs, values);
  EXPECT_SAME_TEXT(Values(client_.Pass(longs), u";", {.Indexed = true}),
                   u"[0,0]-1;[1,0]1099511627776;[0,1]0;[1,1]0;\r\n");
  const Variable odd = client_.DimArray(vbVariant, bounds);
  const VariantImage past[] = {VariantImage::OfType(24),
                               IntegerVariant(vbUInt, WholeNumber::Of(9))};
  client_.AssignElements(odd, past);
  EXPECT_SAME_TEXT(Values(client_.Pass(odd), u" ", {}), u"Unknown 9 \r\n");
}

TEST_F(ValuesInfoTest, FailuresStopTheWholeSection) {
  EXPECT_EQ(ErrorOf(client_.PassValue(VariantImage::Null()), {}), kInvalidUseOfNull);
  EXPECT_EQ(ErrorOf(client_.Pass(client_.DimDynamicArray(vbLong)), {}), kOverflow);
  const DeclaredBound bounds[] = {{0, 1}};
  const Variable a = client_.DimArray(vbLong, bounds);
  const Address descriptor = ReadUInt32(process_.memory(), a.address);
  WriteUInt32(process_.memory(), descriptor + 12, 0x00010000);  // data that is not there
  EXPECT_EQ(ErrorOf(client_.Pass(a), {}), kInvalidArgument);
}

// An element that cannot be read fails before any offset past it is
// computed: neither the last element's address nor the step of a walk over
// every second element may overflow first.
TEST_F(ValuesInfoTest, AnUnreadableElementFailsBeforeAnOffsetPastItOverflows) {
  const DeclaredBound one[] = {{0, 0}};
  const Variable huge = client_.DimArray(vbLong, one);
  const Address descriptor = ReadUInt32(process_.memory(), huge.address);
  WriteUInt32(process_.memory(), descriptor + 4, 0x40000000);   // one element of 1 GiB
  WriteUInt32(process_.memory(), descriptor + 12, 0x00010000);  // that is not there
  EXPECT_EQ(ErrorOf(client_.Pass(huge), {.CharASCII = true}), kInvalidArgument);

  const DeclaredBound many[] = {{0, 127}};
  const Variable high = client_.DimArray(vbLong, many);
  WriteUInt32(process_.memory(), ReadUInt32(process_.memory(), high.address) + 12, 0x7FFFFF00);
  EXPECT_EQ(ErrorOf(client_.Pass(high), {}), kInvalidArgument);
  EXPECT_EQ(ErrorOf(client_.Pass(high), {.Indexed = true}), kInvalidArgument);
}

// The text can pass what a string holds with little data behind it: a long
// separator after each of a million bytes is refused before it takes memory.
TEST_F(ValuesInfoTest, TextLongerThanAStringCanHoldIsRefused) {
  const DeclaredBound bounds[] = {{1, 1 << 20}};
  const Address bytes = client_.Pass(client_.DimArray(vbByte, bounds));
  const std::u16string sep(1024, u',');
  Switches none;
  try {
    ValuesInfo(process_, bytes, sep, none);
    ADD_FAILURE() << "a text of over 2^30 characters was made";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), kOutOfStringSpace);
    EXPECT_EQ(e.description(), "Out of string space");
  }
}

TEST_F(ValuesInfoTest, SwitchesComeBackAsTheSectionUsedThem) {
  const Address bytes = ByteArray({0, 1}, {1, 2});
  Switches array{.CharASCII = true};
  ValuesInfo(process_, bytes, u" ", array);
  EXPECT_TRUE(array.CharASCII);
  EXPECT_TRUE(array.OrdinalPos);
  Switches scalar{.CharASCII = true};
  ValuesInfo(process_, client_.PassValue(VariantImage::Integer(1)), u" ", scalar);
  EXPECT_FALSE(scalar.CharASCII);
  EXPECT_FALSE(scalar.OrdinalPos);
}

// A large array's walk formatted in slices on two threads joins into the
// text that one thread writes, its data read whole or a slice at a time, for
// every element type, with labels of one or three dimensions, into one
// string or in pieces. Element bytes are random, so Doubles include NaNs and
// subnormals; an element type whose walk fails
// must fail the same way.
class SplitWalkTest : public ValuesInfoTest {
 protected:
  Address RandomArray(uint16_t type, std::vector<DeclaredBound> bounds, uint32_t seed) {
    const Variable a = client_.DimArray(type, bounds);
    AddressSpace& memory = process_.memory();
    const Address descriptor = ReadUInt32(memory, a.address);
    const std::span<uint8_t> data = SafeArrayDataBytes(memory, descriptor);
    std::mt19937 random(seed);
    const Address text = SysAllocString(process_, u"text");
    for (uint8_t& byte : data) byte = static_cast<uint8_t>(random());
    if (type == vbString) {  // every third element the null string, the others one text
      for (size_t i = 0; i < data.size() / 4; ++i) {
        const auto pointer = static_cast<uint32_t>(i % 3 == 0 ? 0 : text);
        std::memcpy(data.data() + 4 * i, &pointer, 4);
      }
    }
    return client_.Pass(a);
  }

  // Where the walk's text goes: only into the report, to a sink that takes
  // it piece by piece, or to one that keeps the whole text, as the DLL's
  // returned string does (its room handed out to both threads at once).
  enum class Sink { kNone, kPieces, kWhole };

  // An output that keeps the whole text in a string: room it hands out moves
  // whenever the string grows, so a window used after the next call on the
  // output shows as a read of freed memory under the sanitizers.
  class WholeOutput final : public ReportOutput {
   public:
    explicit WholeOutput(size_t& calls) : calls_(calls) {}
    void Take(std::u16string& text) override {
      std::memcpy(Extend(text.size()), text.data(), text.size() * sizeof(char16_t));
      text.clear();
    }
    void Expect(uint64_t characters) override {
      text_.reserve(text_.size() + static_cast<size_t>(characters));
    }
    bool KeepsWhole() const override { return true; }
    char16_t* Extend(uint64_t characters) override {
      ++calls_;
      const size_t at = text_.size();
      text_.resize(at + static_cast<size_t>(characters), u'?');
      text_.shrink_to_fit();
      return text_.data() + at;
    }
    std::u16string text_;

   private:
    size_t& calls_;
  };

  // The text, or "error N", of the walk with `split`; `pieces` counts what a
  // sink was handed (0: no sink).
  std::u16string Walk(Address var, Switches s, WalkSplit split, Sink to, size_t* pieces) {
    std::u16string out, joined;
    const std::function<void(std::u16string&)> take = [&](std::u16string& text) {
      joined += text;
      text.clear();
      ++*pieces;
    };
    FunctionOutput in_pieces(take);
    WholeOutput whole(*pieces);
    ReportOutput* sink = nullptr;
    if (to == Sink::kPieces) sink = &in_pieces;
    if (to == Sink::kWhole) sink = &whole;
    try {
      AppendValuesInfo(out, process_, var, u", ", s, sink, split);
    } catch (const RuntimeError& e) {
      return u"error " + U16(std::to_string(e.number()));
    }
    return joined + whole.text_ + out;
  }

  // Returns whether the walk split (it then hands on a piece a slice).
  bool ExpectSameSplitOrNot(Address var, Switches s, size_t slice) {
    bool split_up = false;
    for (const Sink to : {Sink::kNone, Sink::kPieces, Sink::kWhole}) {
      size_t serial_pieces = 0, split_pieces = 0;
      const std::u16string serial = Walk(var, s, {.second_thread = false}, to, &serial_pieces);
      const std::u16string split =
          Walk(var, s, {.second_thread = true, .slice_elements = slice}, to, &split_pieces);
      EXPECT_SAME_TEXT(split, serial);
      EXPECT_EQ(split.size(), serial.size());
      // Read a slice at a time, as from the real process, the data reads the same.
      size_t windowed_pieces = 0;
      EXPECT_SAME_TEXT(
          Walk(var, s, {.second_thread = true, .slice_elements = slice, .windows = true}, to,
               &windowed_pieces),
          serial);
      EXPECT_EQ(windowed_pieces, split_pieces);
      split_up = split_pieces != serial_pieces;
    }
    return split_up;
  }
};

TEST_F(SplitWalkTest, EveryElementTypeReadsTheSameSplitOrNot) {
  const uint16_t types[] = {vbInteger, vbLong,     vbSingle,   vbDouble,  vbCurrency, vbDate,
                            vbString,  vbBoolean,  vbVariant,  vbDecimal, vbByte,     vbSByte,
                            vbUShort,  vbUInteger, vbLongLong, vbULong,   vbInt,      vbUInt};
  uint32_t seed = 1;
  for (const uint16_t type : types) {
    SCOPED_TRACE(type);
    const Address line = RandomArray(type, {{-3, 1000}}, seed++);
    const Address cube = RandomArray(type, {{0, 9}, {1, 7}, {-5, -1}}, seed++);
    // Variants, Decimals and Dates are read or converted through the
    // process: their walks stay on one thread. Strings split, the model
    // reading from two threads at once.
    const bool own = type != vbVariant && type != vbDecimal && type != vbDate;
    EXPECT_EQ(ExpectSameSplitOrNot(line, {}, 7), own);
    EXPECT_EQ(ExpectSameSplitOrNot(line, {.Indexed = true}, 64), own);
    EXPECT_EQ(ExpectSameSplitOrNot(cube, {.Indexed = true}, 3), own);
    EXPECT_EQ(ExpectSameSplitOrNot(cube, {.Indexed = true, .OrdinalPos = true}, 11), own);
    ExpectSameSplitOrNot(cube, {.CharASCII = true}, 5);
    EXPECT_EQ(ExpectSameSplitOrNot(line, {.AddrLen = true}, 9), own);
  }
}

// The fast path writes each integer type's elements as the element text
// does, whole or in a sink's pieces.
TEST_F(SplitWalkTest, TheFastPathWritesEachElementsOwnText) {
  for (const uint16_t type : {vbByte, vbInteger, vbLong, vbSByte, vbUShort, vbUInteger, vbLongLong,
                              vbULong, vbInt, vbUInt}) {
    SCOPED_TRACE(type);
    const Address arg = RandomArray(type, {{1, 40000}}, type);
    AddressSpace& memory = process_.memory();
    const Address descriptor = ReadUInt32(memory, ReadUInt32(memory, arg + 8));
    const std::span<uint8_t> data = SafeArrayDataBytes(memory, descriptor);
    const size_t size = StorageSize(type, kWin32Layout);
    std::u16string expected;
    for (size_t at = 0; at < data.size(); at += size) {
      AppendElementText(expected, process_, type, data.data() + at, size);
      expected += u", ";
    }
    expected += u"\r\n";
    size_t pieces = 0;
    EXPECT_SAME_TEXT(Walk(arg, {}, {.second_thread = false}, Sink::kNone, &pieces), expected);
    EXPECT_SAME_TEXT(Walk(arg, {}, {.second_thread = false}, Sink::kPieces, &pieces), expected);
    EXPECT_GT(pieces, 1u);
  }
}

// A String array too short to split is written a run of cells at a time on
// one thread: as element after element, whole or in a sink's pieces.
TEST_F(SplitWalkTest, ShortStringArraysReadAsElementAfterElement) {
  const Address strings = RandomArray(vbString, {{1, 40000}}, 12);  // three runs
  AddressSpace& memory = process_.memory();
  const Address descriptor = ReadUInt32(memory, ReadUInt32(memory, strings + 8));
  const std::span<uint8_t> data = SafeArrayDataBytes(memory, descriptor);
  for (const bool addr_len : {false, true}) {
    std::u16string expected;
    for (size_t at = 0; at < data.size(); at += 4) {
      AppendElementText(expected, process_, vbString, data.data() + at, 4);
      const uint32_t bstr = ReadUInt32(memory, SafeArrayData(memory, descriptor) + at);
      if (addr_len) AppendAddressAndLength(expected, bstr, bstr == 0 ? 0 : 8, false);
      expected += u", ";
    }
    expected += u"\r\n";
    for (const Sink to : {Sink::kNone, Sink::kPieces, Sink::kWhole}) {
      size_t pieces = 0;
      EXPECT_SAME_TEXT(Walk(strings, {.AddrLen = addr_len}, {.second_thread = false}, to, &pieces),
                       expected);
    }
  }
}

// A string that cannot be read fails the walk with its own error, in either
// slice of a pair; text past a string's length fails first with 14.
TEST_F(SplitWalkTest, AStringThatFailsFailsTheSameSplitOrNot) {
  for (const uint64_t bad : {uint64_t{3}, uint64_t{500}, uint64_t{990}}) {
    const Address strings = RandomArray(vbString, {{1, 1000}}, 11);
    AddressSpace& memory = process_.memory();
    const Address data = SafeArrayData(memory, ReadUInt32(memory, ReadUInt32(memory, strings + 8)));
    WriteUInt32(memory, data + 4 * bad, 0x7FFF0000);  // no string there
    size_t pieces = 0;
    EXPECT_EQ(Walk(strings, {}, {.second_thread = false}, Sink::kNone, &pieces), u"error 5");
    ExpectSameSplitOrNot(strings, {.AddrLen = true}, 7);
  }
}

TEST_F(SplitWalkTest, SlicesSizedByTheirTextSplitLargeArraysAlike) {
  // With slices of their default size, only arrays of many thousands of
  // elements split, the fast path's types and the others.
  EXPECT_TRUE(ExpectSameSplitOrNot(RandomArray(vbByte, {{1, 300000}}, 7), {}, 0));
  EXPECT_TRUE(ExpectSameSplitOrNot(RandomArray(vbLong, {{1, 100000}}, 8), {}, 0));
  EXPECT_TRUE(ExpectSameSplitOrNot(RandomArray(vbDouble, {{1, 40000}}, 9), {.Indexed = true}, 0));
  EXPECT_FALSE(ExpectSameSplitOrNot(RandomArray(vbDouble, {{1, 1000}}, 9), {}, 0));
  // Characters are written on one thread, which reads data longer than its
  // window a window at a time.
  EXPECT_FALSE(
      ExpectSameSplitOrNot(RandomArray(vbByte, {{1, 300001}}, 10), {.CharASCII = true}, 0));
}

}  // namespace
}  // namespace dudUdudADOD::sections
