#include "automation/client_process.h"

#include "automation/bstr.h"

namespace dudUdudADOD::automation {

void ClientProcess::AppendString(std::u16string& out, Address bstr) const {
  AppendUtf16Bytes(out, memory(), bstr, SysStringByteLen(bstr));
}

}  // namespace dudUdudADOD::automation
