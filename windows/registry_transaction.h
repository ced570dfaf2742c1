// RegistryTransaction: string values written under one root of the
// registry, in one of its views, that can be taken back exactly.
//
// Registration writes a few dozen values. When one write fails, what was
// written before it must go again, and only that: a key that was there
// before (a ProgID that the other bitness registered, say) keeps the values
// it had. So each Set remembers the topmost key it had to make, or the value
// it replaced; Rollback undoes the writes in reverse order. A transaction
// that is destroyed without Commit rolls back.
//
// `root` is HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE; `view` is 0 (the
// caller's own view), KEY_WOW64_32KEY or KEY_WOW64_64KEY, and is passed to
// every call, since the registry applies a view call by call. Keys are paths
// under the root ("Software\Classes\CLSID\{...}"); an empty value name is the
// key's default value. Nothing here throws but std::bad_alloc.
#ifndef DUD_WINDOWS_REGISTRY_TRANSACTION_H_
#define DUD_WINDOWS_REGISTRY_TRANSACTION_H_

#include <string>
#include <vector>

#include "windows/win32.h"

namespace dudUdudADOD::windows {

class RegistryTransaction {
 public:
  RegistryTransaction(HKEY root, REGSAM view) : root_(root), view_(view) {}
  ~RegistryTransaction() { Rollback(); }
  RegistryTransaction(const RegistryTransaction&) = delete;
  RegistryTransaction& operator=(const RegistryTransaction&) = delete;

  // Sets `name` of `key` to the REG_SZ `value`, making the key and its
  // parents as needed. False when the registry refused; what this call made
  // before failing is remembered and goes with Rollback.
  bool Set(const std::wstring& key, const std::wstring& name, const std::wstring& value);
  // Makes `key` and its parents as needed, with no value.
  bool Make(const std::wstring& key);

  // Keeps every write: Rollback then does nothing.
  void Commit() { undo_.clear(); }
  // Takes back every write since the start or the last Commit.
  void Rollback() noexcept;

 private:
  struct Undo {
    std::wstring key;   // the key made, or the key whose value was replaced
    bool made_key;      // true: delete `key` and all below it
    std::wstring name;  // the value replaced (made_key false)
    bool had_value;     // false: the value did not exist before
    DWORD type;
    std::vector<BYTE> data;
  };

  // Opens `key`, making it and its parents as needed; remembers the topmost
  // key it made. Returns nullptr when the registry refused.
  HKEY MakeKey(const std::wstring& key, bool* made);
  // Remembers `name` of the open `handle` as it stands now.
  void RememberValue(HKEY handle, const std::wstring& key, const std::wstring& name);

  HKEY root_;
  REGSAM view_;
  std::vector<Undo> undo_;
};

// Deletes `key` and everything below it in `view`; true when it is gone (or
// was never there).
bool DeleteRegistryTree(HKEY root, REGSAM view, const std::wstring& key) noexcept;

// True when `key` exists under `root` in `view`.
bool RegistryKeyExists(HKEY root, REGSAM view, const std::wstring& key) noexcept;

// The default value of `key` (REG_SZ), or an empty string.
std::wstring RegistryDefaultValue(HKEY root, REGSAM view, const std::wstring& key);

// True when `key` exists and holds neither values nor subkeys.
bool RegistryKeyIsEmpty(HKEY root, REGSAM view, const std::wstring& key) noexcept;

}  // namespace dudUdudADOD::windows

#endif  // DUD_WINDOWS_REGISTRY_TRANSACTION_H_
