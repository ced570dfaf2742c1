#include "windows/registry_transaction.h"

#include <gtest/gtest.h>

#include <string>

namespace dudUdudADOD::windows {
namespace {

// Each test works below a key of its own under HKCU\Software, removed after.
class RegistryTransactionTest : public ::testing::Test {
 protected:
  const std::wstring base_ =
      L"Software\\dudUdudADOD-test-" + std::to_wstring(GetCurrentProcessId());

  void SetUp() override { ASSERT_TRUE(DeleteRegistryTree(HKEY_CURRENT_USER, 0, base_)); }
  void TearDown() override { DeleteRegistryTree(HKEY_CURRENT_USER, 0, base_); }

  // The REG_SZ value `name` of `key` below the base, or "<none>".
  std::wstring Value(const std::wstring& key, const std::wstring& name) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, (base_ + key).c_str(), 0, KEY_QUERY_VALUE, &handle) !=
        ERROR_SUCCESS) {
      return L"<no key>";
    }
    wchar_t text[64] = {};
    DWORD size = sizeof(text) - sizeof(wchar_t);
    const LSTATUS status = RegQueryValueExW(handle, name.empty() ? nullptr : name.c_str(), nullptr,
                                            nullptr, reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(handle);
    return status == ERROR_SUCCESS ? std::wstring(text) : L"<none>";
  }
  bool Exists(const std::wstring& key) {
    return RegistryKeyExists(HKEY_CURRENT_USER, 0, base_ + key);
  }
};

TEST_F(RegistryTransactionTest, RollbackRemovesTheKeysItMadeAndOnlyThose) {
  {
    RegistryTransaction before(HKEY_CURRENT_USER, 0);
    ASSERT_TRUE(before.Set(base_ + L"\\Kept", L"", L"was here"));
    before.Commit();
  }
  {
    RegistryTransaction transaction(HKEY_CURRENT_USER, 0);
    ASSERT_TRUE(transaction.Set(base_ + L"\\New\\Deep\\Deeper", L"", L"x"));
    ASSERT_TRUE(transaction.Set(base_ + L"\\New", L"v", L"y"));
    ASSERT_TRUE(transaction.Set(base_ + L"\\Kept\\Child", L"", L"z"));
    EXPECT_EQ(Value(L"\\New\\Deep\\Deeper", L""), L"x");
    // Destroyed without Commit: rolled back.
  }
  EXPECT_FALSE(Exists(L"\\New"));
  EXPECT_FALSE(Exists(L"\\Kept\\Child"));
  EXPECT_EQ(Value(L"\\Kept", L""), L"was here");
}

TEST_F(RegistryTransactionTest, RollbackRestoresReplacedValuesAndDropsNewOnes) {
  RegistryTransaction setup(HKEY_CURRENT_USER, 0);
  ASSERT_TRUE(setup.Set(base_ + L"\\Key", L"", L"old default"));
  ASSERT_TRUE(setup.Set(base_ + L"\\Key", L"Named", L"old named"));
  ASSERT_TRUE(setup.Set(base_ + L"\\Key", L"Untouched", L"same"));
  setup.Commit();

  RegistryTransaction transaction(HKEY_CURRENT_USER, 0);
  ASSERT_TRUE(transaction.Set(base_ + L"\\Key", L"", L"new default"));
  ASSERT_TRUE(transaction.Set(base_ + L"\\Key", L"Named", L"first"));
  ASSERT_TRUE(transaction.Set(base_ + L"\\Key", L"Named", L"second"));
  ASSERT_TRUE(transaction.Set(base_ + L"\\Key", L"Added", L"new"));
  EXPECT_EQ(Value(L"\\Key", L"Named"), L"second");
  transaction.Rollback();
  EXPECT_EQ(Value(L"\\Key", L""), L"old default");
  EXPECT_EQ(Value(L"\\Key", L"Named"), L"old named");
  EXPECT_EQ(Value(L"\\Key", L"Untouched"), L"same");
  EXPECT_EQ(Value(L"\\Key", L"Added"), L"<none>");
}

TEST_F(RegistryTransactionTest, CommitKeepsEveryWrite) {
  {
    RegistryTransaction transaction(HKEY_CURRENT_USER, 0);
    ASSERT_TRUE(transaction.Set(base_ + L"\\A\\B", L"n", L"v"));
    transaction.Commit();
  }
  EXPECT_EQ(Value(L"\\A\\B", L"n"), L"v");
  EXPECT_TRUE(RegistryKeyIsEmpty(HKEY_CURRENT_USER, 0, base_ + L"\\A") == false);
  EXPECT_EQ(RegistryDefaultValue(HKEY_CURRENT_USER, 0, base_ + L"\\A\\B"), L"");
}

TEST_F(RegistryTransactionTest, AFailedWriteLeavesWhatCameBeforeForRollback) {
  RegistryTransaction transaction(HKEY_CURRENT_USER, 0);
  ASSERT_TRUE(transaction.Set(base_ + L"\\Good", L"", L"x"));
  // A key name longer than the registry allows: the write is refused.
  EXPECT_FALSE(transaction.Set(base_ + L"\\" + std::wstring(300, L'k'), L"", L"y"));
  transaction.Rollback();
  EXPECT_FALSE(Exists(L"\\Good"));
  EXPECT_FALSE(Exists(L""));
}

TEST_F(RegistryTransactionTest, DeletingAMissingTreeSucceeds) {
  EXPECT_TRUE(DeleteRegistryTree(HKEY_CURRENT_USER, 0, base_ + L"\\Nothing\\Here"));
  EXPECT_FALSE(RegistryKeyIsEmpty(HKEY_CURRENT_USER, 0, base_ + L"\\Nothing"));
}

}  // namespace
}  // namespace dudUdudADOD::windows
