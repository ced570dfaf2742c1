#include "windows/ravoduze_object.h"

#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "automation/runtime_error.h"
#include "automation/variant.h"
#include "inspector/ravoduze.h"
#include "windows/boundary.h"
#include "windows/bstr_output.h"
#include "windows/com_error.h"
#include "windows/guarded_memory.h"
#include "windows/own_process.h"
#include "windows/server_module.h"
#include "windows/variant_holder.h"

namespace dudUdudADOD::windows {

namespace {

using automation::VariantImage;

constexpr DISPID kMainCall = 1;
constexpr DISPID kHelp = 2;
constexpr DISPID kAbout = 3;
// var, DebugF, varFlags, vatFlags, sep: their DISPIDs are their positions.
constexpr UINT kParameters = 5;
// Calls of the component nested on one thread (an object's default member
// that calls the component again, and so on): past this many the innermost
// raises "Out of stack space" rather than let the thread's stack run out.
constexpr int kDeepestCall = 8;

thread_local int t_calls_running = 0;

Address AddressOf(const void* p) { return static_cast<Address>(reinterpret_cast<uintptr_t>(p)); }

// A call's text, or the run-time error that ended it. Owns the text until
// it is taken.
struct Outcome {
  Outcome() = default;
  Outcome(BSTR t, int e) : text(t), error(e) {}
  Outcome(Outcome&& other) noexcept
      : text(std::exchange(other.text, nullptr)), error(other.error) {}
  Outcome& operator=(Outcome&& other) noexcept {
    std::swap(text, other.text);
    error = other.error;
    return *this;
  }
  ~Outcome() { SysFreeString(text); }
  BSTR Take() { return std::exchange(text, nullptr); }

