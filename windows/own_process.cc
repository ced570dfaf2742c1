#include "windows/own_process.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "automation/bstr.h"
#include "automation/conversions.h"
#include "automation/runtime_error.h"
#include "automation/safe_array.h"
#include "automation/text_forms.h"
#include "automation/variant.h"
#include "windows/variant_holder.h"

namespace dudUdudADOD::windows {

using automation::Raise;
using automation::VariantImage;

namespace {

Address AddressOf(const void* p) { return static_cast<Address>(reinterpret_cast<uintptr_t>(p)); }
template <typename T>
T* PointerAt(Address address) {
  return reinterpret_cast<T*>(static_cast<uintptr_t>(address));
}

// Booleans read "True" and "False" as the language's runtime writes them.
constexpr USHORT kTextFlags = VARIANT_ALPHABOOL;

// Vtable entries that must lie in loaded code before an interface is used:
// IUnknown's three, IDispatch's seven, IProvideClassInfo's four, and
// ITypeInfo's up to GetDocumentation.
constexpr uint32_t kUnknownEntries = 3;
constexpr uint32_t kDispatchEntries = 7;
constexpr uint32_t kClassInfoEntries = 4;
constexpr uint32_t kTypeInfoEntries = 13;
constexpr uint32_t kMostEntries = kTypeInfoEntries;  // the longest of them

// A default value may be an object whose default value is asked in turn,
// as CStr does; a chain longer than this is taken for a loop.
constexpr int kDefaultChain = 4;

// The runtime converts these types without following any pointer.
bool IsPlainValue(uint16_t vt) {
  switch (vt) {
    case automation::vbInteger:
    case automation::vbLong:
    case automation::vbSingle:
    case automation::vbDouble:
    case automation::vbCurrency:
    case automation::vbDate:
    case automation::vbBoolean:
    case automation::vbDecimal:
    case automation::vbByte:
    case automation::vbSByte:
    case automation::vbUShort:
    case automation::vbUInteger:
    case automation::vbLongLong:
    case automation::vbULong:
    case automation::vbInt:
    case automation::vbUInt:
      return true;
    default:
      return false;
  }
}

// A reference the component took (a screened interface), given back when
// the scope ends, an exception thrown through client code included.
template <typename T>
class HeldReference {
 public:
  explicit HeldReference(T* p) : p_(p) {}
  ~HeldReference() {
    if (p_ != nullptr) p_->Release();
  }
  HeldReference(const HeldReference&) = delete;
  HeldReference& operator=(const HeldReference&) = delete;

