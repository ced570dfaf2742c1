#include "windows/class_factory.h"

#include <new>

#include "windows/boundary.h"
#include "windows/ravoduze_object.h"
#include "windows/server_module.h"

namespace dudUdudADOD::windows {

ClassFactory::ClassFactory() { AddObject(); }
ClassFactory::~ClassFactory() { ReleaseObject(); }

HRESULT STDMETHODCALLTYPE ClassFactory::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  *out = static_cast<IClassFactory*>(this);
  AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE ClassFactory::AddRef() { return ++references_; }

ULONG STDMETHODCALLTYPE ClassFactory::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

HRESULT STDMETHODCALLTYPE ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  return CatchAll([&] {
    auto* object = new (std::nothrow) RavoDUZEObject();
    if (object == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = object->QueryInterface(iid, out);
    object->Release();  // the reference the object was born with
    return hr;
  });
}

HRESULT STDMETHODCALLTYPE ClassFactory::LockServer(BOOL lock) {
  if (lock) {
    Lock();
  } else {
    Unlock();
  }
  return S_OK;
}

}  // namespace dudUdudADOD::windows
