// A C++ client of the registered component, as a compiled program calls it:
// created by its ProgID, called through IDispatch::Invoke and through the
// interface's own methods, with its errors read both ways. Prints what it
// gets; run_e2e.sh compares that with client.golden.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

// clang-format off
#include "windows/win32.h"
#include <initguid.h>
#include "windows/type_library.h"
// clang-format on

namespace {

void PrintText(BSTR text) {
  for (UINT i = 0; text != nullptr && i < SysStringLen(text); ++i) {
    std::putchar(text[i] < 128 ? static_cast<char>(text[i]) : '?');
  }
  std::printf("\n");
}

void Print(const char* title, BSTR text) {
  std::printf("=== %s\n", title);
  PrintText(text);
}

void PrintFailure(const char* title, HRESULT hr, const EXCEPINFO* info) {
  std::printf("=== %s\nHRESULT 0x%08lX\n", title, static_cast<unsigned long>(hr));
  if (info != nullptr) {
    std::printf("scode 0x%08lX\nsource ", static_cast<unsigned long>(info->scode));
    PrintText(info->bstrSource);
    std::printf("description ");
    PrintText(info->bstrDescription);
  }
}

// Invokes the main call with `args` (last first, as DISPPARAMS wants them).
HRESULT InvokeMain(IDispatch* object, DISPID id, VARIANTARG* args, UINT count, VARIANT* result,
                   EXCEPINFO* info) {
  DISPPARAMS params = {args, nullptr, count, 0};
  UINT bad = 0;
  return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, info,
                        &bad);
}

}  // namespace

int main() {
  // The reports' own CR LF go out as they are.
  _setmode(_fileno(stdout), _O_BINARY);
  if (FAILED(CoInitialize(nullptr))) return 2;
  CLSID clsid;
  if (FAILED(CLSIDFromProgID(L"dudUdudADOD.RavoDUZE", &clsid))) {
    std::printf("the ProgID is not registered\n");
    return 1;
  }
  IDispatch* object = nullptr;
  HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                reinterpret_cast<void**>(&object));
  if (FAILED(hr)) {
    std::printf("CoCreateInstance failed: 0x%08lX\n", static_cast<unsigned long>(hr));
    return 1;
  }
  OLECHAR name[] = L"RavoDUZE";
  LPOLESTR names[] = {name};
  DISPID id = 0;
  hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  std::printf("DISPID of RavoDUZE: %ld\n", static_cast<long>(id));

  // A Long passed by reference, as a compiled client passes its variable.
  LONG x = 5;
  VARIANTARG arg;
  VariantInit(&arg);
  arg.vt = VT_I4 | VT_BYREF;
  arg.plVal = &x;
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO info = {};
  hr = InvokeMain(object, id, &arg, 1, &result, &info);
  if (SUCCEEDED(hr)) Print("Invoke, a Long by reference", result.bstrVal);
  VariantClear(&result);

  // Optional arguments, last first: DebugF left out, varFlags 16 as an
  // Integer, vatFlags 0.
  VARIANTARG args[4];
  for (VARIANTARG& a : args) VariantInit(&a);
  args[0].vt = VT_I4;  // vatFlags
  args[0].lVal = 0;
  args[1].vt = VT_I2;  // varFlags
  args[1].iVal = 16;
  args[2].vt = VT_ERROR;  // DebugF, omitted
  args[2].scode = DISP_E_PARAMNOTFOUND;
  args[3] = arg;
  hr = InvokeMain(object, id, args, 4, &result, &info);
  if (SUCCEEDED(hr)) Print("Invoke, values only", result.bstrVal);
  VariantClear(&result);

  // An error through Invoke: Null has no text.
  VARIANTARG null_arg;
  VariantInit(&null_arg);
  null_arg.vt = VT_NULL;
  info = EXCEPINFO{};
  hr = InvokeMain(object, id, &null_arg, 1, &result, &info);
  PrintFailure("Invoke, Null", hr, &info);
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrDescription);

  // The interface's own methods.
  _RavoDUZE* direct = nullptr;
  hr = object->QueryInterface(IID__RavoDUZE, reinterpret_cast<void**>(&direct));
  if (SUCCEEDED(hr)) {
    BSTR text = nullptr;
    VARIANT flags;
    VariantInit(&flags);
    flags.vt = VT_I4;
    flags.lVal = 1;  // varARG
    if (SUCCEEDED(direct->RavoDUZE(&arg, nullptr, &flags, nullptr, nullptr, &text))) {
      Print("method, the variant argument", text);
    }
    SysFreeString(text);
    text = nullptr;
    hr = direct->RavoDUZE(&null_arg, nullptr, nullptr, nullptr, nullptr, &text);
    PrintFailure("method, Null", hr, nullptr);
    ISupportErrorInfo* supports = nullptr;
    if (SUCCEEDED(
            direct->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&supports)))) {
      std::printf("supports error info: %s\n",
                  supports->InterfaceSupportsErrorInfo(IID__RavoDUZE) == S_OK ? "yes" : "no");
      supports->Release();
    }
    IErrorInfo* error = nullptr;
    if (GetErrorInfo(0, &error) == S_OK && error != nullptr) {
      BSTR source = nullptr;
      BSTR description = nullptr;
      error->GetSource(&source);
      error->GetDescription(&description);
      Print("error info source", source);
      Print("error info description", description);
      SysFreeString(source);
      SysFreeString(description);
      error->Release();
    }
    if (SUCCEEDED(direct->About(&text))) Print("method, About", text);
    SysFreeString(text);
    direct->Release();
  }
  object->Release();
  CoUninitialize();
  return 0;
}