 private:
  T* p_;
};

// The value's bytes copied as they are: nothing in them is owned elsewhere.
VARIANT Copied(const VARIANT& v) {
  VARIANT copy;
  std::memcpy(&copy, &v, sizeof copy);
  return copy;
}

// What the runtime writes between the digits of 1.5 in `locale`; a point
// when it writes something of another shape.
char16_t SeparatorOf(LCID locale) {
  VARIANT number;
  VariantInit(&number);
  number.vt = VT_R8;
  number.dblVal = 1.5;
  VariantHolder text;
  if (FAILED(VariantChangeTypeEx(&text.v, &number, locale, 0, VT_BSTR)) ||
      SysStringLen(text.v.bstrVal) != 3 || text.v.bstrVal[0] != L'1' || text.v.bstrVal[2] != L'5') {
    return u'.';
  }
  return static_cast<char16_t>(text.v.bstrVal[1]);
}

bool IsCode(const void* p) {
  MEMORY_BASIC_INFORMATION info;
  if (VirtualQuery(p, &info, sizeof info) != sizeof info) return false;
  constexpr DWORD kExecutable =
      PAGE_EXECUTE | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
  return info.State == MEM_COMMIT && info.Type == MEM_IMAGE && (info.Protect & kExecutable) != 0 &&
         (info.Protect & (PAGE_GUARD | PAGE_NOACCESS)) == 0;
}

}  // namespace

[[noreturn]] void RaiseFor(HRESULT hr) {
  if (HRESULT_FACILITY(hr) == FACILITY_CONTROL && HRESULT_CODE(hr) != 0) Raise(HRESULT_CODE(hr));
  switch (hr) {
    case DISP_E_OVERFLOW:
      Raise(automation::kOverflow);
    case DISP_E_TYPEMISMATCH:
    case DISP_E_BADVARTYPE:
      Raise(automation::kTypeMismatch);
    case E_OUTOFMEMORY:
      Raise(automation::kOutOfMemory);
    case DISP_E_BADINDEX:
      Raise(automation::kSubscriptOutOfRange);
    default:
      Raise(automation::kInvalidArgument);
  }
}

OwnProcess::OwnProcess(HMODULE library, LCID locale)
    : library_(library), locale_(locale), decimal_separator_(SeparatorOf(locale)) {
  VariantInit(&default_.value);
}

OwnProcess::~OwnProcess() {
  VariantClear(&default_.value);
  for (SAFEARRAY* array : arrays_) SafeArrayDestroy(array);
}

bool OwnProcess::IsOwn(Address at, uint32_t size) const {
  const uint64_t end = uint64_t{at} + size;
  return std::any_of(own_.begin(), own_.end(), [&](const Range& r) {
    return at >= r.start && end <= uint64_t{r.start} + r.size;
  });
}

void OwnProcess::MoveMemory(Address destination, Address source, uint32_t count) {
  if (count == 0) return;
  if (!IsOwn(destination, count)) Raise(automation::kInvalidArgument);
  const bool overlap =
      source < uint64_t{destination} + count && destination < uint64_t{source} + count;
  if (!overlap) {
    memory_.Read(source, PointerAt<void>(destination), count);
    return;
  }
  std::vector<uint8_t> bytes(count);  // the guarded copy runs forwards only
  memory_.Read(source, bytes.data(), count);
  std::memcpy(PointerAt<void>(destination), bytes.data(), count);
}

Address OwnProcess::CallRecord(std::span<uint8_t> local) {
  std::fill(local.begin(), local.end(), uint8_t{0});
  own_.push_back({AddressOf(local.data()), static_cast<uint32_t>(local.size())});
  return AddressOf(local.data());
}

Address OwnProcess::PushLocal(uint32_t size) {
  auto block = std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[size]());
  if (!block) Raise(automation::kOutOfMemory);
  const Address at = AddressOf(block.get());
  own_.push_back({at, size});
  locals_.push_back(std::move(block));
  return at;
}

void OwnProcess::WriteLocal(Address at, const void* bytes, uint32_t size) {
  if (!IsOwn(at, size)) Raise(automation::kInvalidArgument);
  std::memcpy(PointerAt<void>(at), bytes, size);
}

void OwnProcess::PopLocals(uint64_t mark) {
  while (locals_.size() > mark) {
    const Address at = AddressOf(locals_.back().get());
    own_.erase(
        std::remove_if(own_.begin(), own_.end(), [&](const Range& r) { return r.start == at; }),
        own_.end());
    locals_.pop_back();
  }
}

Address OwnProcess::NewByteArray(uint32_t count) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, count);
  if (array == nullptr) Raise(automation::kOutOfMemory);
  arrays_.push_back(array);
  own_.push_back({AddressOf(array->pvData), count});
  return AddressOf(array);
}

void OwnProcess::DestroyByteArray(Address descriptor) {
  auto it = std::find(arrays_.begin(), arrays_.end(), PointerAt<SAFEARRAY>(descriptor));
  if (it == arrays_.end()) return;
  const Address data = AddressOf((*it)->pvData);
  own_.erase(
      std::remove_if(own_.begin(), own_.end(), [&](const Range& r) { return r.start == data; }),
      own_.end());
  SafeArrayDestroy(*it);
  arrays_.erase(it);
}

// --- Objects and what they hand back ----------------------------------------

void* OwnProcess::FindInterface(Address address, uint32_t entries) const {
  uintptr_t vtable = 0;
  uintptr_t entry[kMostEntries];
  if (address == 0 || entries > kMostEntries || !memory_.TryRead(address, &vtable, sizeof vtable) ||
      !memory_.TryRead(vtable, entry, entries * sizeof entry[0])) {
    return nullptr;
  }
  for (uint32_t i = 0; i < entries; ++i) {
    if (!IsCode(PointerAt<const void>(entry[i]))) return nullptr;
  }
  return PointerAt<void>(address);
}

IDispatch* OwnProcess::FindObject(Address address) const {
  return static_cast<IDispatch*>(FindInterface(address, kDispatchEntries));
}

IDispatch* OwnProcess::Object(Address address) const {
  if (address == 0) Raise(automation::kObjectNotSet);
  IDispatch* object = FindObject(address);
  if (object == nullptr) Raise(automation::kInvalidArgument);
  return object;
}

