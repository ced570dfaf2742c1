// The main call against hostile and oversized input: every failure is a
// run-time error with the platform's number and description, the caller's
// memory is never changed, declarations past the 2 GiB space end with error 7
// before anything is mapped, and every 32-bit sum or product that can pass
// 2,147,483,647 ends with error 6.
//
// Hostile arguments are built by hand in mapped memory, the way a buggy or
// malicious caller could lay them out; the fuzz targets in fuzz/ explore the
// same ground at random.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "automation/bstr.h"
#include "automation/runtime_error.h"
#include "automation/safe_array.h"
#include "automation/variant.h"
#include "inspector/ravoduze.h"
#include "inspector/report_facts.h"
#include "model/bstr_heap.h"
#include "model/client.h"
#include "model/process.h"
#include "model/safe_array_heap.h"
#include "model/variant_memory.h"
#include "sections/safe_array_info.h"

namespace dudUdudADOD {
namespace {

using namespace automation;  // the platform model is this test's vocabulary

// Free memory, away from the heap arenas and the stack, for hand-made
// structures.
constexpr Address kScratch = 0x00400000;
// Below this the stack holds the callee's frames, which a call may reuse.
constexpr Address kReserveLow = kWin32Plan.stack_top - Stack::kReserve;

struct Failure {
  int number = 0;  // 0: the call returned a report
  std::string description;
};

// The client's memory as a caller sees it: every block, and the stack pointer.
struct MemoryImage {
  std::map<Address, std::vector<uint8_t>> blocks;
  uint64_t mapped = 0;
  Address stack_pointer = 0;

  static MemoryImage Of(Process& process) {
    MemoryImage image;
    process.memory().ForEachBlock([&](Address start, std::span<const uint8_t> bytes) {
      image.blocks.emplace(start, std::vector<uint8_t>(bytes.begin(), bytes.end()));
    });
    image.mapped = process.memory().mapped_bytes();
    image.stack_pointer = process.stack().pointer();
    return image;
  }
};

// Everything the caller owns is as it was: the blocks that existed, byte for
// byte (the stack below the stack pointer excepted: that is where the call's
// own frames live); the stack pointer; and mapped memory, except for stack
// pages the call committed.
void ExpectCallerMemoryUnchanged(const MemoryImage& before, Process& process) {
  const MemoryImage after = MemoryImage::Of(process);
  EXPECT_EQ(after.stack_pointer, before.stack_pointer);
  uint64_t committed = 0;
  for (const auto& [start, bytes] : after.blocks) {
    if (before.blocks.count(start) != 0) continue;
    EXPECT_GE(start, kReserveLow) << "a new block at " << start << " outside the stack";
    EXPECT_LE(start + bytes.size(), kWin32Plan.stack_top);
    committed += bytes.size();
  }
  EXPECT_EQ(after.mapped, before.mapped + committed);
  for (const auto& [start, bytes] : before.blocks) {
    auto it = after.blocks.find(start);
    ASSERT_NE(it, after.blocks.end()) << "the block at " << start << " was unmapped";
    ASSERT_EQ(it->second.size(), bytes.size());
    for (size_t k = 0; k < bytes.size(); ++k) {
      const auto address = static_cast<Address>(start + k);
      if (address >= kReserveLow && address < before.stack_pointer) continue;
      ASSERT_EQ(it->second[k], bytes[k]) << "the byte at " << address << " changed";
    }
  }
}

class HardeningTest : public ::testing::Test {
 protected:
  // Runs the main call and returns the error it ended with (number 0 and no
  // description for a report), checking on the way that the caller's memory
  // is unchanged.
  Failure Call(Address var, std::optional<int32_t> var_flags = std::nullopt,
               std::optional<int32_t> vat_flags = std::nullopt) {
    const MemoryImage before = MemoryImage::Of(process_);
    Failure failure;
    try {
      RavoDUZE inspector(process_);
      inspector(var, std::nullopt, var_flags, vat_flags);
    } catch (const RuntimeError& e) {
      failure = {e.number(), e.description()};
    }
    ExpectCallerMemoryUnchanged(before, process_);
    return failure;
  }

