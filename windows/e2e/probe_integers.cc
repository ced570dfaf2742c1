// An end-to-end probe of the integer types that clients other than the
// language's own pass: 64-bit programs' LongLong (VT_I8) above all, and the
// signed, unsigned and machine integers of other languages (VT_I1, VT_UI2,
// VT_UI4, VT_UI8, VT_INT, VT_UINT). The registered component is called
// through IDispatch::Invoke, as a compiled client calls it, with each type
// by value, by reference, inside a Variant array and as a typed array, and
// every report is printed; run_e2e.sh compares them with
// probe_integers.golden.
//
// Each value is one that shows the type's sign or width: the lowest LongLong,
// the highest ULong, an unsigned value above a signed type's range.
#include <fcntl.h>
#include <io.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "windows/win32.h"

namespace {

// The report flags: every section, or the variable and its values.
constexpr LONG kAllSections = 31;
constexpr LONG kVariableAndValues = 2 | 16;
constexpr LONG kIndexedWithLegend = 2 | 32;

struct IntegerCase {
  const char* name;
  VARTYPE vt;
  uint64_t bits;  // the value's two's complement, cut to the type's size
  ULONG size;
};

constexpr IntegerCase kCases[] = {
    {"VT_I8", VT_I8, 0x8000000000000000, 8},  // -9223372036854775808
    {"VT_I1", VT_I1, 0xFB, 1},                // -5
    {"VT_UI2", VT_UI2, 40000, 2},             // above an Integer
    {"VT_UI4", VT_UI4, 4000000000, 4},        // above a Long
    {"VT_UI8", VT_UI8, ~uint64_t{0}, 8},      // 18446744073709551615
    {"VT_INT", VT_INT, 0xFFFFFFF9, 4},        // -7
    {"VT_UINT", VT_UINT, 4294967295, 4},      // the highest
};

void PrintText(BSTR text) {
  for (UINT i = 0; text != nullptr && i < SysStringLen(text); ++i) {
    std::putchar(text[i] < 128 ? static_cast<char>(text[i]) : '?');
  }
  std::printf("\n");
}

// The value's bytes at `at`, as the client stores them.
void Store(const IntegerCase& c, void* at) { std::memcpy(at, &c.bits, c.size); }

// Calls the main call on `var` with the section and value flags, and
// prints the report under `title`, or the failure.
void Report(IDispatch* object, DISPID id, const char* title, const VARIANTARG& var, LONG var_flags,
            LONG vat_flags) {
  VARIANTARG args[4];  // last first, as DISPPARAMS wants them
  for (VARIANTARG& a : args) VariantInit(&a);
  args[0].vt = VT_I4;  // vatFlags
  args[0].lVal = vat_flags;
  args[1].vt = VT_I4;  // varFlags
  args[1].lVal = var_flags;
  args[2].vt = VT_ERROR;  // DebugF, omitted
  args[2].scode = DISP_E_PARAMNOTFOUND;
  args[3] = var;
  DISPPARAMS params = {args, nullptr, 4, 0};
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO info = {};
  UINT bad = 0;
  const HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                    &result, &info, &bad);
  std::printf("=== %s\n", title);
  if (SUCCEEDED(hr)) {
    PrintText(result.bstrVal);
  } else {
    std::printf("HRESULT 0x%08lX scode 0x%08lX\n", static_cast<unsigned long>(hr),
                static_cast<unsigned long>(info.scode));
  }
  VariantClear(&result);
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrDescription);
  SysFreeString(info.bstrHelpFile);
}

void ByValueAndByReference(IDispatch* object, DISPID id) {
  for (const IntegerCase& c : kCases) {
    const bool first = &c == &kCases[0];
    char title[64];
    VARIANTARG held;
    VariantInit(&held);
    held.vt = c.vt;
    Store(c, &held.llVal);
    std::snprintf(title, sizeof title, "%s by value", c.name);
    Report(object, id, title, held, first ? kAllSections : 1 | 2, 63);

    uint64_t variable = 0;
    Store(c, &variable);
    VARIANTARG reference;
    VariantInit(&reference);
    reference.vt = static_cast<VARTYPE>(c.vt | VT_BYREF);
    reference.byref = &variable;
    std::snprintf(title, sizeof title, "%s by reference", c.name);
    Report(object, id, title, reference, first ? kAllSections : 2, 63);
  }
}

// A Variant array holding one value of each type, 1 To 7.
void InAVariantArray(IDispatch* object, DISPID id) {
  SAFEARRAYBOUND bound{static_cast<ULONG>(sizeof kCases / sizeof kCases[0]), 1};
  SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 1, &bound);
  if (array == nullptr) return;
  VARIANT* elements = static_cast<VARIANT*>(array->pvData);
  for (ULONG i = 0; i < bound.cElements; ++i) {
    elements[i].vt = kCases[i].vt;
    Store(kCases[i], &elements[i].llVal);
  }
  VARIANTARG arg;
  VariantInit(&arg);
  arg.vt = VT_ARRAY | VT_VARIANT | VT_BYREF;
  arg.pparray = &array;
  Report(object, id, "a Variant array of each type", arg, kVariableAndValues, kIndexedWithLegend);
  SafeArrayDestroy(array);
}

// An array (1 To 2, 0 To 1) of each type: the value, zeros, the value.
void AsTypedArrays(IDispatch* object, DISPID id) {
  for (const IntegerCase& c : kCases) {
    const bool first = &c == &kCases[0];
    SAFEARRAYBOUND bounds[2] = {{2, 1}, {2, 0}};
    SAFEARRAY* array = SafeArrayCreate(c.vt, 2, bounds);
    if (array == nullptr) continue;
    auto* data = static_cast<uint8_t*>(array->pvData);
    Store(c, data);
    Store(c, data + 3 * c.size);
    VARIANTARG arg;
    VariantInit(&arg);
    arg.vt = static_cast<VARTYPE>(VT_ARRAY | c.vt | VT_BYREF);
    arg.pparray = &array;
    char title[64];
    std::snprintf(title, sizeof title, "an array of %s", c.name);
    Report(object, id, title, arg, first ? kAllSections : kVariableAndValues, kIndexedWithLegend);
    SafeArrayDestroy(array);
  }
}

}  // namespace

int main() {
  // The reports' own CR LF go out as they are.
  _setmode(_fileno(stdout), _O_BINARY);
  if (FAILED(CoInitialize(nullptr))) return 2;
  CLSID clsid;
  IDispatch* object = nullptr;
  if (FAILED(CLSIDFromProgID(L"dudUdudADOD.RavoDUZE", &clsid)) ||
      FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                              reinterpret_cast<void**>(&object)))) {
    std::printf("the component cannot be created\n");
    return 1;
  }
  OLECHAR name[] = L"RavoDUZE";
  LPOLESTR names[] = {name};
  DISPID id = 0;
  if (FAILED(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) return 1;
  ByValueAndByReference(object, id);
  InAVariantArray(object, id);
  AsTypedArrays(object, id);
  object->Release();
  CoUninitialize();
  return 0;
}
