#include "windows/com_error.h"

#include <string>

#include "automation/runtime_error.h"

namespace dudUdudADOD::windows {

namespace {

constexpr wchar_t kSource[] = L"dudUdudADOD";

// The standard descriptions are ASCII.
BSTR Description(int number) {
  const std::string text = automation::StandardDescription(number);
  const std::wstring wide(text.begin(), text.end());
  return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

}  // namespace

HRESULT ErrorResult(int number) {
  return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, static_cast<unsigned>(number) & 0xFFFF);
}

HRESULT FillExcepInfo(int number, EXCEPINFO* info) {
  if (info != nullptr) {
    *info = EXCEPINFO{};
    info->bstrSource = SysAllocString(kSource);
    info->bstrDescription = Description(number);
    info->scode = ErrorResult(number);
  }
  return DISP_E_EXCEPTION;
}

HRESULT SetErrorInformation(int number, REFIID iid) {
  ICreateErrorInfo* create = nullptr;
  if (SUCCEEDED(CreateErrorInfo(&create))) {
    create->SetGUID(iid);
    create->SetSource(const_cast<LPOLESTR>(kSource));
    BSTR description = Description(number);
    create->SetDescription(description);
    SysFreeString(description);
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
      SetErrorInfo(0, info);
      info->Release();
    }
    create->Release();
  }
  return ErrorResult(number);
}

}  // namespace dudUdudADOD::windows