  // A block of zeros at `address` for hand-made structures.
  void MapAt(Address address, uint32_t size) { process_.memory().Map(address, size); }

  // An array descriptor at `at`: head fields and the bounds as stored
  // ({cElements, lLbound}, the last declared dimension first).
  void WriteDescriptor(Address at, uint16_t dims, uint32_t element_size, Address data,
                       const std::vector<std::pair<uint32_t, int32_t>>& bounds) {
    AddressSpace& memory = process_.memory();
    WriteInt16(memory, at, static_cast<int16_t>(dims));
    WriteInt16(memory, at + 2, static_cast<int16_t>(FADF_HAVEVARTYPE));
    WriteUInt32(memory, at + 4, element_size);
    WritePointer(memory, at + 12, data);
    for (size_t k = 0; k < bounds.size(); ++k) {
      const auto offset = static_cast<Address>(kWin32Layout.descriptor_head + kBoundSize * k);
      WriteUInt32(memory, at + offset, bounds[k].first);
      WriteInt32(memory, at + offset + 4, bounds[k].second);
    }
  }

  // An array variable of the client's: a cell holding `descriptor`, passed
  // by reference as a client passes an array.
  Address PassArrayCell(uint16_t element_type, Address descriptor) {
    const Variable cell = client_.Dim(vbLong);
    WritePointer(process_.memory(), cell.address, descriptor);
    return client_.PassValue(
        VariantImage::Reference(static_cast<uint16_t>(vbArray | element_type), cell.address));
  }

