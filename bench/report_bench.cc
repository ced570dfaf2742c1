// Benchmarks of the report: the default report of a Long, the values section
// of large arrays (bytes and elements per second, which must stay flat from
// 1 Mi to 16 Mi elements: the report is linear), character rendering, index
// labels of a three-dimensional array, and the descriptor section with 60
// bounds.
#include <benchmark/benchmark.h>

#include <cstring>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <random>
#include <string>
#include <vector>

#include "automation/bstr.h"
#include "automation/client.h"
#include "automation/safe_array.h"
#include "inspector/ravoduze.h"

namespace {

using namespace dudUdudADOD;              // NOLINT
using namespace dudUdudADOD::automation;  // NOLINT

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
// reference.
Address FilledArray(Client& client, uint16_t type, std::vector<DeclaredBound> bounds) {
  Process& process = client.process();
  const Variable a = client.DimArray(type, bounds);
  AddressSpace& memory = process.memory();
  const Address descriptor = ReadUInt32(memory, a.address);
  const uint64_t count = SafeArrayElementCount(memory, descriptor);
  const uint32_t size = SafeArrayElementSize(memory, descriptor);
  uint8_t* data = memory.MutableSpan(SafeArrayData(memory, descriptor),
                                     static_cast<uint32_t>(count * size));
  std::mt19937 random(42);
  if (type == vbString) {
    const Address words[] = {SysAllocString(process, u"alpha"), SysAllocString(process, u"b"),
                             SysAllocString(process, u"gamma ray")};
    for (uint64_t i = 0; i < count; ++i) {
      const Address w = words[random() % 3];
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

void Values(benchmark::State& state, uint16_t type, int32_t vat_flags) {
  Process process;
  Client client(process);
  const auto count = static_cast<int32_t>(state.range(0));
  const Address arg = FilledArray(client, type, {{1, count}});
  RavoDUZE inspector(process);
  // One report before the timing, so that every size is measured with its
  // memory already mapped (a large size may otherwise run only once, paying
  // for the first touch of every page).
  benchmark::DoNotOptimize(inspector(arg, false, 16, vat_flags));
  for (auto _ : state) benchmark::DoNotOptimize(inspector(arg, false, 16, vat_flags));
  state.SetItemsProcessed(state.iterations() * count);
  state.SetBytesProcessed(state.iterations() * int64_t{count} * StorageSize(type));
}

constexpr int64_t kMi = 1 << 20;

BENCHMARK_CAPTURE(Values, Byte, vbByte, 0)->Arg(kMi)->Arg(4 * kMi)->Arg(16 * kMi)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Values, Long, vbLong, 0)->Arg(kMi)->Arg(4 * kMi)->Arg(16 * kMi)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Values, Double, vbDouble, 0)->Arg(kMi)->Arg(4 * kMi)->Arg(16 * kMi)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Values, String, vbString, 16)->Arg(kMi)->Arg(4 * kMi)->Arg(16 * kMi)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Values, ByteCharacters, vbByte, 4)->Arg(kMi)->Arg(16 * kMi)->Unit(benchmark::kMillisecond);

void IndexLabels3D(benchmark::State& state) {
  Process process;
  Client client(process);
  const auto side = static_cast<int32_t>(state.range(0));
  const Address arg = FilledArray(client, vbInteger, {{0, side - 1}, {1, side}, {-side, -1}});
  RavoDUZE inspector(process);
  benchmark::DoNotOptimize(inspector(arg, false, 16, 2));  // memory mapped before timing
  for (auto _ : state) benchmark::DoNotOptimize(inspector(arg, false, 16, 2));
  state.SetItemsProcessed(state.iterations() * int64_t{side} * side * side);
}
BENCHMARK(IndexLabels3D)->Arg(100)->Arg(256)->Unit(benchmark::kMillisecond);

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

// Every size is measured the same way: glibc would otherwise map reports of
// more than 32 MiB fresh from the kernel at each iteration (and pay for
// zeroing their pages) while smaller ones reuse freed memory, which measures
// the allocator's threshold instead of the report.
int main(int argc, char** argv) {
#ifdef __GLIBC__
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
#endif
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
