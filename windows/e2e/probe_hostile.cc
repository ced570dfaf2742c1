// A hostile host: calls the component the ways a careless or malicious
// program can, and objects that misbehave inside a call. Each case prints
// what the host got back; none may take the host down. run_e2e.sh compares
// the output with probe_hostile.golden (win64/ for the 64-bit DLL).
//
// Usage: probe_hostile.exe DLL [CASE]. The DLL is loaded by path and its
// class object asked for directly, so the cases run without registration.
// With a CASE (see kCases) only that one runs; "user-locale" is run alone
// by run_e2e.sh, under German settings.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <string>

// clang-format off
#include "windows/win32.h"
#include <initguid.h>
#include "windows/type_library.h"
// clang-format on
#include "windows/e2e/load_component.h"

namespace {

// An object whose default member (DISPID_VALUE) and type information do
// what a case wants; it counts the calls of its default member.
class Probe final : public IDispatch {
 public:
  using Member = std::function<HRESULT(VARIANT* result, EXCEPINFO* exception)>;
  explicit Probe(Member member) : member_(std::move(member)) {}
  virtual ~Probe() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
      *out = static_cast<IDispatch*>(this);
    } else if (IsEqualIID(iid, IID_IProvideClassInfo) && class_info_.info != nullptr) {
      *out = &class_info_;
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references_); }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--references_); }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = type_info_ ? 1 : 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (!type_info_) return E_NOTIMPL;
    *info = type_info_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result,
                                   EXCEPINFO* exception, UINT*) override {
    if (id != DISPID_VALUE) return DISP_E_MEMBERNOTFOUND;
    ++calls_;
    return member_(result, exception);
  }

  // The references others hold beside the case's own.
  long borrowed() const { return references_ - 1; }
  int calls() const { return calls_; }
  void set_type_info(ITypeInfo* info) { type_info_ = info; }
  void set_class_info(ITypeInfo* info) {
    class_info_.owner = this;
    class_info_.info = info;
  }

 private:
  // What the object answers for IProvideClassInfo: its class's description.
  struct ClassInfo final : public IProvideClassInfo {
    Probe* owner = nullptr;
    ITypeInfo* info = nullptr;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
      return owner->QueryInterface(iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return owner->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return owner->Release(); }
    HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** out) override {
      info->AddRef();
      *out = info;
      return S_OK;
    }
  };
  Member member_;
  ClassInfo class_info_;
  long references_ = 1;
  int calls_ = 0;
  ITypeInfo* type_info_ = nullptr;
};

IDispatch* g_component = nullptr;

std::string Narrow(BSTR text) {
  std::string out;
  for (UINT i = 0; text != nullptr && i < SysStringLen(text); ++i) {
    out += text[i] < 128 ? static_cast<char>(text[i]) : '?';
  }
  return out;
}

// Invokes the main call; prints the report's lines from `from` on (so that
// the addresses of the sections before stay out), or for "Type" the type
// name in the variable section, or the failure.
HRESULT Call(const char* title, DISPPARAMS* params, LCID lcid = LOCALE_USER_DEFAULT,
             const char* from = "/// VALUE") {
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO info = {};
  UINT bad = 99;
  const HRESULT hr =
      g_component->Invoke(1, IID_NULL, lcid, DISPATCH_METHOD, params, &result, &info, &bad);
  std::printf("=== %s\n", title);
  if (hr == S_OK) {
    const std::string text = Narrow(result.bstrVal);
    const size_t at = text.find(from);
    std::string shown = at == std::string::npos ? "(no values)" : text.substr(at);
    if (std::string(from) == "Type" && at != std::string::npos) {
      // The variable row's type name, the first word of the row under the heads.
      const size_t row = shown.find('\n') + 1;
      shown = "TypeName " + shown.substr(row, shown.find(' ', row) - row);
    }
    std::printf("%s%s", shown.c_str(), shown.back() == '\n' ? "" : "\n");
  } else if (hr == DISP_E_EXCEPTION) {
    std::printf("error 0x%08lX %s\n", static_cast<unsigned long>(info.scode),
                Narrow(info.bstrDescription).c_str());
  } else {
    std::printf("HRESULT 0x%08lX, argument %u\n", static_cast<unsigned long>(hr), bad);
  }
  VariantClear(&result);
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrDescription);
  return hr;
}

VARIANT Long(LONG v) {
  VARIANT x;
  VariantInit(&x);
  x.vt = VT_I4;
  x.lVal = v;
  return x;
}

VARIANT Object(IDispatch* object) {
  VARIANT x;
  VariantInit(&x);
  x.vt = VT_DISPATCH;
  x.pdispVal = object;  // borrowed, as a caller's argument is
  return x;
}