  Process process_;
  Client client_{process_};
};

constexpr const char* kInvalidArgumentText = "Invalid procedure call or argument";
constexpr const char* kOverflowText = "Overflow";
constexpr const char* kOutOfMemoryText = "Out of memory";
constexpr const char* kSubscriptText = "Subscript out of range";

// ---------------------------------------------------------------------------
// Hostile arguments: a clean run-time error, and the caller's memory intact.

class HostileArgumentTest;

struct HostileCase {
  const char* name;
  // Lays the hostile structure out and returns the argument's address.
  std::function<Address(HostileArgumentTest&)> build;
  int number;
  const char* description;
};

class HostileArgumentTest : public HardeningTest,
                            public ::testing::WithParamInterface<HostileCase> {
 public:
  // The fixture's helpers, for the table's builders.
  Process& process() { return process_; }
  Client& client() { return client_; }
  void Map(Address at, uint32_t size) { MapAt(at, size); }
  void Descriptor(Address at, uint16_t dims, uint32_t size, Address data,
                  const std::vector<std::pair<uint32_t, int32_t>>& bounds) {
    WriteDescriptor(at, dims, size, data, bounds);
  }
  Address PassCell(uint16_t type, Address descriptor) { return PassArrayCell(type, descriptor); }
};

TEST_P(HostileArgumentTest, FailsCleanlyAndLeavesMemoryAlone) {
  const HostileCase& c = GetParam();
  const Address var = c.build(*this);
  const Failure failure = Call(var);
  EXPECT_EQ(failure.number, c.number);
  EXPECT_EQ(failure.description, c.description);
}

INSTANTIATE_TEST_SUITE_P(
    MainCall, HostileArgumentTest,
    ::testing::Values(
        // cDims says 61: more bounds than the record holds. Refused before
        // anything is copied.
        HostileCase{"DescriptorClaimsSixtyOneDimensions",
                    [](HostileArgumentTest& h) {
                      h.Map(kScratch, 64);
                      h.Descriptor(kScratch, 61, 4, kScratch + 32, {{1, 0}});
                      return h.PassCell(vbLong, kScratch);
                    },
                    9, kSubscriptText},
        // cDims 0xFFFF reads as -1 dimensions.
        HostileCase{"DescriptorClaimsNegativeDimensions",
                    [](HostileArgumentTest& h) {
                      h.Map(kScratch, 64);
                      h.Descriptor(kScratch, 0xFFFF, 4, kScratch + 32, {});
                      return h.PassCell(vbLong, kScratch);
                    },
                    9, kSubscriptText},
        // cDims says 3 but the mapped block ends after the first bound.
        HostileCase{"DescriptorClaimsBoundsPastItsMemory",
                    [](HostileArgumentTest& h) {
                      h.Map(kScratch, 24);
                      h.Descriptor(kScratch, 3, 4, 0, {{1, 0}});
                      return h.PassCell(vbLong, kScratch);
                    },
                    5, kInvalidArgumentText},
        // A well-formed descriptor whose data pointer is stray.
        HostileCase{"DescriptorWithStrayDataPointer",
                    [](HostileArgumentTest& h) {
                      h.Map(kScratch, 64);
                      h.Descriptor(kScratch, 1, 4, 0x00500000, {{3, 1}});
                      return h.PassCell(vbLong, kScratch);
                    },
                    5, kInvalidArgumentText},
        // A descriptor whose data is the descriptor itself: readable, so the
        // report is made, and nothing is written through it.
        HostileCase{"DescriptorWhoseDataIsItself",
                    [](HostileArgumentTest& h) {
                      h.Map(kScratch, 64);
                      h.Descriptor(kScratch, 1, 1, kScratch, {{24, 0}});
                      return h.PassCell(vbByte, kScratch);
                    },
                    0, ""},
        // A string whose length prefix claims almost 2 GiB of text.
        HostileCase{"StringWithWildLengthPrefix",
                    [](HostileArgumentTest& h) {
                      const Address text = SysAllocString(h.process(), u"abc");
                      WriteUInt32(h.process().memory(), text - 4, 0x7FFFFFF0);
                      return h.client().PassValue(VariantImage::String(text));
                    },
                    5, kInvalidArgumentText},
        // A string pointer into unmapped memory.
        HostileCase{"StringPointerIsStray",
                    [](HostileArgumentTest& h) {
                      return h.client().PassValue(VariantImage::String(0x00500004));
                    },
                    5, kInvalidArgumentText},
        // A by-reference Long whose address is not mapped.
        HostileCase{"ReferenceIsStray",
                    [](HostileArgumentTest& h) {
                      return h.client().PassValue(VariantImage::Reference(vbLong, 0x00500000));
                    },
                    5, kInvalidArgumentText},
        // The argument's own address is not mapped.
        HostileCase{"ArgumentIsStray", [](HostileArgumentTest&) { return Address{0x00500000}; }, 5,
                    kInvalidArgumentText},
        // The argument runs off the end of its block.
        HostileCase{"ArgumentRunsPastItsMemory",
                    [](HostileArgumentTest& h) {
                      h.Map(kScratch, 12);
                      return kScratch;
                    },
                    5, kInvalidArgumentText},
        // An object variant that points at a string, not at an object: its
        // type name is the generic "Object", and there is no object to ask
        // for a default value.
        HostileCase{"ObjectPointerThatIsNoObject",
                    [](HostileArgumentTest& h) {
                      const Address text = SysAllocString(h.process(), u"not me");
                      return h.client().PassValue(VariantImage::Object(text));
                    },
                    5, kInvalidArgumentText},
        // A by-reference Variant that refers to another by-reference
        // Variant: a chain the platform never builds.
        HostileCase{"VariantReferenceToAVariantReference",
                    [](HostileArgumentTest& h) {
                      const Variable inner = h.client().Dim(vbVariant);
                      StoreVariant(h.process().memory(), inner.address,
                                   VariantImage::Reference(vbVariant, inner.address));
                      return h.client().PassValue(
                          VariantImage::Reference(vbVariant, inner.address));
                    },
                    13, "Type mismatch"}),
    [](const ::testing::TestParamInfo<HostileCase>& row) { return row.param.name; });

// A call that fails leaves the process fit for the next: the same hostile
// argument fails the same way twice, and a good one still reports.
TEST_F(HardeningTest, AFailedCallLeavesNothingBehind) {
  const Address stray = client_.PassValue(VariantImage::Reference(vbLong, 0x00500000));
  const Variable x = client_.Dim(vbLong);
  client_.Assign(x, VariantImage::Long(5));
  const Address good = client_.Pass(x);
  RavoDUZE inspector(process_);
  const std::u16string report = inspector(good);

  EXPECT_EQ(Call(stray).number, 5);
  EXPECT_EQ(Call(stray).number, 5);
  EXPECT_EQ(inspector(good), report);
}

// A value held by reference behind a dangling pointer is read only by the
// steps that show it: the argument section shows the pointer, the data size
// of a Long is 4 by its type alone, and only the definition section's value
// and the values section fail.
TEST_F(HardeningTest, DanglingReferenceFailsOnlyWhereTheValueIsShown) {
  const Address var = client_.PassValue(VariantImage::Reference(vbLong, 0x00500000));
  const struct {
    int32_t var_flags;
    int number;
  } cases[] = {{varNOTHING, 0}, {varARG, 0},    {varSA_Stru | varSA_Bounds, 0},
               {varDef, 5},     {varValues, 5}, {varALLINFO, 5}};
  for (const auto& c : cases) {
    EXPECT_EQ(Call(var, c.var_flags).number, c.number) << "varFlags " << c.var_flags;
  }
  RavoDUZE inspector(process_);
  EXPECT_NE(inspector(var, std::nullopt, varARG)
                .find(u"Union           4       5242880         0 0 80 0"),
            std::u16string::npos);
}

// ---------------------------------------------------------------------------
// The 2 GiB space: a declaration that would pass it ends with error 7 before
// anything is mapped.

struct TooLargeCase {
  const char* name;
  uint16_t element_type;
  std::vector<DeclaredBound> bounds;
};

class TooLargeDeclarationTest : public HardeningTest,
                                public ::testing::WithParamInterface<TooLargeCase> {};

TEST_P(TooLargeDeclarationTest, EndsWithOutOfMemoryBeforeMapping) {
  const TooLargeCase& c = GetParam();
  const uint64_t mapped = process_.memory().mapped_bytes();
  try {
    client_.DimArray(c.element_type, c.bounds);
    FAIL() << "declared";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), 7);
    EXPECT_EQ(e.description(), kOutOfMemoryText);
  }
  EXPECT_EQ(process_.memory().mapped_bytes(), mapped);
}