std::optional<std::u16string> OwnProcess::ScreenedString(BSTR text) const {
  if (text == nullptr) return std::u16string();
  const Address at = AddressOf(text);
  uint32_t bytes = 0;
  if (at < sizeof bytes || !memory_.TryRead(at - sizeof bytes, &bytes, sizeof bytes) ||
      !memory_.IsMapped(at, bytes)) {
    return std::nullopt;
  }
  std::u16string copy(bytes / 2, u'\0');
  if (!memory_.TryRead(at, copy.data(), bytes / 2 * 2)) return std::nullopt;
  return copy;
}

HRESULT OwnProcess::Screen(VARIANT& returned, VARIANT& safe, int depth) const {
  VariantInit(&safe);
  switch (returned.vt) {
    case VT_EMPTY:
      return S_OK;
    case VT_BSTR: {
      const std::optional<std::u16string> text = ScreenedString(returned.bstrVal);
      if (!text) return E_POINTER;  // not a string: left as it stands
      SysFreeString(returned.bstrVal);
      safe.vt = VT_BSTR;
      safe.bstrVal = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text->data()),
                                       static_cast<UINT>(text->size()));
      return safe.bstrVal != nullptr ? S_OK : E_OUTOFMEMORY;
    }
    case VT_DISPATCH: {
      if (returned.pdispVal == nullptr) return E_POINTER;
      IDispatch* inner = FindObject(AddressOf(returned.pdispVal));
      if (inner == nullptr) return E_POINTER;  // not an object: left as it stands
      const HeldReference<IDispatch> held(inner);
      if (depth >= kDefaultChain) return E_POINTER;
      return AskDefault(inner, safe, depth + 1);
    }
    default:
      if (!IsPlainValue(returned.vt) && returned.vt != VT_NULL && returned.vt != VT_ERROR) {
        return DISP_E_TYPEMISMATCH;  // arrays, references, interfaces: left as they stand
      }
      safe = Copied(returned);
      return S_OK;
  }
}

HRESULT OwnProcess::AskDefault(IDispatch* object, VARIANT& safe, int depth) const {
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  VARIANT returned;
  VariantInit(&returned);
  EXCEPINFO exception{};
  memory_.Forget();  // the member may change any memory
  HRESULT hr = object->Invoke(DISPID_VALUE, IID_NULL, locale_, DISPATCH_PROPERTYGET, &none,
                              &returned, &exception, nullptr);
  memory_.Forget();
  if (hr == DISP_E_EXCEPTION) {
    // The member's own error stands for the call's: a run-time error it
    // raised (0x800A0000 + N) reaches the client as N, as CStr would raise it.
    for (BSTR text : {exception.bstrSource, exception.bstrDescription, exception.bstrHelpFile}) {
      if (text != nullptr && ScreenedString(text)) SysFreeString(text);
    }
    if (FAILED(exception.scode)) hr = exception.scode;
  }
  if (FAILED(hr)) return hr;  // what it left in `returned` is not ours to free
  return Screen(returned, safe, depth);
}

const OwnProcess::DefaultValue& OwnProcess::DefaultOf(Address object) const {
  if (default_.object == object && object != 0) return default_;
  VariantClear(&default_.value);
  default_.object = object;
  default_.result = E_POINTER;
  // An object passed as IUnknown is asked for its IDispatch, as CStr does;
  // one passed as IDispatch answers with itself.
  auto* unknown = static_cast<IUnknown*>(FindInterface(object, kUnknownEntries));
  if (unknown == nullptr) return default_;
  void* dispatch = nullptr;
  memory_.Forget();
  if (FAILED(unknown->QueryInterface(IID_IDispatch, &dispatch)) || dispatch == nullptr) {
    default_.result = DISP_E_TYPEMISMATCH;
    return default_;
  }
  IDispatch* found = FindObject(AddressOf(dispatch));
  if (found == nullptr) return default_;  // a stray answer: left as it stands
  const HeldReference<IDispatch> held(found);
  default_.result = AskDefault(found, default_.value, 0);
  return default_;
}