  BSTR text = nullptr;
  int error = 0;
};

// Counts the component's calls running on this thread.
class NestedCall {
 public:
  NestedCall() { ++t_calls_running; }
  ~NestedCall() { --t_calls_running; }
  NestedCall(const NestedCall&) = delete;
  NestedCall& operator=(const NestedCall&) = delete;
  bool too_deep() const { return t_calls_running > kDeepestCall; }
};

// Runs one public call: the one place on Windows where a RuntimeError is
// caught. No exception crosses into the caller.
template <typename Body>
Outcome Run(Body body) noexcept {
  const NestedCall nested;
  try {
    if (nested.too_deep()) automation::Raise(automation::kOutOfStackSpace);
    return {body(), 0};
  } catch (const RuntimeError& e) {
    return {nullptr, e.number()};
  } catch (const std::bad_alloc&) {
    return {nullptr, automation::kOutOfMemory};
  } catch (...) {
    return {nullptr, automation::kInvalidArgument};
  }
}

// A fixed text as a BSTR; raises 7 when there is no room for it.
BSTR ToBstr(const std::u16string& text) {
  BSTR b = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                             static_cast<UINT>(text.size()));
  if (b == nullptr) automation::Raise(automation::kOutOfMemory);
  return b;
}

// Writes `size` bytes into memory the caller handed over, when it is there
// to be written; false otherwise, and then nothing of it was relied on.
bool WriteToCaller(const GuardedMemory& host, void* to, const void* from, size_t size) {
  return to != nullptr && host.IsWritable(AddressOf(to), size) && GuardedCopy(to, from, size);
}

// The optional argument whose VARIANT stands at `at` (0: not passed),
// converted once to `type` through the runtime into `to`; false when left
// out, which a client shows by passing nothing or VT_ERROR with
// DISP_E_PARAMNOTFOUND. Raises what the conversion raises (13 for a value of
// the wrong kind, what an object's default member raised).
bool Optional(const OwnProcess& process, Address at, VARTYPE type, VARIANT& to) {
  if (at == 0) return false;
  const VariantImage value =
      automation::Dereference(process.memory(), automation::LoadVariant(process.memory(), at));
  if (value.vt() == VT_ERROR && value.long_value() == DISP_E_PARAMNOTFOUND) return false;
  VariantHolder from;
  from.v = process.RuntimeValue(value);
  const HRESULT hr = VariantChangeTypeEx(&to, &from.v, process.locale(), VARIANT_ALPHABOOL, type);
  if (FAILED(hr)) RaiseFor(hr);
  return true;
}

// The main call over the component's own process. `at` holds the addresses
// of the client's VARIANTs, 0 for a parameter left out. The report is
// written straight into the string handed back.
BSTR MainCall(const Address (&at)[kParameters], LCID locale) {
  OwnProcess process(ServerModule(), locale);
  std::optional<bool> debug_flag;
  std::optional<int32_t> var_info;
  std::optional<int32_t> vat_info;
  std::optional<std::u16string> separator;
  VariantHolder v;
  if (Optional(process, at[1], VT_BOOL, v.v)) debug_flag = v.v.boolVal != 0;
  VariantClear(&v.v);
  if (Optional(process, at[2], VT_I4, v.v)) var_info = v.v.lVal;
  VariantClear(&v.v);
  if (Optional(process, at[3], VT_I4, v.v)) vat_info = v.v.lVal;
  VariantClear(&v.v);
  if (Optional(process, at[4], VT_BSTR, v.v)) {
    separator.emplace(reinterpret_cast<const char16_t*>(v.v.bstrVal), SysStringLen(v.v.bstrVal));
  }
  dudUdudADOD::RavoDUZE inspector(process);
  BstrOutput output;
  inspector.Report(output, at[0], debug_flag, var_info, vat_info, std::move(separator));
  return output.Release();
}

BSTR HelpCall() {
  OwnProcess process(ServerModule());
  return ToBstr(dudUdudADOD::RavoDUZE(process).HELP());
}

BSTR AboutCall() {
  OwnProcess process(ServerModule());
  return ToBstr(dudUdudADOD::RavoDUZE(process).About());
}

// The locale a caller of Invoke names; the user's for none (0) or one the
// system does not know.
LCID CallLocale(LCID lcid) {
  if (lcid == 0 || IsValidLocale(lcid, LCID_SUPPORTED) == FALSE) return LOCALE_USER_DEFAULT;
  return lcid;
}

// Where each parameter's VARIANTARG stands in the caller's DISPPARAMS
// (screened: `args` is a copy of them), named ones by their DISPIDs, in any
// order after the positional ones. `bad` gets the index of a named argument
// that names no parameter (DISP_E_PARAMNOTFOUND) or one already given
// (DISP_E_BADPARAMCOUNT).
HRESULT FindArguments(const GuardedMemory& host, const DISPPARAMS& args, Address (&at)[kParameters],
                      UINT& bad) {
  const UINT count = args.cArgs;
  const UINT named = args.cNamedArgs;
  if (named > count) return E_INVALIDARG;
  if (count > kParameters) return DISP_E_BADPARAMCOUNT;
  const Address first = AddressOf(args.rgvarg);
  if (count > 0 && !host.IsMapped(first, uint64_t{count} * sizeof(VARIANTARG))) return E_INVALIDARG;
  DISPID ids[kParameters] = {};
  if (!host.TryRead(AddressOf(args.rgdispidNamedArgs), ids,
                    static_cast<uint32_t>(named * sizeof(DISPID)))) {
    return E_INVALIDARG;
  }
  // Positional arguments stand last first, after the named ones.
  for (UINT i = 0; i < count - named; ++i) {
    at[i] = first + (count - 1 - i) * Address{sizeof(VARIANTARG)};
  }
  for (UINT k = 0; k < named; ++k) {
    bad = k;
    if (ids[k] < 0 || ids[k] >= static_cast<DISPID>(kParameters)) return DISP_E_PARAMNOTFOUND;
    if (at[ids[k]] != 0) return DISP_E_BADPARAMCOUNT;
    at[ids[k]] = first + k * Address{sizeof(VARIANTARG)};
  }
  if (at[0] == 0) return count == 0 ? DISP_E_BADPARAMCOUNT : DISP_E_PARAMNOTOPTIONAL;
  // A VT_BYREF|VT_VARIANT argument (how a script passes a variable) stands
  // for the variant it points at.
  VARIANTARG var;
  if (!host.TryRead(at[0], &var, sizeof var)) return E_INVALIDARG;
  if (var.vt == (VT_BYREF | VT_VARIANT)) at[0] = AddressOf(var.pvarVal);
  return S_OK;
}

// Runs member `id` of Invoke with the caller's screened DISPPARAMS into
// `outcome`; an HRESULT for a call that cannot start.
HRESULT InvokeMember(const GuardedMemory& host, DISPID id, const DISPPARAMS& args, LCID lcid,
                     UINT* bad_argument, Outcome& outcome) {
  switch (id) {
    case kMainCall: {
      Address at[kParameters] = {};
      UINT bad = 0;
      const HRESULT found = FindArguments(host, args, at, bad);
      if (FAILED(found)) {
        WriteToCaller(host, bad_argument, &bad, sizeof bad);
        return found;
      }
      outcome = Run([&] { return MainCall(at, CallLocale(lcid)); });
      return S_OK;
    }
    case kHelp:
    case kAbout:
      if (args.cArgs != 0) return DISP_E_BADPARAMCOUNT;
      outcome = Run(id == kHelp ? HelpCall : AboutCall);
      return S_OK;
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

// Hands Invoke's outcome to its caller: the text as a VARIANT, or the error
// as EXCEPINFO.
HRESULT DeliverInvoke(const GuardedMemory& host, Outcome& outcome, VARIANT* result,
                      EXCEPINFO* exception) {
  if (outcome.error != 0) {
    EXCEPINFO info{};
    const HRESULT hr = FillExcepInfo(outcome.error, exception != nullptr ? &info : nullptr);
    if (exception != nullptr && !WriteToCaller(host, exception, &info, sizeof info)) {
      SysFreeString(info.bstrSource);
      SysFreeString(info.bstrDescription);
    }
    return hr;
  }
  if (result == nullptr) return S_OK;
  VARIANT text;
  VariantInit(&text);
  text.vt = VT_BSTR;
  text.bstrVal = outcome.Take();
  if (!WriteToCaller(host, result, &text, sizeof text)) {
    VariantClear(&text);
    return E_POINTER;
  }
  return S_OK;
}

// Hands a method's outcome to its caller: the text, or the error as HRESULT
// with the error information set.
HRESULT DeliverMethod(const GuardedMemory& host, Outcome outcome, BSTR* result) {
  if (outcome.error != 0) return SetErrorInformation(outcome.error, IID__RavoDUZE);
  BSTR text = outcome.Take();
  if (!WriteToCaller(host, result, &text, sizeof text)) {
    SysFreeString(text);
    return E_POINTER;
  }
  return S_OK;
}

// Copies a caller's zero-terminated name, screened, up to kLimit units.
std::optional<std::wstring> ScreenedName(const GuardedMemory& host, const OLECHAR* name) {
  constexpr size_t kLimit = 1024;
  std::wstring copy;
  for (Address at = AddressOf(name); copy.size() < kLimit; at += sizeof(OLECHAR)) {
    OLECHAR unit = 0;
    if (name == nullptr || !host.TryRead(at, &unit, sizeof unit)) return std::nullopt;
    if (unit == 0) return copy;
    copy.push_back(unit);
  }
  return std::nullopt;
}

// The caller's `count` names, copied once the array of them is known to be
// there; nullopt when any of it cannot be read.
std::optional<std::vector<std::wstring>> ScreenedNames(const GuardedMemory& host, LPOLESTR* names,
                                                       UINT count) {
  const uint64_t bytes = uint64_t{count} * sizeof(LPOLESTR);
  if (bytes > UINT32_MAX || !host.IsMapped(AddressOf(names), bytes)) return std::nullopt;
  std::vector<LPOLESTR> pointers(count);
  if (!host.TryRead(AddressOf(names), pointers.data(), static_cast<uint32_t>(bytes))) {
    return std::nullopt;
  }
  std::vector<std::wstring> copies;
  for (LPOLESTR name : pointers) {
    std::optional<std::wstring> copy = ScreenedName(host, name);
    if (!copy) return std::nullopt;
    copies.push_back(std::move(*copy));
  }
  return copies;
}

// One of the interface's methods: its [out] string cleared, the call run,
// its outcome handed over; nothing thrown into the caller.
template <typename Body>
HRESULT Method(BSTR* result, Body body) noexcept {
  return CatchAll([&]() -> HRESULT {
    const GuardedMemory host;
    BSTR none = nullptr;
    if (!WriteToCaller(host, result, &none, sizeof none)) return E_POINTER;
    return DeliverMethod(host, Run(body), result);
  });
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
  return CatchAll([&]() -> HRESULT {
    const GuardedMemory host;
    const UINT one = 1;
    return WriteToCaller(host, count, &one, sizeof one) ? S_OK : E_POINTER;
  });
}

HRESULT STDMETHODCALLTYPE RavoDUZEObject::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  return CatchAll([&]() -> HRESULT {
    const GuardedMemory host;
    ITypeInfo* found = nullptr;
    if (!WriteToCaller(host, info, &found, sizeof found)) return E_POINTER;
    if (index != 0) return DISP_E_BADINDEX;
    const HRESULT hr = TypeInfo(&found);
    if (FAILED(hr)) return hr;
    if (!WriteToCaller(host, info, &found, sizeof found)) {
      found->Release();
      return E_POINTER;
    }
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE RavoDUZEObject::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count,
                                                        LCID, DISPID* ids) {
  return CatchAll([&]() -> HRESULT {
    if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    const GuardedMemory host;
    // The names and the answers pass through copies of the component's own.
    std::optional<std::vector<std::wstring>> copies = ScreenedNames(host, names, count);
    if (!copies) return E_INVALIDARG;
    std::vector<LPOLESTR> own(count);
    for (UINT i = 0; i < count; ++i) own[i] = (*copies)[i].data();
    std::vector<DISPID> found(count, DISPID_UNKNOWN);
    ITypeInfo* info = nullptr;
    HRESULT hr = TypeInfo(&info);
    if (FAILED(hr)) return hr;
    hr = DispGetIDsOfNames(info, own.data(), count, found.data());
    info->Release();
    if (count > 0 && !WriteToCaller(host, ids, found.data(), count * sizeof(DISPID))) {
      return E_POINTER;
    }
    return hr;
  });
}

HRESULT STDMETHODCALLTYPE RavoDUZEObject::Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags,
                                                 DISPPARAMS* params, VARIANT* result,
                                                 EXCEPINFO* exception, UINT* bad_argument) {
  return CatchAll([&]() -> HRESULT {
    if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if ((flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) == 0) return DISP_E_MEMBERNOTFOUND;
    const GuardedMemory host;
    DISPPARAMS args;
    if (params == nullptr || !host.TryRead(AddressOf(params), &args, sizeof args)) {
      return E_INVALIDARG;
    }
    Outcome outcome;
    const HRESULT started = InvokeMember(host, id, args, lcid, bad_argument, outcome);
    if (FAILED(started)) return started;
    return DeliverInvoke(host, outcome, result, exception);
  });
}

HRESULT STDMETHODCALLTYPE RavoDUZEObject::RavoDUZE(VARIANT* var, VARIANT* DebugF, VARIANT* varFlags,
                                                   VARIANT* vatFlags, VARIANT* sep, BSTR* result) {
  const Address at[kParameters] = {AddressOf(var), AddressOf(DebugF), AddressOf(varFlags),
                                   AddressOf(vatFlags), AddressOf(sep)};
  return Method(result, [&] { return MainCall(at, LOCALE_USER_DEFAULT); });
}

HRESULT STDMETHODCALLTYPE RavoDUZEObject::HELP(BSTR* result) { return Method(result, HelpCall); }

HRESULT STDMETHODCALLTYPE RavoDUZEObject::About(BSTR* result) { return Method(result, AboutCall); }

HRESULT STDMETHODCALLTYPE RavoDUZEObject::InterfaceSupportsErrorInfo(REFIID iid) {
  return IsEqualIID(iid, IID__RavoDUZE) ? S_OK : S_FALSE;
}

}  // namespace dudUdudADOD::windows