INSTANTIATE_TEST_SUITE_P(
    Client, TooLargeDeclarationTest,
    ::testing::Values(
        // 2.4 GB of Double.
        TooLargeCase{"DoublesPastTwoGiB", vbDouble, {{1, 300000000}}},
        // 2^32 Bytes: a product that wraps to 0 in 32 bits.
        TooLargeCase{"BytesWhoseCountWrapsToZero", vbByte, {{0, 65535}, {0, 65535}}},
        // Exactly 2 GiB of Variant data: no room left for the descriptor.
        TooLargeCase{"VariantsOfExactlyTwoGiB", vbVariant, {{1, 134217728}}},
        // Each dimension modest, the product far past the space.
        TooLargeCase{"ManyModestDimensions", vbLong, {{1, 1000}, {1, 1000}, {1, 1000}, {1, 1000}}},
        // The whole Long range in one dimension.
        TooLargeCase{"WholeLongRange", vbByte, {{INT32_MIN, INT32_MAX}}}),
    [](const ::testing::TestParamInfo<TooLargeCase>& row) { return row.param.name; });

// ReDim past the space fails the same way and keeps the old storage.
TEST_F(HardeningTest, TooLargeReDimKeepsTheOldArray) {
  const Variable d = client_.DimDynamicArray(vbLong);
  const std::vector<DeclaredBound> small = {{1, 3}};
  client_.ReDim(d, small);
  const Address descriptor = ReadUInt32(process_.memory(), d.address);
  const uint64_t mapped = process_.memory().mapped_bytes();

  const std::vector<DeclaredBound> huge = {{1, 600000000}};
  try {
    client_.ReDim(d, huge);
    FAIL() << "ReDim past 2 GiB succeeded";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), 7);
    EXPECT_EQ(e.description(), kOutOfMemoryText);
  }
  EXPECT_EQ(process_.memory().mapped_bytes(), mapped);
  EXPECT_EQ(ReadUInt32(process_.memory(), d.address), descriptor);
  EXPECT_EQ(UBound(process_.memory(), descriptor), 3);
}