VARIANT Missing() {
  VARIANT x;
  VariantInit(&x);
  x.vt = VT_ERROR;
  x.scode = DISP_E_PARAMNOTFOUND;
  return x;
}

// Positional arguments of the main call in the order of its parameters
// (var, DebugF, varFlags, vatFlags, sep), stored last first as DISPPARAMS
// wants them.
class Positional {
 public:
  Positional(std::initializer_list<VARIANT> in_order) {
    count_ = static_cast<UINT>(in_order.size());
    UINT i = count_;
    for (const VARIANT& v : in_order) args_[--i] = v;
  }
  DISPPARAMS* params() {
    params_ = {args_, nullptr, count_, 0};
    return &params_;
  }

 private:
  VARIANT args_[5];
  UINT count_;
  DISPPARAMS params_;
};

HRESULT Text(VARIANT* result, const wchar_t* text) {
  result->vt = VT_BSTR;
  result->bstrVal = SysAllocString(text);
  return S_OK;
}

void NamedArguments() {
  OLECHAR n0[] = L"RavoDUZE", n1[] = L"vatFlags", n2[] = L"varFlags", n3[] = L"sep";
  LPOLESTR names[] = {n0, n1, n2, n3};
  DISPID ids[4] = {};
  const HRESULT hr = g_component->GetIDsOfNames(IID_NULL, names, 4, LOCALE_USER_DEFAULT, ids);
  std::printf("=== names\nHRESULT 0x%08lX: %ld %ld %ld %ld\n", static_cast<unsigned long>(hr),
              static_cast<long>(ids[0]), static_cast<long>(ids[1]), static_cast<long>(ids[2]),
              static_cast<long>(ids[3]));
  const HRESULT stray_names =
      g_component->GetIDsOfNames(IID_NULL, reinterpret_cast<LPOLESTR*>(16), 1, 0, ids);
  const HRESULT stray_ids =
      g_component->GetIDsOfNames(IID_NULL, names, 1, 0, reinterpret_cast<DISPID*>(16));
  std::printf("names at 16: 0x%08lX, DISPIDs at 16: 0x%08lX\n",
              static_cast<unsigned long>(stray_names), static_cast<unsigned long>(stray_ids));
  // x, then vatFlags:=0 and varFlags:=16 in the other order: named ones
  // stand first in rgvarg, positional ones last first after them.
  VARIANT args[3] = {Long(0), Long(16), Long(5)};
  DISPID named[2] = {3, 2};
  DISPPARAMS params = {args, named, 3, 2};
  Call("named: vatFlags:=0, varFlags:=16", &params);
  // var itself named.
  VARIANT only[2] = {Long(7), Long(16)};
  DISPID var_named[2] = {0, 2};
  DISPPARAMS by_name = {only, var_named, 2, 2};
  Call("named: var:=7, varFlags:=16", &by_name);
  DISPID unknown[2] = {3, 9};
  params.rgdispidNamedArgs = unknown;
  Call("named: a name no parameter has", &params);
  DISPID twice[2] = {2, 2};
  params.rgdispidNamedArgs = twice;
  Call("named: one name twice", &params);
  DISPID positional_too[2] = {3, 0};
  params.rgdispidNamedArgs = positional_too;
  Call("named: var by position and by name", &params);
  DISPID flags_only[1] = {2};
  DISPPARAMS no_var = {args, flags_only, 1, 1};
  Call("named: no var", &no_var);
}

