// ClassFactory: makes RavoDUZE objects for DllGetClassObject.
//
// Instances cannot be aggregated. LockServer holds the DLL loaded (see
// server_module.h); a factory handed out counts as a live object itself.
#ifndef DUD_WINDOWS_CLASS_FACTORY_H_
#define DUD_WINDOWS_CLASS_FACTORY_H_

#include <atomic>

#include "windows/win32.h"

namespace dudUdudADOD::windows {

class ClassFactory final : public IClassFactory {
 public:
  ClassFactory();
  ClassFactory(const ClassFactory&) = delete;
  ClassFactory& operator=(const ClassFactory&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

 private:
  ~ClassFactory();
  std::atomic<ULONG> references_{1};
};

}  // namespace dudUdudADOD::windows

#endif  // DUD_WINDOWS_CLASS_FACTORY_H_