// ---------------------------------------------------------------------------
// Overflow: every 32-bit sum or product that can pass 2,147,483,647 ends the
// call with error 6.

// The argument variant's data field lies at its address plus 8; from
// 0x7FFFFFF8 on that sum passes the signed range. The main call reads the
// data field first, so the flags do not matter.
class ArgumentNearTopTest : public HardeningTest, public ::testing::WithParamInterface<Address> {};

TEST_P(ArgumentNearTopTest, DataFieldAddressOverflows) {
  // Memory on both sides of 2^31, so every read would succeed.
  MapAt(0x7FFFF000, 0x2000);
  const VariantImage v = VariantImage::Long(5);
  process_.memory().Write(GetParam(), v.bytes().data(), kWin32Layout.variant_size);
  for (std::optional<int32_t> flags : {std::optional<int32_t>(), std::optional<int32_t>(0)}) {
    const Failure failure = Call(GetParam(), flags);
    EXPECT_EQ(failure.number, 6);
    EXPECT_EQ(failure.description, kOverflowText);
  }
}

INSTANTIATE_TEST_SUITE_P(MainCall, ArgumentNearTopTest,
                         ::testing::Values(Address{0x7FFFFFF8}, Address{0x7FFFFFFC},
                                           Address{0x7FFFFFFF}));

// Just below that edge everything fits: the report is made.
TEST_F(HardeningTest, ArgumentJustBelowTheEdgeReports) {
  MapAt(0x7FFFF000, 0x1000);
  const Address var = 0x7FFFFFF0;
  StoreVariant(process_.memory(), var, VariantImage::Long(5));
  const Failure failure = Call(var);
  EXPECT_EQ(failure.number, 0) << failure.description;
}

struct DescriptorOverflowCase {
  const char* name;
  uint16_t element_type;
  uint16_t dims;
  uint32_t element_size;
  std::vector<std::pair<uint32_t, int32_t>> bounds;  // as stored
  std::optional<int32_t> var_flags;
  bool by_reference = true;
  Address data = kScratch + 0x800;
  std::optional<int32_t> vat_flags = std::nullopt;
};

class DescriptorOverflowTest : public HardeningTest,
                               public ::testing::WithParamInterface<DescriptorOverflowCase> {};

TEST_P(DescriptorOverflowTest, EndsWithOverflow) {
  const DescriptorOverflowCase& c = GetParam();
  MapAt(kScratch, 0x1000);
  MapAt(0x7FFFF000, 0x1000);  // data may lie just below 2^31
  WriteDescriptor(kScratch, c.dims, c.element_size, c.data, c.bounds);
  const Address var = c.by_reference
                          ? PassArrayCell(c.element_type, kScratch)
                          : client_.PassValue(VariantImage::Array(c.element_type, kScratch));
  const Failure failure = Call(var, c.var_flags, c.vat_flags);
  EXPECT_EQ(failure.number, 6);
  EXPECT_EQ(failure.description, kOverflowText);
}