std::optional<std::u16string> OwnProcess::TypeInfoName(ITypeInfo* info) const {
  if (FindInterface(AddressOf(info), kTypeInfoEntries) == nullptr) return std::nullopt;
  const HeldReference<ITypeInfo> held(info);
  BSTR text = nullptr;
  memory_.Forget();
  const HRESULT hr = info->GetDocumentation(MEMBERID_NIL, &text, nullptr, nullptr, nullptr);
  memory_.Forget();
  if (FAILED(hr) || text == nullptr) return std::nullopt;
  std::optional<std::u16string> name = ScreenedString(text);
  if (!name.has_value()) return std::nullopt;  // not a string: left as it stands
  SysFreeString(text);
  if (name->empty()) return std::nullopt;
  return name;
}

std::optional<std::u16string> OwnProcess::ClassName(IDispatch* object) const {
  void* provider = nullptr;
  memory_.Forget();
  if (FAILED(object->QueryInterface(IID_IProvideClassInfo, &provider)) || provider == nullptr) {
    return std::nullopt;
  }
  auto* classes =
      static_cast<IProvideClassInfo*>(FindInterface(AddressOf(provider), kClassInfoEntries));
  if (classes == nullptr) return std::nullopt;
  const HeldReference<IProvideClassInfo> held(classes);
  ITypeInfo* info = nullptr;
  memory_.Forget();
  if (FAILED(classes->GetClassInfo(&info)) || info == nullptr) return std::nullopt;
  return TypeInfoName(info);
}

VARIANT OwnProcess::RuntimeValue(const VariantImage& value) const {
  VARIANT v;
  VariantInit(&v);
  const uint16_t vt = value.vt();
  if (vt == automation::vbNull) Raise(automation::kInvalidUseOfNull);
  if (vt == automation::vbEmpty) return v;
  if (IsPlainValue(vt)) {
    static_assert(sizeof(VARIANT) == (sizeof(void*) == 8 ? 24 : 16), "the platform's VARIANT");
    std::memcpy(&v, value.bytes().data(), sizeof v);
    return v;
  }
  if (vt == automation::vbString) {
    std::u16string text;
    AppendString(text, value.pointer());
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                                  static_cast<UINT>(text.size()));
    if (v.bstrVal == nullptr) Raise(automation::kOutOfMemory);
    return v;
  }
  if (vt == automation::vbObject) {
    const DefaultValue& found = DefaultOf(AddressOf(Object(value.pointer())));
    if (FAILED(found.result)) RaiseFor(found.result);
    const HRESULT hr = VariantCopy(&v, const_cast<VARIANT*>(&found.value));
    if (FAILED(hr)) RaiseFor(hr);
    return v;
  }
  Raise(automation::kTypeMismatch);
}

std::u16string OwnProcess::TypeName(const VariantImage& v) const {
  const VariantImage value = automation::Dereference(memory_, v);
  const uint16_t vt = value.vt();
  if ((vt & automation::vbArray) != 0) {
    return std::u16string(automation::BaseTypeName(vt & automation::kBaseTypeMask)) + u"()";
  }
  if (vt != automation::vbObject) return automation::BaseTypeName(vt);
  if (value.pointer() == 0) return u"Nothing";
  IDispatch* object = Object(value.pointer());
  // The class's name where the object tells its class, as TypeName shows
  // it; otherwise the name of the interface it describes itself by.
  if (std::optional<std::u16string> name = ClassName(object)) return *name;
  ITypeInfo* info = nullptr;
  memory_.Forget();
  const HRESULT hr = object->GetTypeInfo(0, locale_, &info);
  memory_.Forget();
  if (SUCCEEDED(hr) && info != nullptr) {
    if (std::optional<std::u16string> name = TypeInfoName(info)) return *name;
  }
  return u"Object";
}

void OwnProcess::AppendText(std::u16string& out, const VariantImage& v) const {
  const VariantImage value = automation::Dereference(memory_, v);
  const uint16_t vt = value.vt();
  switch (vt) {
    case automation::vbEmpty:
      return;
    case automation::vbString:
      AppendString(out, value.pointer());
      return;
    case automation::vbError:  // the runtime has no text for an Error; the language writes this
      out += u"Error ";
      automation::AppendInteger(out, value.long_value());
      return;
    case automation::vbArray | automation::vbByte: {
      // The text the data bytes spell, two bytes a character.
      const Address descriptor = value.pointer();
      if (descriptor == 0) return;
      const uint64_t count = automation::SafeArrayElementCount(memory_, descriptor);
      const uint64_t size = automation::SafeArrayElementSize(memory_, descriptor);
      if (count > (uint64_t{1} << 32) || size > (uint64_t{1} << 32)) {
        Raise(automation::kInvalidArgument);
      }
      automation::AppendUtf16Bytes(out, memory_, automation::SafeArrayData(memory_, descriptor),
                                   count * size);
      return;
    }
    default:
      break;
  }
  VariantHolder from;
  from.v = RuntimeValue(value);
  VariantHolder text;
  const HRESULT hr = VariantChangeTypeEx(&text.v, &from.v, locale_, kTextFlags, VT_BSTR);
  if (FAILED(hr)) RaiseFor(hr);
  out.append(reinterpret_cast<const char16_t*>(text.v.bstrVal), SysStringLen(text.v.bstrVal));
}

