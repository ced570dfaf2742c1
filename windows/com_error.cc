#include "windows/com_error.h"

#include <string>

#include "automation/runtime_error.h"

namespace dudUdudADOD::windows {

namespace {

constexpr wchar_t kSource[] = L"dudUdudADOD";

// The standard description of error `number` (ASCII); null when memory ran
// out for it.
BSTR Description(int number) noexcept {
  try {
    const std::string text = automation::StandardDescription(number);
    BSTR description = SysAllocStringLen(nullptr, static_cast<UINT>(text.size()));
    if (description == nullptr) return nullptr;
    for (size_t i = 0; i < text.size(); ++i) {
      description[i] = static_cast<OLECHAR>(static_cast<unsigned char>(text[i]));
    }
    return description;
  } catch (...) {
    return nullptr;
  }
}

}  // namespace

HRESULT ErrorResult(int number) noexcept {
  return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, static_cast<unsigned>(number) & 0xFFFF);
}

HRESULT FillExcepInfo(int number, EXCEPINFO* info) noexcept {
  if (info != nullptr) {
    *info = EXCEPINFO{};
    info->bstrSource = SysAllocString(kSource);
    info->bstrDescription = Description(number);
    info->scode = ErrorResult(number);
  }
  return DISP_E_EXCEPTION;
}

HRESULT SetErrorInformation(int number, REFIID iid) noexcept {
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