INSTANTIATE_TEST_SUITE_P(
    MainCall, DescriptorOverflowTest,
    ::testing::Values(
        // The element count (the product of cElements) passes 2^31 - 1.
        DescriptorOverflowCase{
            "ElementCountPastLongRange", vbByte, 2, 1, {{65536, 0}, {65536, 0}}, std::nullopt},
        DescriptorOverflowCase{
            "ElementCountPastLongRangeWithNoFlags", vbByte, 2, 1, {{65536, 0}, {65536, 0}}, 0},
        // The byte total (cbElements times the count) passes 2^31 - 1.
        DescriptorOverflowCase{
            "ByteTotalPastLongRange", vbLong, 1, 4, {{0x40000000, 0}}, std::nullopt},
        // A count that reads as negative, times the element size.
        DescriptorOverflowCase{
            "NegativeCountTimesElementSize", vbInteger, 1, 2, {{0x80000000, 0}}, std::nullopt},
        // The bounds table's upper bound, lLbound + cElements - 1, when it
        // lies past a Long (one at INT32_MAX itself exists and prints).
        DescriptorOverflowCase{
            "UpperBoundPastLongMax", vbByte, 1, 1, {{2, INT32_MAX}}, varSA_Stru | varSA_Bounds},
        DescriptorOverflowCase{
            "UpperBoundBelowLongMin", vbByte, 1, 1, {{0, INT32_MIN}}, varSA_Stru | varSA_Bounds},
        // The upper bound of a later stored bound overflows after the first
        // row is placed.
        DescriptorOverflowCase{"UpperBoundOfTheSecondRow",
                               vbByte,
                               2,
                               1,
                               {{1, 0}, {2, INT32_MAX}},
                               varSA_Stru | varSA_Bounds},
        // The walk adds each element's offset to pvData: from 0x7FFFFFF0 the
        // fifth Long lies past 2^31 - 1, whether the values are printed
        // plainly (the check comes before the first element) or labelled
        // (element by element, the first four printed).
        DescriptorOverflowCase{"ElementAddressPastLongMax",
                               vbLong,
                               1,
                               4,
                               {{8, 0}},
                               varValues,
                               true,
                               0x7FFFFFF0,
                               vatNOTHING},
        DescriptorOverflowCase{"LabelledElementAddressPastLongMax",
                               vbLong,
                               1,
                               4,
                               {{8, 0}},
                               varValues,
                               true,
                               0x7FFFFFF0,
                               std::nullopt},
        // A Byte array held in the variant: its data size is UBound - LBound
        // + 1 of the first dimension, past 2^31 - 1 here.
        DescriptorOverflowCase{"ByteArrayDataSizePastLongRange",
                               vbByte,
                               1,
                               1,
                               {{0xFFFFFFFF, INT32_MIN}},
                               varARG,
                               false}),
    [](const ::testing::TestParamInfo<DescriptorOverflowCase>& row) { return row.param.name; });

// A string whose length prefix passes 2^31 - 1 has a data size that a Long
// cannot hold.
TEST_F(HardeningTest, StringLengthPastLongRangeOverflows) {
  const Address text = SysAllocString(process_, u"abc");
  WriteUInt32(process_.memory(), text - 4, 0xFFFFFFFE);
  const Failure failure = Call(client_.PassValue(VariantImage::String(text)));
  EXPECT_EQ(failure.number, 6);
  EXPECT_EQ(failure.description, kOverflowText);
}

// The descriptor section adds field offsets to the record's address. The
// main call always keeps its record on the stack, far below 2^31, so only a
// record placed by hand near the top of the signed range can reach the
// check: the .cLock field's address, record + 8, passes it here.
TEST_F(HardeningTest, DescriptorRecordFieldAddressOverflows) {
  MapAt(0x7FFFF000, 0x1000);
  const Address record = 0x7FFFFFF8;
  try {
    sections::SafeArrayInfo(process_, record, true);
    FAIL() << "the section was made";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), 6);
    EXPECT_EQ(e.description(), kOverflowText);
  }
}

