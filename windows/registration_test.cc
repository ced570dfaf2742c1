// The DLL's registration exports, called as regsvr32 calls them, in the
// test prefix's registry.
#include <gtest/gtest.h>

#include <string>

#include "windows/registry_transaction.h"

namespace dudUdudADOD::windows {
namespace {

const std::wstring kClass = L"Software\\Classes\\CLSID\\{E412FB2A-5233-4564-887D-47DE2F75C090}";
const std::wstring kProgId = L"Software\\Classes\\dudUdudADOD.RavoDUZE";
const std::wstring kLibrary = L"Software\\Classes\\TypeLib\\{8D593453-F6CF-4D01-B8D7-FF919DA83F46}";
constexpr REGSAM kOtherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

class RegistrationTest : public ::testing::Test {
 protected:
  using Install = HRESULT(STDAPICALLTYPE*)(BOOL, PCWSTR);
  using Server = HRESULT(STDAPICALLTYPE*)();

  void SetUp() override {
    dll_ = LoadLibraryW(L"" DUD_DLL_PATH);
    ASSERT_NE(dll_, nullptr);
    install_ =
        reinterpret_cast<Install>(reinterpret_cast<void*>(GetProcAddress(dll_, "DllInstall")));
    register_ = reinterpret_cast<Server>(
        reinterpret_cast<void*>(GetProcAddress(dll_, "DllRegisterServer")));
    unregister_ = reinterpret_cast<Server>(
        reinterpret_cast<void*>(GetProcAddress(dll_, "DllUnregisterServer")));
    ASSERT_TRUE(install_ && register_ && unregister_);
  }
  void TearDown() override {
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
      for (REGSAM view : {REGSAM{0}, kOtherView}) DeleteRegistryTree(root, view, kClass);
    }
    install_(FALSE, L"user");
    unregister_();
    FreeLibrary(dll_);
  }
  static bool Has(HKEY root, const std::wstring& key, REGSAM view = 0) {
    return RegistryKeyExists(root, view, key);
  }

  HMODULE dll_ = nullptr;
  Install install_ = nullptr;
  Server register_ = nullptr;
  Server unregister_ = nullptr;
};

TEST_F(RegistrationTest, DllInstallRegistersForTheUserAloneAndRefusesOtherWords) {
  EXPECT_EQ(install_(TRUE, L"everyone"), E_INVALIDARG);
  EXPECT_EQ(install_(TRUE, L"users"), E_INVALIDARG);
  EXPECT_EQ(install_(TRUE, L"us er"), E_INVALIDARG);
  EXPECT_EQ(install_(TRUE, reinterpret_cast<PCWSTR>(0x10)), E_INVALIDARG);
  EXPECT_EQ(install_(TRUE, std::wstring(100, L' ').c_str()), E_INVALIDARG);
  EXPECT_FALSE(Has(HKEY_CURRENT_USER, kClass));
  EXPECT_FALSE(Has(HKEY_LOCAL_MACHINE, kClass));

  ASSERT_EQ(install_(TRUE, L" User "), S_OK);
  EXPECT_TRUE(Has(HKEY_CURRENT_USER, kClass + L"\\InprocServer32"));
  EXPECT_TRUE(Has(HKEY_CURRENT_USER, kProgId + L"\\CLSID"));
  EXPECT_FALSE(Has(HKEY_LOCAL_MACHINE, kClass));
  EXPECT_FALSE(Has(HKEY_LOCAL_MACHINE, kProgId));

  ASSERT_EQ(install_(FALSE, L"user"), S_OK);
  EXPECT_FALSE(Has(HKEY_CURRENT_USER, kClass));
  EXPECT_FALSE(Has(HKEY_CURRENT_USER, kProgId));
  EXPECT_FALSE(Has(HKEY_CURRENT_USER, kLibrary));
  // Nothing registered: unregistering again still succeeds.
  EXPECT_EQ(install_(FALSE, L"user"), S_OK);
}

TEST_F(RegistrationTest, TheSharedKeysStayWhileTheOtherBitnessRegistersTheClass) {
  if (sizeof(void*) != 8) GTEST_SKIP() << "a 32-bit prefix has one view only";
  ASSERT_EQ(register_(), S_OK);
  // What the 32-bit DLL's registration puts in its own view.
  {
    RegistryTransaction other(HKEY_LOCAL_MACHINE, kOtherView);
    ASSERT_TRUE(other.Set(kClass + L"\\InprocServer32", L"", L"C:\\x86\\dudUdudADOD.dll"));
    other.Commit();
  }
  ASSERT_EQ(unregister_(), S_OK);
  EXPECT_FALSE(Has(HKEY_LOCAL_MACHINE, kClass));
  EXPECT_TRUE(Has(HKEY_LOCAL_MACHINE, kClass + L"\\InprocServer32", kOtherView));
  EXPECT_TRUE(Has(HKEY_LOCAL_MACHINE, kProgId + L"\\CLSID"));
  EXPECT_TRUE(Has(HKEY_LOCAL_MACHINE, kProgId + L".1\\CLSID"));
  EXPECT_TRUE(Has(HKEY_LOCAL_MACHINE, kLibrary + L"\\9.0"));
  EXPECT_FALSE(Has(HKEY_LOCAL_MACHINE, kLibrary + L"\\9.0\\409\\win64"));

  // The other one gone too: the last unregistration takes the shared keys.
  ASSERT_TRUE(DeleteRegistryTree(HKEY_LOCAL_MACHINE, kOtherView, kClass));
  ASSERT_EQ(unregister_(), S_OK);
  EXPECT_FALSE(Has(HKEY_LOCAL_MACHINE, kProgId));
  EXPECT_FALSE(Has(HKEY_LOCAL_MACHINE, kProgId + L".1"));
  EXPECT_FALSE(Has(HKEY_LOCAL_MACHINE, kLibrary));
}

TEST_F(RegistrationTest, AProgIdThatNamesAnotherClassIsNotRemoved) {
  ASSERT_EQ(register_(), S_OK);
  {
    RegistryTransaction other(HKEY_LOCAL_MACHINE, 0);
    ASSERT_TRUE(other.Set(kProgId + L"\\CLSID", L"", L"{00000000-0000-0000-0000-000000000001}"));
    other.Commit();
  }
  ASSERT_EQ(unregister_(), S_OK);
  EXPECT_TRUE(Has(HKEY_LOCAL_MACHINE, kProgId + L"\\CLSID"));
  EXPECT_FALSE(Has(HKEY_LOCAL_MACHINE, kProgId + L".1"));
  DeleteRegistryTree(HKEY_LOCAL_MACHINE, 0, kProgId);
}

TEST_F(RegistrationTest, RegisteringAgainOverAnEarlierRegistrationSucceeds) {
  ASSERT_EQ(register_(), S_OK);
  ASSERT_EQ(register_(), S_OK);
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(dll_, path, MAX_PATH);
  EXPECT_EQ(RegistryDefaultValue(HKEY_LOCAL_MACHINE, 0, kClass + L"\\InprocServer32"), path);
  ASSERT_EQ(unregister_(), S_OK);
  EXPECT_FALSE(Has(HKEY_LOCAL_MACHINE, kClass));
}

}  // namespace
}  // namespace dudUdudADOD::windows