uint32_t OwnProcess::LenB(const VariantImage& v) const {
  const VariantImage value = automation::Dereference(memory_, v);
  if (value.vt() == automation::vbString) return SysStringByteLen(value.pointer());
  return static_cast<uint32_t>(2 * Text(value).size());
}

int32_t OwnProcess::ToLong(const VariantImage& v) const {
  const VariantImage value = automation::Dereference(memory_, v);
  if (value.vt() == automation::vbEmpty) return 0;
  VariantHolder from;
  from.v = RuntimeValue(value);
  VariantHolder number;
  const HRESULT hr = VariantChangeTypeEx(&number.v, &from.v, locale_, 0, VT_I4);
  if (FAILED(hr)) RaiseFor(hr);
  return number.v.lVal;
}

bool OwnProcess::HasDefaultValue(Address object) const {
  if (object == 0) return false;
  const DefaultValue& found = DefaultOf(object);
  if (FAILED(found.result)) return false;
  // It has a default value; whether that value has a text is the runtime's.
  VariantHolder text;
  return SUCCEEDED(VariantChangeTypeEx(&text.v, const_cast<VARIANT*>(&found.value), locale_,
                                       kTextFlags, VT_BSTR));
}

char16_t OwnProcess::DecimalSeparator() const { return decimal_separator_; }

char16_t OwnProcess::AnsiChar(int32_t code) const {
  if (code < 0 || code > 255) Raise(automation::kInvalidArgument);
  const char byte = static_cast<char>(code);
  wchar_t wide = 0;
  if (MultiByteToWideChar(CP_ACP, 0, &byte, 1, &wide, 1) != 1) Raise(automation::kInvalidArgument);
  return static_cast<char16_t>(wide);
}

// Bounds and lengths are read with the guarded reads: the runtime's own
// functions would read the client's pointer as it stands.
int32_t OwnProcess::LBound(Address descriptor, int dimension) const {
  return automation::LBound(memory_, descriptor, dimension);
}

int32_t OwnProcess::UBound(Address descriptor, int dimension) const {
  return automation::UBound(memory_, descriptor, dimension);
}

uint32_t OwnProcess::SysStringByteLen(Address bstr) const {
  return automation::SysStringByteLen(memory_, bstr);
}

std::optional<automation::LibraryVersion> OwnProcess::OwnVersion() const {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(library_, path, MAX_PATH);
  if (length == 0 || length == MAX_PATH) Raise(automation::kInvalidArgument);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
  if (size == 0) Raise(automation::kInvalidArgument);
  std::vector<uint8_t> block(size);
  if (!GetFileVersionInfoW(path, 0, size, block.data())) Raise(automation::kInvalidArgument);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixed_size = 0;
  if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixed_size) ||
      fixed_size < sizeof *fixed) {
    Raise(automation::kInvalidArgument);
  }
  wchar_t* comments = nullptr;
  UINT comments_length = 0;
  if (!VerQueryValueW(block.data(), L"\\StringFileInfo\\041004B0\\Comments",
                      reinterpret_cast<void**>(&comments), &comments_length)) {
    Raise(automation::kInvalidArgument);
  }
  automation::LibraryVersion version;
  // Major, minor and the last of the four numbers, as the language's
  // application object reports them.
  version.major = static_cast<int16_t>(HIWORD(fixed->dwFileVersionMS));
  version.minor = static_cast<int16_t>(LOWORD(fixed->dwFileVersionMS));
  version.revision = static_cast<int16_t>(LOWORD(fixed->dwFileVersionLS));
  // The length counts the closing zero.
  version.comments.assign(reinterpret_cast<const char16_t*>(comments),
                          comments_length > 0 ? comments_length - 1 : 0);
  return version;
}

}  // namespace dudUdudADOD::windows