// line + i in the bounds table cannot overflow: the first bound row is line
// 10 and a record holds at most 60 bounds, so the largest line is 69. A
// descriptor that claims more is refused with error 9 before any row is
// written (see DescriptorClaimsSixtyOneDimensions); the most a real one can
// have, 60, lays out fine.
TEST_F(HardeningTest, SixtyDimensionsFillTheBoundsTable) {
  MapAt(kScratch, 0x1000);
  const std::vector<std::pair<uint32_t, int32_t>> bounds(60, {1, 0});
  WriteDescriptor(kScratch, 60, 1, kScratch + 0x800, bounds);
  const Address var = PassArrayCell(vbByte, kScratch);
  RavoDUZE inspector(process_);
  const std::u16string report = inspector(var, std::nullopt, varSA_Stru | varSA_Bounds);
  EXPECT_NE(report.find(u"\r\n               59              1               0"),
            std::u16string::npos);
  EXPECT_EQ(Call(var, varSA_Stru | varSA_Bounds).number, 0);
}

// A descriptor may claim any element size for the integer types: narrower
// than the type, an element shows the bytes it has (zeros above them);
// wider, its first bytes. Neither reads past an element or the data, on the
// fast path or the labelled one.
TEST_F(HardeningTest, IntegerElementsOfAClaimedSizeReadOnlyTheirBytes) {
  MapAt(kScratch, 0x1000);
  const Address data = kScratch + 0x800;
  const uint8_t bytes[] = {0xFF, 0xFF, 0xFF, 0x01, 0x02, 0x03};
  process_.memory().Write(data, bytes, sizeof bytes);
  const struct {
    uint16_t type;
    uint32_t element_size;
    uint32_t count;
    const char16_t* values;
  } cases[] = {
      {vbLongLong, 3, 2, u"16777215 197121 \r\n"},  // 3 bytes of 8, as a LongLong
      {vbULong, 6, 1, u"3307158372351 \r\n"},
      {vbSByte, 2, 3, u"-1 -1 2 \r\n"},  // the first byte of each pair
      {vbUShort, 3, 2, u"65535 513 \r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    WriteDescriptor(kScratch, 1, c.element_size, data, {{c.count, 0}});
    const Address var = PassArrayCell(c.type, kScratch);
    RavoDUZE inspector(process_);
    const std::u16string plain = inspector(var, std::nullopt, varValues, vatNOTHING);
    EXPECT_EQ(plain.substr(plain.rfind(u"\r\n", plain.size() - 3) + 2), c.values);
    EXPECT_EQ(Call(var, varValues, vatIndexed).number, 0);
  }
}

// Variant and String elements narrower than a variant or a pointer: the
// twin reads only the bytes an element has, as the text does, and gives the
// same values.
TEST_F(HardeningTest, NarrowVariantAndStringElementsReadOnlyTheirBytes) {
  MapAt(kScratch, 0x1000);
  const Address data = kScratch + 0x800;
  const uint8_t bytes[] = {2, 0, 7, 0, 3, 0, 9, 0};  // Integer type words, and more
  process_.memory().Write(data, bytes, sizeof bytes);
  for (const auto& [type, size] : {std::pair<uint16_t, uint32_t>{vbVariant, 4},
                                   {vbVariant, 2},
                                   {vbString, 2},
                                   {vbString, 1}}) {
    SCOPED_TRACE(std::to_string(type) + " of " + std::to_string(size));
    WriteDescriptor(kScratch, 1, size, data, {{2, 0}});
    const Address var = PassArrayCell(type, kScratch);
    RavoDUZE inspector(process_);
    const ReportFacts facts = inspector.Facts(var, varValues);
    std::optional<std::u16string> text;
    try {
      text = inspector(var, std::nullopt, varValues, vatNOTHING);
    } catch (const RuntimeError& e) {
      ASSERT_TRUE(facts.error) << "the text raised " << e.number();
      EXPECT_EQ(facts.error->number, e.number());
      continue;
    }
    ASSERT_EQ(facts.elements.size(), 2u);
    EXPECT_NE(text->find(facts.elements[0].value + u" " + facts.elements[1].value + u" "),
              std::u16string::npos);
  }
}

}  // namespace
}  // namespace dudUdudADOD
