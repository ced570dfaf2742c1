// RavoDUZEObject: the COM object behind the class RavoDUZE, implementing the
// dual interface _RavoDUZE and ISupportErrorInfo.
//
// Created by the class factory (class_factory.h). Each public call runs the
// inspector (inspector/ravoduze.h) over a fresh OwnProcess and catches its
// RuntimeError here, at the public boundary, to hand it on in the platform's
// form (com_error.h). The object keeps no state but its reference count and
// its type information, loaded from the DLL on first use.
//
// Where the main call's `var` points, so that the variant argument section
// shows the variant the client handed over:
//  - through the interface's method, at the VARIANT the client passed;
//  - through IDispatch::Invoke, at the client's own VARIANTARG in the
//    DISPPARAMS, except that a VT_BYREF|VT_VARIANT argument (how a script
//    passes a variable) is followed once to the variant it points at: the
//    script's variable itself, as a Variant variable passes by reference in
//    the language. A C++ client passing a Long as VT_I4|VT_BYREF therefore
//    gets type word 16387 and the "Pointer" row; a script's variable holding
//    5 gets type word 3 and the "Value" row, exactly as the model's Variant
//    variables do. Invoke never copies the argument (the runtime's DispInvoke
//    would hand on copies at other addresses).
#ifndef DUD_WINDOWS_RAVODUZE_OBJECT_H_
#define DUD_WINDOWS_RAVODUZE_OBJECT_H_

#include <atomic>

#include "windows/type_library.h"
#include "windows/win32.h"

namespace dudUdudADOD::windows {

class RavoDUZEObject final : public _RavoDUZE, public ISupportErrorInfo {
 public:
  RavoDUZEObject();
  RavoDUZEObject(const RavoDUZEObject&) = delete;
  RavoDUZEObject& operator=(const RavoDUZEObject&) = delete;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception,
                                   UINT* bad_argument) override;
  // _RavoDUZE
  HRESULT STDMETHODCALLTYPE RavoDUZE(VARIANT* var, VARIANT* DebugF, VARIANT* varFlags,
                                     VARIANT* vatFlags, VARIANT* sep, BSTR* result) override;
  HRESULT STDMETHODCALLTYPE HELP(BSTR* result) override;
  HRESULT STDMETHODCALLTYPE About(BSTR* result) override;
  // ISupportErrorInfo
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override;

 private:
  ~RavoDUZEObject();
  // The type information of _RavoDUZE, loaded on first use.
  HRESULT TypeInfo(ITypeInfo** info);

  std::atomic<ULONG> references_{1};
  ITypeInfo* type_info_ = nullptr;
};

}  // namespace dudUdudADOD::windows

#endif  // DUD_WINDOWS_RAVODUZE_OBJECT_H_
