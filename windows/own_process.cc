#include "windows/own_process.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "automation/bstr.h"
#include "automation/conversions.h"
#include "automation/runtime_error.h"
#include "automation/safe_array.h"
#include "automation/text_forms.h"
#include "automation/variant_memory.h"

namespace dudUdudADOD::windows {

using automation::Raise;
using automation::VariantImage;

namespace {

Address AddressOf(const void* p) { return static_cast<Address>(reinterpret_cast<uintptr_t>(p)); }
template <typename T>
T* PointerAt(Address address) {
  return reinterpret_cast<T*>(static_cast<uintptr_t>(address));
}

// The platform's text forms are those of the user's locale; Booleans read
// "True" and "False" as the language's runtime writes them.
constexpr LCID kLocale = LOCALE_USER_DEFAULT;
constexpr USHORT kTextFlags = VARIANT_ALPHABOOL;

// Clears a VARIANT when the scope ends.
struct VariantHolder {
  VARIANT v;
  VariantHolder() { VariantInit(&v); }
  ~VariantHolder() { VariantClear(&v); }
  VariantHolder(const VariantHolder&) = delete;
  VariantHolder& operator=(const VariantHolder&) = delete;
};

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

OwnProcess::OwnProcess(HMODULE library) : library_(library) {}

OwnProcess::~OwnProcess() {
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
  if (!IsOwn(destination, count) || !memory_.IsMapped(source, count)) {
    Raise(automation::kInvalidArgument);
  }
  std::memmove(PointerAt<void>(destination), PointerAt<const void>(source), count);
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
  locals_.push_back(std::move(block));
  own_.push_back({at, size});
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

IDispatch* OwnProcess::FindObject(Address address) const {
  // The vtable pointer, then IUnknown's and IDispatch's seven entries.
  constexpr uint32_t kEntries = 7;
  uintptr_t vtable = 0;
  uintptr_t entries[kEntries];
  if (!memory_.IsMapped(address, sizeof vtable)) return nullptr;
  memory_.Read(address, &vtable, sizeof vtable);
  if (!memory_.IsMapped(vtable, sizeof entries)) return nullptr;
  memory_.Read(vtable, entries, sizeof entries);
  for (uintptr_t entry : entries) {
    if (!IsCode(PointerAt<const void>(entry))) return nullptr;
  }
  return PointerAt<IDispatch>(address);
}

IDispatch* OwnProcess::Object(Address address) const {
  if (address == 0) Raise(automation::kObjectNotSet);
  IDispatch* object = FindObject(address);
  if (object == nullptr) Raise(automation::kInvalidArgument);
  return object;
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
    if (v.bstrVal == nullptr && !text.empty()) Raise(automation::kOutOfMemory);
    return v;
  }
  if (vt == automation::vbObject) {
    v.vt = VT_DISPATCH;
    v.pdispVal = Object(value.pointer());
    v.pdispVal->AddRef();
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
  ITypeInfo* info = nullptr;
  std::u16string name = u"Object";
  if (SUCCEEDED(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info)) && info != nullptr) {
    BSTR text = nullptr;
    if (SUCCEEDED(info->GetDocumentation(MEMBERID_NIL, &text, nullptr, nullptr, nullptr)) &&
        text != nullptr) {
      name.assign(reinterpret_cast<const char16_t*>(text), SysStringLen(text));
      SysFreeString(text);
    }
    info->Release();
  }
  return name;
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
  const HRESULT hr = VariantChangeTypeEx(&text.v, &from.v, kLocale, kTextFlags, VT_BSTR);
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
  const HRESULT hr = VariantChangeTypeEx(&number.v, &from.v, kLocale, 0, VT_I4);
  if (FAILED(hr)) RaiseFor(hr);
  return number.v.lVal;
}

bool OwnProcess::HasDefaultValue(Address object) const {
  IDispatch* found = object == 0 ? nullptr : FindObject(object);
  if (found == nullptr) return false;
  VariantHolder from;
  from.v.vt = VT_DISPATCH;
  from.v.pdispVal = found;
  found->AddRef();
  VariantHolder text;
  return SUCCEEDED(VariantChangeTypeEx(&text.v, &from.v, kLocale, kTextFlags, VT_BSTR));
}

char16_t OwnProcess::AnsiChar(int32_t code) const {
  if (code < 0 || code > 255) Raise(automation::kInvalidArgument);
  const char byte = static_cast<char>(code);
  wchar_t wide = 0;
  if (MultiByteToWideChar(CP_ACP, 0, &byte, 1, &wide, 1) != 1) Raise(automation::kInvalidArgument);
  return static_cast<char16_t>(wide);
}

int32_t OwnProcess::LBound(Address descriptor, int dimension) const {
  if (descriptor == 0) Raise(automation::kSubscriptOutOfRange);
  const uint16_t dims = automation::ReadUInt16(memory_, descriptor);
  if (!memory_.IsMapped(descriptor, automation::DescriptorBytes(memory_.layout(), dims))) {
    Raise(automation::kInvalidArgument);
  }
  LONG bound = 0;
  const HRESULT hr =
      SafeArrayGetLBound(PointerAt<SAFEARRAY>(descriptor), static_cast<UINT>(dimension), &bound);
  if (FAILED(hr)) Raise(automation::kSubscriptOutOfRange);
  return bound;
}

int32_t OwnProcess::UBound(Address descriptor, int dimension) const {
  const int32_t lower = LBound(descriptor, dimension);  // checks the descriptor
  LONG bound = 0;
  const HRESULT hr =
      SafeArrayGetUBound(PointerAt<SAFEARRAY>(descriptor), static_cast<UINT>(dimension), &bound);
  if (FAILED(hr)) Raise(automation::kSubscriptOutOfRange);
  // The runtime wraps an upper bound past a Long; the language overflows.
  const SAFEARRAY* array = PointerAt<const SAFEARRAY>(descriptor);
  const uint32_t elements = array->rgsabound[array->cDims - dimension].cElements;
  const int64_t upper = int64_t{lower} + elements - 1;
  if (upper > INT32_MAX) Raise(automation::kOverflow);
  return bound;
}

uint32_t OwnProcess::SysStringByteLen(Address bstr) const {
  if (bstr == 0) return 0;
  if (bstr < 4 || !memory_.IsMapped(bstr - 4, 4)) Raise(automation::kInvalidArgument);
  return ::SysStringByteLen(PointerAt<OLECHAR>(bstr));
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
