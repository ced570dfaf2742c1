#include "windows/registry_transaction.h"

namespace dudUdudADOD::windows {

namespace {

// Closes a key handle at the end of a scope.
class KeyHandle {
 public:
  KeyHandle() = default;
  ~KeyHandle() {
    if (handle_ != nullptr) RegCloseKey(handle_);
  }
  KeyHandle(const KeyHandle&) = delete;
  KeyHandle& operator=(const KeyHandle&) = delete;
  HKEY* out() { return &handle_; }
  HKEY get() const { return handle_; }
  HKEY release() {
    HKEY handle = handle_;
    handle_ = nullptr;
    return handle;
  }

 private:
  HKEY handle_ = nullptr;
};

LSTATUS Open(HKEY root, const std::wstring& key, REGSAM access, KeyHandle* handle) {
  return RegOpenKeyExW(root, key.c_str(), 0, access, handle->out());
}

const wchar_t* ValueName(const std::wstring& name) { return name.empty() ? nullptr : name.c_str(); }

}  // namespace

HKEY RegistryTransaction::MakeKey(const std::wstring& key, bool* made) {
  *made = false;
  // The first missing key on the way down is the one to delete on undo;
  // everything below it is made with it.
  for (size_t end = 0; end != std::wstring::npos;) {
    end = key.find(L'\\', end + 1);
    const std::wstring prefix = key.substr(0, end);
    KeyHandle probe;
    if (Open(root_, prefix, KEY_QUERY_VALUE | view_, &probe) == ERROR_SUCCESS) continue;
    undo_.push_back({prefix, true, {}, false, 0, {}});
    *made = true;
    break;
  }
  KeyHandle handle;
  if (RegCreateKeyExW(root_, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE | KEY_QUERY_VALUE | view_,
                      nullptr, handle.out(), nullptr) != ERROR_SUCCESS) {
    return nullptr;
  }
  return handle.release();
}

void RegistryTransaction::RememberValue(HKEY handle, const std::wstring& key,
                                        const std::wstring& name) {
  Undo undo{key, false, name, false, 0, {}};
  DWORD size = 0;
  if (RegQueryValueExW(handle, ValueName(name), nullptr, &undo.type, nullptr, &size) ==
      ERROR_SUCCESS) {
    undo.data.resize(size);
    undo.had_value = RegQueryValueExW(handle, ValueName(name), nullptr, &undo.type,
                                      undo.data.data(), &size) == ERROR_SUCCESS;
    undo.data.resize(size);
  }
  undo_.push_back(std::move(undo));
}

bool RegistryTransaction::Set(const std::wstring& key, const std::wstring& name,
                              const std::wstring& value) {
  bool made = false;
  KeyHandle handle;
  *handle.out() = MakeKey(key, &made);
  if (handle.get() == nullptr) return false;
  if (!made) RememberValue(handle.get(), key, name);
  const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
  return RegSetValueExW(handle.get(), ValueName(name), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(value.c_str()), bytes) == ERROR_SUCCESS;
}

bool RegistryTransaction::Make(const std::wstring& key) {
  bool made = false;
  KeyHandle handle;
  *handle.out() = MakeKey(key, &made);
  return handle.get() != nullptr;
}

void RegistryTransaction::Rollback() noexcept {
  for (auto undo = undo_.rbegin(); undo != undo_.rend(); ++undo) {
    if (undo->made_key) {
      DeleteRegistryTree(root_, view_, undo->key);
      continue;
    }
    KeyHandle handle;
    if (Open(root_, undo->key, KEY_SET_VALUE | view_, &handle) != ERROR_SUCCESS) continue;
    if (undo->had_value) {
      RegSetValueExW(handle.get(), ValueName(undo->name), 0, undo->type, undo->data.data(),
                     static_cast<DWORD>(undo->data.size()));
    } else {
      RegDeleteValueW(handle.get(), ValueName(undo->name));
    }
  }
  undo_.clear();
}

bool DeleteRegistryTree(HKEY root, REGSAM view, const std::wstring& key) noexcept {
  {
    KeyHandle handle;
    const LSTATUS status =
        Open(root, key, DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | KEY_SET_VALUE | view,
             &handle);
    if (status == ERROR_FILE_NOT_FOUND) return true;
    if (status != ERROR_SUCCESS) return false;
    RegDeleteTreeW(handle.get(), nullptr);
  }
  return RegDeleteKeyExW(root, key.c_str(), view, 0) == ERROR_SUCCESS;
}

bool RegistryKeyExists(HKEY root, REGSAM view, const std::wstring& key) noexcept {
  KeyHandle handle;
  return Open(root, key, KEY_QUERY_VALUE | view, &handle) == ERROR_SUCCESS;
}

std::wstring RegistryDefaultValue(HKEY root, REGSAM view, const std::wstring& key) {
  KeyHandle handle;
  if (Open(root, key, KEY_QUERY_VALUE | view, &handle) != ERROR_SUCCESS) return {};
  wchar_t text[256];
  DWORD size = sizeof(text) - sizeof(wchar_t);
  DWORD type = 0;
  if (RegQueryValueExW(handle.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(text),
                       &size) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return {};
  }
  text[size / sizeof(wchar_t)] = L'\0';
  return text;
}

bool RegistryKeyIsEmpty(HKEY root, REGSAM view, const std::wstring& key) noexcept {
  KeyHandle handle;
  if (Open(root, key, KEY_QUERY_VALUE | view, &handle) != ERROR_SUCCESS) return false;
  DWORD subkeys = 0;
  DWORD values = 0;
  return RegQueryInfoKeyW(handle.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                          &values, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
         subkeys == 0 && values == 0;
}

}  // namespace dudUdudADOD::windows
