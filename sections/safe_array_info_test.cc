#include "sections/safe_array_info.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "automation/runtime_error.h"
#include "automation/safe_array_desc.h"
#include "model/client.h"
#include "model/safe_array_heap.h"
#include "testutil/golden.h"

namespace dudUdudADOD::sections {
namespace {

using automation::Address;
using automation::Process;

const std::u16string kBlank(72, u' ');

std::u16string Padded(std::u16string line) {
  line.resize(72, u' ');
  return line;
}

// Lines 1 to 7 of a record at 1242400 whose cDims, fFeatures and
// cbElements are 2, 128 and 4 (a Long array of two dimensions).
const std::u16string kHeadOfExample = Padded(u"/// SAFEARRAY STRUCTURE ///") +
                                      u"\r\nEntry          Variable        Address         Type    "
                                      u"        LenB    Value           Bytes"
                                      u"\r\n1242400        .cDims          1242400         Integer "
                                      u"        2       2               2 0 "
                                      u"\r\n               .fFeaures       1242402         Integer "
                                      u"        2       128             128 0 "
                                      u"\r\n               .cbArrElemSize  1242404         Long    "
                                      u"        4       4               4 0 0 0 "
                                      u"\r\n               .cLock          1242408         Long    "
                                      u"        4       0               0 0 0 0 "
                                      u"\r\n               .pvData         1242412         Long    "
                                      u"        4       1536000         0 112 23 0 \r\n";
const std::u16string kBoundHeadings =
    Padded(u"Entry          Bound           cElements       lBound          uBound");

// The worked example: the client's Long array declared 1 To 3, 0 To 4, and
// the main call's snapshot of its descriptor in the stack at 1242400.
void SnapshotExample(Process& process) {
  automation::Client client(process);
  const std::array<automation::DeclaredBound, 2> bounds{{{1, 3}, {0, 4}}};
  const automation::Variable array = client.DimArray(automation::vbLong, bounds);
  process.stack().Place(1242400, automation::SafeArrayDescSize(automation::kWin32Layout));
  int32_t total = 0;
  automation::ReadSafeArrayDesc(process, 1242400, array.address, total);
}

TEST(SafeArrayInfo, WorkedExampleWithBounds) {
  Process process;
  SnapshotExample(process);
  EXPECT_SAME_TEXT(SafeArrayInfo(process, 1242400, true),
                   kHeadOfExample + kBlank + u"\r\n" + kBoundHeadings + u"\r\n" +
                       Padded(u"1536000        0               5               0               4") +
                       u"\r\n               1               3               1               3");
}

TEST(SafeArrayInfo, WorkedExampleWithoutBoundsEndsWithLineBreak) {
  Process process;
  SnapshotExample(process);
  EXPECT_SAME_TEXT(SafeArrayInfo(process, 1242400, false),
                   kHeadOfExample + kBlank + u"\r\n" + kBlank + u"\r\n" + kBlank + u"\r\n");
}

TEST(SafeArrayInfo, ArrayWithoutStorageShowsZerosAndNoRows) {
  Process process;
  process.stack().Place(1242400,
                        automation::SafeArrayDescSize(automation::kWin32Layout));  // all zero
  const std::u16string text = SafeArrayInfo(process, 1242400, true);
  EXPECT_NE(text.find(u"\r\n1242400        .cDims          1242400         Integer         2       "
                      u"0               0 0 \r\n"),
            std::u16string::npos);
  EXPECT_SAME_TEXT(text.substr(text.size() - 3 * 74),
                   kBlank + u"\r\n" + kBoundHeadings + u"\r\n" + kBlank + u"\r\n");
}

// Records written by hand, alone at 65536: a read past their 496 bytes (or
// `mapped` bytes) fails with error 5.
constexpr Address kRecord = 0x00010000;

struct Bound {
  uint32_t c_elements;
  int32_t l_lbound;
};

void WriteRecord(Process& process, Address at, int16_t dims, uint32_t pv_data,
                 const std::vector<Bound>& bounds,
                 uint32_t mapped = automation::SafeArrayDescSize(automation::kWin32Layout)) {
  automation::AddressSpace& memory = process.memory();
  memory.Map(at, mapped);
  automation::WriteInt16(memory, at, dims);
  automation::WriteUInt32(memory, at + 12, pv_data);
  for (uint32_t k = 0; k < bounds.size(); ++k) {
    automation::WriteUInt32(memory, at + 16 + 8 * k, bounds[k].c_elements);
    automation::WriteInt32(memory, at + 20 + 8 * k, bounds[k].l_lbound);
  }
}

// The text from line 10 on.
std::u16string BoundRows(const std::u16string& text) {
  size_t at = 0;
  for (int line = 1; line < 10; ++line) at = text.find(u"\r\n", at) + 2;
  return text.substr(at);
}

TEST(SafeArrayInfo, BoundRowsFromLineTenOn) {
  Process process;
  WriteRecord(process, kRecord, 3, 0x80000000u, {{2, -1}, {0, 5}, {1, 0}});
  EXPECT_SAME_TEXT(BoundRows(SafeArrayInfo(process, kRecord, true)),
                   Padded(u"-2147483648    0               2               -1              0") +
                       // No elements: the upper bound is one below the lower.
                       u"\r\n               1               0               5               4"
                       u"\r\n               2               1               0               0");

  Process full;
  WriteRecord(full, kRecord, 60, 0, std::vector<Bound>(60, Bound{1, 7}));
  const std::u16string rows = BoundRows(SafeArrayInfo(full, kRecord, true));
  EXPECT_EQ(std::count(rows.begin(), rows.end(), u'\n'), 59);  // lines 10 to 69
  EXPECT_SAME_TEXT(rows.substr(rows.rfind(u"\r\n") + 2),
                   u"               59              1               7               7");
}

// Upper bounds at the ends of the Long range exist and print, whatever order
// the sum is taken in: 2147483645 To 2147483647 as a client declares it, and
// a dimension of one element at -2147483648. Both rows run past column 72.
TEST(SafeArrayInfo, UpperBoundsAtTheEndsOfTheLongRangePrint) {
  Process process;
  automation::Client client(process);
  const std::array<automation::DeclaredBound, 1> top{{{2147483645, 2147483647}}};
  const automation::Variable array = client.DimArray(automation::vbLong, top);
  process.stack().Place(1242400, automation::SafeArrayDescSize(automation::kWin32Layout));
  int32_t total = 0;
  automation::ReadSafeArrayDesc(process, 1242400, array.address, total);
  EXPECT_SAME_TEXT(
      BoundRows(SafeArrayInfo(process, 1242400, true)),
      u"1536000        0               3               2147483645      2147483647\r\n");

  Process bottom;
  WriteRecord(bottom, kRecord, 1, 0, {{1, INT32_MIN}});
  EXPECT_SAME_TEXT(
      BoundRows(SafeArrayInfo(bottom, kRecord, true)),
      u"0              0               1               -2147483648     -2147483648\r\n");
}

TEST(SafeArrayInfo, Failures) {
  struct Case {
    const char* name;
    Address at;
    int16_t dims;
    std::vector<Bound> bounds;
    uint32_t mapped;
    int error;
  } const cases[] = {
      // Rows 0 to 59 are placed; bound 60 does not exist in the record and is
      // not read (that would be error 5 here).
      {"61 dimensions",
       kRecord,
       61,
       {},
       automation::SafeArrayDescSize(automation::kWin32Layout),
       9},
      {"32767 dimensions",
       kRecord,
       INT16_MAX,
       {},
       automation::SafeArrayDescSize(automation::kWin32Layout),
       9},
      // Upper bounds that no dimension can have: one past either end of a Long.
      {"uBound overflows",
       kRecord,
       1,
       {{2, INT32_MAX}},
       automation::SafeArrayDescSize(automation::kWin32Layout),
       6},
      {"uBound underflows",
       kRecord,
       1,
       {{0, INT32_MIN}},
       automation::SafeArrayDescSize(automation::kWin32Layout),
       6},
      {"D + 8 overflows", 0x7FFFFFF8u, 0, {}, 16, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Process process;
    WriteRecord(process, c.at, c.dims, 0, c.bounds, c.mapped);
    try {
      SafeArrayInfo(process, c.at, true);
      ADD_FAILURE() << "no error raised";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number(), c.error);
    }
  }
}

}  // namespace
}  // namespace dudUdudADOD::sections
