// How a run-time error leaves the component: the platform's forms for a
// component's errors.
//
// Used by the COM object at its public boundary, the only place that catches
// a RuntimeError on Windows.
//  - Through IDispatch::Invoke: EXCEPINFO with scode 0x800A0000 + N, the
//    standard description and the source "dudUdudADOD"; Invoke returns
//    DISP_E_EXCEPTION, and a script's Err.Number reads N.
//  - Through the interface's own methods: the HRESULT 0x800A0000 + N, with
//    the same source and description set as the thread's error information
//    (the object answers ISupportErrorInfo for its interface).
// None of them throws: they run where the caller's exception handling has
// already ended. When memory runs out the error still goes out, by number,
// without its description.
#ifndef DUD_WINDOWS_COM_ERROR_H_
#define DUD_WINDOWS_COM_ERROR_H_

#include "windows/win32.h"

namespace dudUdudADOD::windows {

// 0x800A0000 + number: the platform's HRESULT of run-time error `number`.
HRESULT ErrorResult(int number) noexcept;

// Fills `info` (when not null) for run-time error `number`; returns
// DISP_E_EXCEPTION for Invoke to return.
HRESULT FillExcepInfo(int number, EXCEPINFO* info) noexcept;

// Sets the thread's error information for run-time error `number`, raised
// by a method of the interface `iid`; returns ErrorResult(number).
HRESULT SetErrorInformation(int number, REFIID iid) noexcept;

}  // namespace dudUdudADOD::windows

#endif  // DUD_WINDOWS_COM_ERROR_H_
