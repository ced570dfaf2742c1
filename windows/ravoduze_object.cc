#include "windows/ravoduze_object.h"

#include <cstring>
#include <new>
#include <optional>
#include <string>

#include "automation/runtime_error.h"
#include "automation/variant_memory.h"
#include "inspector/ravoduze.h"
#include "windows/com_error.h"
#include "windows/own_process.h"
#include "windows/server_module.h"

namespace dudUdudADOD::windows {

namespace {

constexpr DISPID kMainCall = 1;
constexpr DISPID kHelp = 2;
constexpr DISPID kAbout = 3;

Address AddressOf(const void* p) { return static_cast<Address>(reinterpret_cast<uintptr_t>(p)); }

// A call's text, or the run-time error that ended it.
struct Outcome {
  std::u16string text;
  int error = 0;
};

// Runs one public call: the one place on Windows where a RuntimeError is
// caught. No exception crosses into the caller.
template <typename Body>
Outcome Run(Body body) {
  try {
    return {body(), 0};
  } catch (const RuntimeError& e) {
    return {{}, e.number()};
  } catch (const std::bad_alloc&) {
    return {{}, automation::kOutOfMemory};
  } catch (...) {
    return {{}, automation::kInvalidArgument};
  }
}

BSTR ToBstr(const std::u16string& text) {
  return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                           static_cast<UINT>(text.size()));
}

// The optional argument whose VARIANT stands at `at` (0: not passed),
// converted to `type` through the runtime; nullopt when left out, which a
// client shows by passing nothing or VT_ERROR with DISP_E_PARAMNOTFOUND.
// Raises what the conversion raises (13 for a value of the wrong kind).
std::optional<automation::VariantImage> Optional(const OwnProcess& process, Address at,
                                                 VARTYPE type) {
  if (at == 0) return std::nullopt;
  const automation::VariantImage value =
      automation::Dereference(process.memory(), automation::LoadVariant(process.memory(), at));
  if (value.vt() == VT_ERROR && value.long_value() == DISP_E_PARAMNOTFOUND) return std::nullopt;
  VARIANT from = process.RuntimeValue(value);
  VARIANT to;
  VariantInit(&to);
  const HRESULT hr = VariantChangeTypeEx(&to, &from, LOCALE_USER_DEFAULT, VARIANT_ALPHABOOL, type);
  VariantClear(&from);
  if (FAILED(hr)) RaiseFor(hr);
  automation::VariantImage image;
  if (type == VT_BSTR) {
    // Handed back as text: the image keeps no pointer to freed memory.
    VariantClear(&to);
    return image;
  }
  std::memcpy(image.bytes().data(), &to, sizeof to);
  return image;
}

std::optional<std::u16string> OptionalText(const OwnProcess& process, Address at) {
  if (!Optional(process, at, VT_BSTR)) return std::nullopt;
  // Present and convertible: its text as the runtime writes it.
  const automation::VariantImage value =
      automation::Dereference(process.memory(), automation::LoadVariant(process.memory(), at));
  return process.Text(value);
}

// The main call over the component's own process. `var` and the optional
// arguments are addresses of the client's VARIANTs.
std::u16string MainCall(Address var, Address debug, Address var_flags, Address vat_flags,
                        Address sep) {
  OwnProcess process(ServerModule());
  std::optional<bool> debug_flag;
  if (const auto v = Optional(process, debug, VT_BOOL)) debug_flag = v->integer() != 0;
  std::optional<int32_t> var_info;
  if (const auto v = Optional(process, var_flags, VT_I4)) var_info = v->long_value();
  std::optional<int32_t> vat_info;
  if (const auto v = Optional(process, vat_flags, VT_I4)) vat_info = v->long_value();
  std::optional<std::u16string> separator = OptionalText(process, sep);
  dudUdudADOD::RavoDUZE inspector(process);
  return inspector(var, debug_flag, var_info, vat_info, std::move(separator));
}

std::u16string HelpCall() {
  OwnProcess process(ServerModule());
  return dudUdudADOD::RavoDUZE(process).HELP();
}

std::u16string AboutCall() {
  OwnProcess process(ServerModule());
  return dudUdudADOD::RavoDUZE(process).About();
}

// Hands a method's outcome to its caller: the text, or the error as HRESULT
// with the error information set.
HRESULT Deliver(const Outcome& outcome, BSTR* result) {
  if (outcome.error != 0) return SetErrorInformation(outcome.error, IID__RavoDUZE);
  *result = ToBstr(outcome.text);
  return *result != nullptr || outcome.text.empty() ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

RavoDUZEObject::RavoDUZEObject() { AddObject(); }

RavoDUZEObject::~RavoDUZEObject() {
  if (type_info_ != nullptr) type_info_->Release();
  ReleaseObject();
}

HRESULT STDMETHODCALLTYPE RavoDUZEObject::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
      IsEqualIID(iid, IID__RavoDUZE)) {
    *out = static_cast<_RavoDUZE*>(this);
  } else if (IsEqualIID(iid, IID_ISupportErrorInfo)) {
    *out = static_cast<ISupportErrorInfo*>(this);
  } else {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE RavoDUZEObject::AddRef() { return ++references_; }

ULONG STDMETHODCALLTYPE RavoDUZEObject::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

HRESULT RavoDUZEObject::TypeInfo(ITypeInfo** info) {
  if (type_info_ == nullptr) {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(ServerModule(), path, MAX_PATH);
    if (length == 0 || length == MAX_PATH) return TYPE_E_CANTLOADLIBRARY;
    ITypeLib* library = nullptr;
    HRESULT hr = LoadTypeLibEx(path, REGKIND_NONE, &library);
    if (FAILED(hr)) return hr;
    hr = library->GetTypeInfoOfGuid(IID__RavoDUZE, &type_info_);
    library->Release();
    if (FAILED(hr)) return hr;
  }
  type_info_->AddRef();
  *info = type_info_;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE RavoDUZEObject::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE RavoDUZEObject::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  return TypeInfo(info);
}

HRESULT STDMETHODCALLTYPE RavoDUZEObject::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count,
                                                        LCID, DISPID* ids) {
  if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  ITypeInfo* info = nullptr;
  const HRESULT hr = TypeInfo(&info);
  if (FAILED(hr)) return hr;
  const HRESULT found = DispGetIDsOfNames(info, names, count, ids);
  info->Release();
  return found;
}

HRESULT STDMETHODCALLTYPE RavoDUZEObject::Invoke(DISPID id, REFIID iid, LCID, WORD flags,
                                                 DISPPARAMS* params, VARIANT* result,
                                                 EXCEPINFO* exception, UINT*) {
  if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if ((flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) == 0) return DISP_E_MEMBERNOTFOUND;
  if (params == nullptr) return E_INVALIDARG;
  if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
  const UINT n = params->cArgs;
  // Arguments stand in rgvarg last first.
  auto argument = [&](UINT i) -> Address {
    return i < n ? AddressOf(&params->rgvarg[n - 1 - i]) : 0;
  };
  Outcome outcome;
  switch (id) {
    case kMainCall: {
      if (n < 1 || n > 5) return DISP_E_BADPARAMCOUNT;
      const VARIANTARG& first = params->rgvarg[n - 1];
      const Address var =
          first.vt == (VT_BYREF | VT_VARIANT) ? AddressOf(first.pvarVal) : AddressOf(&first);
      outcome =
          Run([&] { return MainCall(var, argument(1), argument(2), argument(3), argument(4)); });
      break;
    }
    case kHelp:
    case kAbout:
      if (n != 0) return DISP_E_BADPARAMCOUNT;
      outcome = Run(id == kHelp ? HelpCall : AboutCall);
      break;
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
  if (outcome.error != 0) return FillExcepInfo(outcome.error, exception);
  if (result != nullptr) {
    VariantInit(result);
    result->vt = VT_BSTR;
    result->bstrVal = ToBstr(outcome.text);
    if (result->bstrVal == nullptr && !outcome.text.empty()) return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE RavoDUZEObject::RavoDUZE(VARIANT* var, VARIANT* DebugF, VARIANT* varFlags,
                                                   VARIANT* vatFlags, VARIANT* sep, BSTR* result) {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  return Deliver(Run([&] {
                   return MainCall(AddressOf(var), AddressOf(DebugF), AddressOf(varFlags),
                                   AddressOf(vatFlags), AddressOf(sep));
                 }),
                 result);
}

HRESULT STDMETHODCALLTYPE RavoDUZEObject::HELP(BSTR* result) {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  return Deliver(Run(HelpCall), result);
}

HRESULT STDMETHODCALLTYPE RavoDUZEObject::About(BSTR* result) {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  return Deliver(Run(AboutCall), result);
}

HRESULT STDMETHODCALLTYPE RavoDUZEObject::InterfaceSupportsErrorInfo(REFIID iid) {
  return IsEqualIID(iid, IID__RavoDUZE) ? S_OK : S_FALSE;
}

}  // namespace dudUdudADOD::windows
