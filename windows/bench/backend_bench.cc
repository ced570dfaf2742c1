// backend_bench DLL_PATH: the real backend against the model on the same
// reports, in one Windows process.
//
// The DLL is loaded by path and its class object taken from its own export,
// so nothing needs registering; the main call goes through the interface's
// method, as a compiled client calls it. The model runs in the same process,
// built by the same compiler with the same flags, so the comparison is of
// the two backends, not of two hosts. Each report is timed as the best of
// several runs, with its text's length printed beside it as a check that
// both backends did the same work, and whether the DLL took at most a tenth
// longer than the model (faster is as good). After the reports: the element rate of
// the String walk with addresses and lengths against the Byte walk of values
// alone, each backend's in the same run, and what the guarded copy of a big
// array costs against a plain copy.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

// clang-format off
#include "windows/win32.h"
#include <initguid.h>
#include "windows/type_library.h"
// clang-format on

#include "automation/bstr.h"
#include "automation/runtime_error.h"
#include "inspector/ravoduze.h"
#include "model/bstr_heap.h"
#include "model/client.h"
#include "model/safe_array_heap.h"
#include "windows/e2e/load_component.h"
#include "windows/guarded_memory.h"

namespace {

using Inspector = dudUdudADOD::RavoDUZE;
namespace model = dudUdudADOD::automation;

constexpr int32_t kBytes = 16 << 20;
constexpr int32_t kStrings = 1 << 20;
constexpr int32_t kSide = 128;  // of the three-dimensional Integer array
constexpr int kRuns = 3;
constexpr const char16_t* kWords[] = {u"alpha", u"b", u"gamma ray"};

// One report to time: its flags, as both backends take them.
struct Report {
  const char* name;
  int32_t var_flags;
  int32_t vat_flags;
};

struct Timing {
  double seconds = 1e300;
  size_t length = 0;
};

Timing Best(const std::function<size_t()>& run) {
  Timing best;
  for (int i = 0; i < kRuns; ++i) {
    const auto start = std::chrono::steady_clock::now();
    best.length = run();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (took.count() < best.seconds) best.seconds = took.count();
  }
  return best;
}

// --- The real backend ---------------------------------------------------------

size_t RealReport(_RavoDUZE* object, VARIANT* arg, const Report& report) {
  VARIANT var_flags;
  VARIANT vat_flags;
  VariantInit(&var_flags);
  VariantInit(&vat_flags);
  var_flags.vt = VT_I4;
  var_flags.lVal = report.var_flags;
  vat_flags.vt = VT_I4;
  vat_flags.lVal = report.vat_flags;
  BSTR text = nullptr;
  if (FAILED(object->RavoDUZE(arg, nullptr, &var_flags, &vat_flags, nullptr, &text))) return 0;
  const size_t length = SysStringLen(text);
  SysFreeString(text);
  return length;
}

SAFEARRAY* RealByteArray() {
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 1, kBytes);
  std::mt19937 random(42);
  auto* data = static_cast<uint8_t*>(array->pvData);
  for (int32_t i = 0; i < kBytes; ++i) data[i] = static_cast<uint8_t>(random());
  return array;
}

SAFEARRAY* RealStringArray() {
  SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 1, kStrings);
  std::mt19937 random(42);
  auto* data = static_cast<BSTR*>(array->pvData);
  for (int32_t i = 0; i < kStrings; ++i) {
    data[i] = SysAllocString(reinterpret_cast<const OLECHAR*>(kWords[random() % 3]));
  }
  return array;
}

// --- The model ----------------------------------------------------------------