void StrayArguments() {
  DISPPARAMS none = {nullptr, nullptr, 1, 0};
  Call("rgvarg NULL", &none);
  auto* page =
      static_cast<VARIANT*>(VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  page[0] = Long(5);
  VirtualFree(page, 0, MEM_RELEASE);
  DISPPARAMS released = {page, nullptr, 1, 0};
  Call("rgvarg released", &released);
  Call("DISPPARAMS at 16", reinterpret_cast<DISPPARAMS*>(16));
  VARIANT x = Long(5);
  DISPID* stray_ids = reinterpret_cast<DISPID*>(16);
  DISPPARAMS stray_named = {&x, stray_ids, 1, 1};
  Call("named DISPIDs at 16", &stray_named);
  VARIANT result;
  DISPPARAMS params = {&x, nullptr, 1, 0};
  const HRESULT hr = g_component->Invoke(1, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                         reinterpret_cast<VARIANT*>(16), nullptr, nullptr);
  std::printf("=== result at 16\nHRESULT 0x%08lX\n", static_cast<unsigned long>(hr));
  (void)result;
}

// A Variant array whose first element's default member frees the pages of
// the array's own data: the report is made from what was read before.
void FreedPages() {
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, 4);
  void* own_data = array->pvData;
  auto* data =
      static_cast<VARIANT*>(VirtualAlloc(nullptr, 65536, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  Probe freeing([&](VARIANT* result, EXCEPINFO*) {
    VirtualFree(data, 0, MEM_RELEASE);
    return Text(result, L"freed");
  });
  data[0] = Object(&freeing);
  for (LONG i = 1; i < 4; ++i) data[i] = Long(i + 1);
  array->pvData = data;
  VARIANT var;
  VariantInit(&var);
  var.vt = VT_ARRAY | VT_VARIANT;
  var.parray = array;
  Positional args = {var, Missing(), Long(16), Long(0)};
  Call("an element frees the array's data", args.params(), LOCALE_USER_DEFAULT, "/// VALUES");
  std::printf("default member called %d time(s)\n", freeing.calls());
  array->pvData = own_data;
  SafeArrayDestroy(array);
}

// The object calls the component again with itself, from its default
// member, and hands on whatever error it gets.
void Reentry() {
  int deepest = 0;
  Probe* self = nullptr;
  Probe again([&](VARIANT* result, EXCEPINFO* exception) {
    deepest = self->calls();
    VARIANT arg = Object(self);
    DISPPARAMS params = {&arg, nullptr, 1, 0};
    EXCEPINFO inner = {};
    const HRESULT hr = g_component->Invoke(1, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                           &params, result, &inner, nullptr);
    if (hr == DISP_E_EXCEPTION && exception != nullptr) *exception = inner;
    return hr;
  });
  self = &again;
  VARIANT arg = Object(&again);
  DISPPARAMS params = {&arg, nullptr, 1, 0};
  Call("an object that calls the component with itself", &params);
  std::printf("deepest nesting %d, references left %ld\n", deepest, again.borrowed());
}

void WildAnswers() {
  Probe wild_string([](VARIANT* result, EXCEPINFO*) {
    result->vt = VT_BSTR;
    result->bstrVal = reinterpret_cast<BSTR>(16);
    return S_OK;
  });
  VARIANT arg = Object(&wild_string);
  DISPPARAMS params = {&arg, nullptr, 1, 0};
  Call("a default member that returns a string at 16", &params);
  Probe wild_object([](VARIANT* result, EXCEPINFO*) {
    result->vt = VT_DISPATCH;
    result->pdispVal = reinterpret_cast<IDispatch*>(64);
    return S_OK;
  });
  arg = Object(&wild_object);
  Call("a default member that returns an object at 64", &params);
  Probe wild_type([](VARIANT* result, EXCEPINFO*) { return Text(result, L"typed"); });
  wild_type.set_type_info(reinterpret_cast<ITypeInfo*>(16));
  arg = Object(&wild_type);
  Positional def = {arg, Missing(), Long(2)};  // varDef: the type name
  Call("type information at 16", def.params(), LOCALE_USER_DEFAULT, "Type");
}

// The default member throws a C++ exception of the host's through the
// component; every reference the component took is given back.
void Throwing() {
  Probe throwing([](VARIANT*, EXCEPINFO*) -> HRESULT { throw 42; });
  Positional args = {Object(&throwing), Missing(), Long(16), Missing(), Object(&throwing)};
  try {
    Call("a default member that throws", args.params());
  } catch (int) {
    std::printf("the exception came back through the component\n");
  }
  std::printf("references left %ld\n", throwing.borrowed());
}

void CountedCalls() {
  Probe counted([](VARIANT* result, EXCEPINFO*) { return Text(result, L"counted"); });
  // An object variable passed by reference, as a compiled client passes it.
  IDispatch* variable = &counted;
  VARIANT arg;
  VariantInit(&arg);
  arg.vt = VT_DISPATCH | VT_BYREF;
  arg.ppdispVal = &variable;
  DISPPARAMS params = {&arg, nullptr, 1, 0};
  Call("every section of an object", &params);
  std::printf("default member called %d time(s)\n", counted.calls());
  Probe separator([](VARIANT* result, EXCEPINFO*) { return Text(result, L";"); });
  SAFEARRAY* array = SafeArrayCreateVector(VT_I4, 1, 3);
  for (LONG i = 1; i <= 3; ++i) SafeArrayPutElement(array, &i, &i);
  VARIANT var;
  VariantInit(&var);
  var.vt = VT_ARRAY | VT_I4;
  var.parray = array;
  Positional args = {var, Missing(), Long(16), Long(0), Object(&separator)};
  Call("an object as the separator", args.params(), LOCALE_USER_DEFAULT, "/// VALUES");
  std::printf("default member called %d time(s)\n", separator.calls());
  SafeArrayDestroy(array);
}

// One report, one locale: a Double scalar, a typed Double array and a
// Variant array, in the locale the caller names.
void Locale(LCID lcid, const char* title) {
  VARIANT number;
  VariantInit(&number);
  number.vt = VT_R8;
  number.dblVal = 1.5;
  Positional scalar = {number, Missing(), Long(16), Long(0)};
  std::string name = std::string(title) + ": a Double";
  Call(name.c_str(), scalar.params(), lcid);
  SAFEARRAY* doubles = SafeArrayCreateVector(VT_R8, 0, 2);
  SAFEARRAY* variants = SafeArrayCreateVector(VT_VARIANT, 0, 2);
  const double values[2] = {1.5, -2.25};
  for (LONG i = 0; i < 2; ++i) {
    SafeArrayPutElement(doubles, &i, const_cast<double*>(&values[i]));
    number.dblVal = values[i];
    SafeArrayPutElement(variants, &i, &number);
  }
  for (SAFEARRAY* array : {doubles, variants}) {
    VARIANT var;
    VariantInit(&var);
    var.vt = static_cast<VARTYPE>(VT_ARRAY | (array == doubles ? VT_R8 : VT_VARIANT));
    var.parray = array;
    Positional args = {var, Missing(), Long(16), Long(0)};
    name = std::string(title) + (array == doubles ? ": Double()" : ": Variant()");
    Call(name.c_str(), args.params(), lcid, "/// VALUES");
    SafeArrayDestroy(array);
  }
}

// TypeName of an object: its class's name where it tells its class, the
// name of the interface it describes itself by otherwise.
void TypeNames(const wchar_t* path) {
  ITypeLib* library = nullptr;
  if (FAILED(LoadTypeLibEx(path, REGKIND_NONE, &library))) return;
  ITypeInfo* coclass = nullptr;
  ITypeInfo* dual = nullptr;
  library->GetTypeInfoOfGuid(CLSID_RavoDUZE, &coclass);
  library->GetTypeInfoOfGuid(IID__RavoDUZE, &dual);
  Probe both([](VARIANT* result, EXCEPINFO*) { return Text(result, L"named"); });
  both.set_type_info(dual);
  both.set_class_info(coclass);
  Probe interface_only([](VARIANT* result, EXCEPINFO*) { return Text(result, L"named"); });
  interface_only.set_type_info(dual);
  for (Probe* probe : {&both, &interface_only}) {
    Positional args = {Object(probe), Missing(), Long(2)};  // varDef
    Call(probe == &both ? "class information" : "type information only", args.params(),
         LOCALE_USER_DEFAULT, "Type");
  }
  std::printf("references left %ld %ld\n", both.borrowed(), interface_only.borrowed());
  coclass->Release();
  dual->Release();
  library->Release();
}

const wchar_t* g_dll = nullptr;

void TypeNamesOfTheDll() { TypeNames(g_dll); }
void Throwing64() {
  if (sizeof(void*) == 8) Throwing();  // exceptions cross modules only on 64-bit
}
void UsAndGermanLocales() {
  Locale(0x0409, "en-US");
  Locale(0x0407, "de-DE");
}
void UsersLocale() { Locale(LOCALE_USER_DEFAULT, "the user's locale"); }

struct Case {
  const wchar_t* name;
  void (*run)();
};
// Every case but the last runs by default; one named after the DLL runs
// alone (to see each one fail or pass by itself).
constexpr Case kCases[] = {
    {L"named", NamedArguments},       {L"stray", StrayArguments},
    {L"freed", FreedPages},           {L"reentry", Reentry},
    {L"wild", WildAnswers},           {L"throwing", Throwing64},
    {L"counted", CountedCalls},       {L"typenames", TypeNamesOfTheDll},
    {L"locales", UsAndGermanLocales}, {L"user-locale", UsersLocale},
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  if (argc < 2 || argc > 3 || FAILED(CoInitialize(nullptr))) return 2;
  g_dll = argv[1];
  g_component = dudUdudADOD::windows::LoadComponent<IDispatch>(g_dll, IID_IDispatch);
  if (g_component == nullptr) {
    std::printf("the component could not be created\n");
    return 1;
  }
  const std::wstring only = argc == 3 ? argv[2] : L"";
  for (const Case& c : kCases) {
    const bool last = &c == &kCases[std::size(kCases) - 1];
    if (only.empty() ? !last : only == c.name) c.run();
  }
  g_component->Release();
  CoUninitialize();
  std::printf("probe_hostile: the host is still here\n");
  return 0;
}
