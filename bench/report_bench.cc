// Benchmarks of the report: the default report of a Long, the values section
// of large arrays (bytes and elements per second, which must stay flat from
// 1 Mi to 16 Mi elements: the report is linear; Strings from 16 Ki, an array
// too short to split), character rendering, index labels of a
// three-dimensional array, and the descriptor section with 60 bounds.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "automation/bstr.h"
#include "automation/safe_array.h"
#include "inspector/ravoduze.h"
#include "model/bstr_heap.h"
#include "model/client.h"
#include "model/safe_array_heap.h"

namespace {

using namespace dudUdudADOD;
using namespace dudUdudADOD::automation;

void DefaultReportOfALong(benchmark::State& state) {
  Process process;
  Client client(process);
  const Variable x = client.Dim(vbLong);
  client.Assign(x, VariantImage::Long(5));
  const Address arg = client.Pass(x);
  RavoDUZE inspector(process);
  for (auto _ : state) benchmark::DoNotOptimize(inspector(arg));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(DefaultReportOfALong);

// An array of `count` elements with pseudo-random contents, passed by
// reference. Strings are three texts shared by every element, or with
// `distinct`, each element's own, allocated in order as a client fills an
// array.
Address FilledArray(Client& client, uint16_t type, std::vector<DeclaredBound> bounds,
                    bool distinct = false) {
  Process& process = client.process();
  const Variable a = client.DimArray(type, bounds);
  AddressSpace& memory = process.memory();
  const Address descriptor = ReadUInt32(memory, a.address);
  const uint64_t count = SafeArrayElementCount(memory, descriptor);
  const uint32_t size = SafeArrayElementSize(memory, descriptor);
  uint8_t* data = SafeArrayDataBytes(memory, descriptor).data();
  std::mt19937 random(42);
  if (type == vbString) {
    const Address words[] = {SysAllocString(process, u"alpha"), SysAllocString(process, u"b"),
                             SysAllocString(process, u"gamma ray")};
    const char16_t* texts[] = {u"alpha", u"b", u"gamma ray"};
    for (uint64_t i = 0; i < count; ++i) {
      const size_t pick = random() % 3;
      const Address w = distinct ? SysAllocString(process, texts[pick]) : words[pick];
      for (int k = 0; k < 4; ++k) data[i * 4 + k] = static_cast<uint8_t>(w >> (8 * k));
    }
  } else if (type == vbDouble) {
    std::uniform_real_distribution<double> value(-1e6, 1e6);
    for (uint64_t i = 0; i < count; ++i) {
      const double d = value(random);
      std::memcpy(data + i * 8, &d, 8);
    }
  } else {
    for (uint64_t i = 0; i < count * size; ++i) data[i] = static_cast<uint8_t>(random());
  }
  return client.Pass(a);
}

// The walk of a large array formats on two threads: the array benchmarks
// count wall-clock time, not the CPU time of the calling thread alone.

// The report of an array, taken in pieces by a sink that only counts them:
// what is timed is building the text, not the kernel mapping hundreds of
// megabytes of fresh pages to hold it (bench/compare measures a whole run of
// ravoduze, pages and all).
size_t ReportLength(RavoDUZE& inspector, Address arg, int32_t var_flags, int32_t vat_flags) {
  size_t length = 0;
  inspector.Report(
      [&length](std::u16string& text) {
        length += text.size();
        text.clear();
      },
      arg, false, var_flags, vat_flags);
  return length;
}

void Values(benchmark::State& state, uint16_t type, int32_t vat_flags, bool distinct = false) {
  Process process;
  Client client(process);
  const auto count = static_cast<int32_t>(state.range(0));
  const Address arg = FilledArray(client, type, {{1, count}}, distinct);
  RavoDUZE inspector(process);
  for (auto _ : state) benchmark::DoNotOptimize(ReportLength(inspector, arg, 16, vat_flags));
  state.SetItemsProcessed(state.iterations() * count);
  state.SetBytesProcessed(state.iterations() * int64_t{count} * StorageSize(type, kWin32Layout));
}

// The same with the whole report held in one string, as the main call returns
// it: at 1 Mi elements the text still fits in memory the allocator reuses.
void WholeReport(benchmark::State& state, uint16_t type) {
  Process process;
  Client client(process);
  const auto count = static_cast<int32_t>(state.range(0));
  const Address arg = FilledArray(client, type, {{1, count}});
  RavoDUZE inspector(process);
  for (auto _ : state) benchmark::DoNotOptimize(inspector(arg, false, 16, 0));
  state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK_CAPTURE(WholeReport, Byte, vbByte)
    ->Arg(1 << 20)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

constexpr int64_t kMi = 1 << 20;

BENCHMARK_CAPTURE(Values, Byte, vbByte, 0)
    ->Arg(kMi)
    ->Arg(4 * kMi)
    ->Arg(16 * kMi)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(Values, Long, vbLong, 0)
    ->Arg(kMi)
    ->Arg(4 * kMi)
    ->Arg(16 * kMi)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(Values, Double, vbDouble, 0)
    ->Arg(kMi)
    ->Arg(4 * kMi)
    ->Arg(16 * kMi)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(Values, String, vbString, 16)
    ->Arg(1 << 14)
    ->Arg(kMi)
    ->Arg(4 * kMi)
    ->Arg(16 * kMi)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(Values, DistinctStrings, vbString, 16, true)
    ->Arg(kMi)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(Values, ByteCharacters, vbByte, 4)
    ->Arg(kMi)
    ->Arg(16 * kMi)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void IndexLabels3D(benchmark::State& state) {
  Process process;
  Client client(process);
  const auto side = static_cast<int32_t>(state.range(0));
  const Address arg = FilledArray(client, vbInteger, {{0, side - 1}, {1, side}, {-side, -1}});
  RavoDUZE inspector(process);
  for (auto _ : state) benchmark::DoNotOptimize(ReportLength(inspector, arg, 16, 2));
  state.SetItemsProcessed(state.iterations() * int64_t{side} * side * side);
}
BENCHMARK(IndexLabels3D)->Arg(100)->Arg(256)->Unit(benchmark::kMillisecond)->UseRealTime();

void DescriptorWith60Bounds(benchmark::State& state) {
  Process process;
  Client client(process);
  const std::vector<DeclaredBound> bounds(60, DeclaredBound{0, 0});
  const Address arg = FilledArray(client, vbByte, bounds);
  RavoDUZE inspector(process);
  for (auto _ : state) benchmark::DoNotOptimize(inspector(arg, false, 12));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(DescriptorWith60Bounds);

}  // namespace

BENCHMARK_MAIN();