model::Address ModelArray(model::Client& client, uint16_t type, int32_t count) {
  model::Process& process = client.process();
  const model::DeclaredBound bounds[] = {{1, count}};
  const model::Variable a = client.DimArray(type, bounds);
  model::AddressSpace& memory = process.memory();
  const model::Address descriptor = model::ReadPointer(memory, a.address);
  const model::Address data = model::SafeArrayData(memory, descriptor);
  std::mt19937 random(42);
  if (type == model::vbString) {
    const uint32_t size = model::SafeArrayElementSize(memory, descriptor);
    for (int32_t i = 0; i < count; ++i) {
      const model::Address text = model::SysAllocString(process, kWords[random() % 3]);
      model::WritePointer(memory, data + uint64_t{size} * static_cast<uint32_t>(i), text);
    }
  } else {
    uint8_t* bytes = memory.MutableSpan(data, static_cast<uint32_t>(count));
    for (int32_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(random());
  }
  return client.Pass(a);
}

size_t ModelReport(Inspector& inspector, model::Address arg, const Report& report) {
  try {
    return inspector(arg, false, report.var_flags, report.vat_flags).size();
  } catch (const dudUdudADOD::RuntimeError&) {
    return 0;
  }
}

// The walk alone: the text is counted and dropped piece by piece, so what is
// timed is the walk's own work, without the pages of a text held whole.
size_t ModelWalk(Inspector& inspector, model::Address arg, const Report& report) {
  size_t length = 0;
  try {
    inspector.Report(
        [&length](std::u16string& text) {
          length += text.size();
          text.clear();
        },
        arg, false, report.var_flags, report.vat_flags);
  } catch (const dudUdudADOD::RuntimeError&) {
    return 0;
  }
  return length;
}

// The times of one report on both backends.
struct Pair {
  Timing model;
  Timing real;
};

Pair Compare(const char* array, const Report& report, const std::function<size_t()>& model_run,
             const std::function<size_t()>& real_run) {
  const Timing m = Best(model_run);
  const Timing r = Best(real_run);
  const double ratio = r.seconds / m.seconds;
  std::printf("%-14s %-26s %9.1f %9.1f %7.2f  %-9s %10zu %10zu\n", array, report.name,
              m.seconds * 1e3, r.seconds * 1e3, ratio, ratio <= 1.10 ? "yes" : "no", m.length,
              r.length);
  return {m, r};
}

SAFEARRAY* RealIntegerCube() {
  // SafeArrayCreate takes the bounds leftmost dimension first, as Dim names them.
  SAFEARRAYBOUND bounds[] = {{kSide, 0}, {kSide, 1}, {kSide, -kSide}};
  SAFEARRAY* array = SafeArrayCreate(VT_I2, 3, bounds);
  std::mt19937 random(42);
  auto* data = static_cast<uint8_t*>(array->pvData);
  for (int32_t i = 0; i < kSide * kSide * kSide * 2; ++i) data[i] = static_cast<uint8_t>(random());
  return array;
}

model::Address ModelIntegerCube(model::Client& client) {
  const model::DeclaredBound bounds[] = {{0, kSide - 1}, {1, kSide}, {-kSide, -1}};
  const model::Variable a = client.DimArray(model::vbInteger, bounds);
  model::AddressSpace& memory = client.process().memory();
  const model::Address descriptor = model::ReadPointer(memory, a.address);
  const model::Address data = model::SafeArrayData(memory, descriptor);
  uint8_t* bytes = memory.MutableSpan(data, kSide * kSide * kSide * 2);
  std::mt19937 random(42);
  for (int32_t i = 0; i < kSide * kSide * kSide * 2; ++i) bytes[i] = static_cast<uint8_t>(random());
  return client.Pass(a);
}

// Elements per second of the String walk with addresses and lengths against
// the Byte walk of values alone: the rate of one over the other, as "1/N".
void PrintRate(const char* backend, const char* what, double byte_seconds, double string_seconds) {
  const double bytes = kBytes / byte_seconds;
  const double strings = kStrings / string_seconds;
  std::printf("%-14s %-26s %7.1f M/s against %7.1f M/s: 1/%.1f\n", backend, what, strings / 1e6,
              bytes / 1e6, bytes / strings);
}

// The guarded copy of a big array against a plain copy, both 16 MiB: whole
// into fresh memory (what a walk took of the data before it read it a
// window at a time), and 64 KiB at a time into room reused (what a walk
// takes now, the copy staying in the cache).
void TimeGuardedCopy() {
  std::vector<uint8_t> source(kBytes, 7);
  const auto at = static_cast<model::Address>(reinterpret_cast<uintptr_t>(source.data()));
  const Timing guarded = Best([&] {
    dudUdudADOD::windows::GuardedMemory memory;
    return memory.Span(at, kBytes) != nullptr ? size_t{kBytes} : 0;
  });
  const Timing plain = Best([&] {
    auto copy = std::make_unique<uint8_t[]>(kBytes);
    std::memcpy(copy.get(), source.data(), kBytes);
    return static_cast<size_t>(copy[kBytes - 1]);
  });
  constexpr uint32_t kWindow = 1 << 16;
  std::vector<uint8_t> room(kWindow);
  const Timing guarded_windows = Best([&] {
    dudUdudADOD::windows::GuardedMemory memory;
    size_t copied = 0;
    for (uint32_t done = 0; done < kBytes; done += kWindow) {
      if (memory.TryRead(at + done, room.data(), kWindow)) copied += kWindow;
    }
    return copied;
  });
  const Timing plain_windows = Best([&] {
    for (uint32_t done = 0; done < kBytes; done += kWindow) {
      std::memcpy(room.data(), source.data() + done, kWindow);
    }
    return static_cast<size_t>(room[kWindow - 1]);
  });
  std::printf("%-14s %-26s %9.1f ms (%.1f GB/s); a plain copy %.1f ms\n", "Byte 16 Mi",
              "guarded copy, whole", guarded.seconds * 1e3, kBytes / guarded.seconds / 1e9,
              plain.seconds * 1e3);
  std::printf("%-14s %-26s %9.1f ms (%.1f GB/s); a plain copy %.1f ms\n", "Byte 16 Mi",
              "guarded copy, 64 KiB pieces", guarded_windows.seconds * 1e3,
              kBytes / guarded_windows.seconds / 1e9, plain_windows.seconds * 1e3);
}

// What the DLL does and the model does not: hand its text over as a fresh
// BSTR, a copy into pages the process has not touched yet.
void TimeTextCopy(size_t length) {
  const std::u16string text(length, u'7');
  const Timing copy = Best([&] {
    BSTR b = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                               static_cast<UINT>(text.size()));
    const size_t n = SysStringLen(b);
    SysFreeString(b);
    return n;
  });
  std::printf("%-14s %-26s %9s %9.1f\n", "(any)", "copy of the text to a BSTR", "",
              copy.seconds * 1e3);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: backend_bench DLL_PATH\n");
    return 2;
  }
  if (FAILED(CoInitialize(nullptr))) return 2;
  _RavoDUZE* object = dudUdudADOD::windows::LoadComponent<_RavoDUZE>(argv[1], IID__RavoDUZE);
  if (object == nullptr) {
    std::fprintf(stderr, "backend_bench: cannot load the component from the DLL\n");
    return 1;
  }
  const Report reports[] = {{"values, plain numbers", 16, 0},
                            {"values, addresses/lengths", 16, 16},
                            {"default report (31, 63)", 31, 63}};
  std::printf("%-14s %-26s %9s %9s %7s  %-9s %10s %10s\n", "array", "report", "model ms", "DLL ms",
              "DLL/mod", "<=1.10", "model len", "DLL len");

  Pair byte_values;
  Pair string_values;
  Timing byte_walk;
  Timing string_walk;
  {
    model::Process process;
    model::Client client(process);
    Inspector inspector(process);
    const model::Address arg = ModelArray(client, model::vbByte, kBytes);
    SAFEARRAY* bytes = RealByteArray();
    VARIANT real;
    VariantInit(&real);
    real.vt = VT_ARRAY | VT_UI1 | VT_BYREF;
    real.pparray = &bytes;
    for (const Report& r : {reports[0], reports[2]}) {
      const Pair p = Compare(
          "Byte 16 Mi", r, [&] { return ModelReport(inspector, arg, r); },
          [&] { return RealReport(object, &real, r); });
      if (r.vat_flags == reports[0].vat_flags) byte_values = p;
    }
    SafeArrayDestroy(bytes);
    TimeTextCopy(ModelReport(inspector, arg, reports[0]));
    byte_walk = Best([&] { return ModelWalk(inspector, arg, reports[0]); });
  }
  {
    model::Process process;
    model::Client client(process);
    Inspector inspector(process);
    const model::Address arg = ModelArray(client, model::vbString, kStrings);
    SAFEARRAY* strings = RealStringArray();
    VARIANT real;
    VariantInit(&real);
    real.vt = VT_ARRAY | VT_BSTR | VT_BYREF;
    real.pparray = &strings;
    for (const Report& r : reports) {
      const Pair p = Compare(
          "String 1 Mi", r, [&] { return ModelReport(inspector, arg, r); },
          [&] { return RealReport(object, &real, r); });
      if (&r == &reports[1]) string_values = p;
    }
    SafeArrayDestroy(strings);
    string_walk = Best([&] { return ModelWalk(inspector, arg, reports[1]); });
  }
  {
    model::Process process;
    model::Client client(process);
    Inspector inspector(process);
    const model::Address arg = ModelIntegerCube(client);
    SAFEARRAY* cube = RealIntegerCube();
    VARIANT real;
    VariantInit(&real);
    real.vt = VT_ARRAY | VT_I2 | VT_BYREF;
    real.pparray = &cube;
    const Report labels = {"values with index labels", 16, 2};
    Compare(
        "Integer 128^3", labels, [&] { return ModelReport(inspector, arg, labels); },
        [&] { return RealReport(object, &real, labels); });
    SafeArrayDestroy(cube);
  }
  // The walks alone are the request's measure; a whole call also pays for the
  // pages of its text, about five times as many per String element as per
  // Byte element, which narrows the gap between the two.
  PrintRate("model", "walks, text dropped", byte_walk.seconds, string_walk.seconds);
  PrintRate("model", "whole calls", byte_values.model.seconds, string_values.model.seconds);
  PrintRate("DLL", "whole calls", byte_values.real.seconds, string_values.real.seconds);
  TimeGuardedCopy();
  object->Release();
  CoUninitialize();
  return 0;
}
