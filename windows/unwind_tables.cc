#include "windows/unwind_tables.h"

#include <cstdint>

#if !defined(__SEH__) && !defined(__USING_SJLJ_EXCEPTIONS__)  // DWARF-2 unwinding

// The linked (static) libgcc's registry of unwind tables, as crtbegin and
// libgcc's unwinder use it.
struct DudEhBases {
  void* tbase;
  void* dbase;
  void* func;
};
extern "C" const void* _Unwind_Find_FDE(void* pc, DudEhBases* bases);
extern "C" void __register_frame_info(const void* begin, void* object);
extern "C" void* __deregister_frame_info(const void* begin);

// A label inside this object's part of the .eh_frame section, which places
// the module's section among the image's sections: the header's own name
// is too long for a section header and reads "/4" in memory. COFF has no
// .pushsection; the statement ends in .text, where the compiler's own
// output of this file starts.
asm(".section .eh_frame,\"dr\"\n"
    "dud_eh_frame_anchor:\n"
    ".text\n");
extern "C" const char dud_eh_frame_anchor[] asm("dud_eh_frame_anchor");

namespace dudUdudADOD::windows {

namespace {

// The unwinder's record of the registered tables; it outlives the
// registration, so it is static. Larger than libgcc's struct object.
alignas(void*) unsigned char g_object[16 * sizeof(void*)];
const void* g_registered = nullptr;

// True when the linked unwinder finds the frame of a function of the DLL.
bool UnwinderKnowsUs() {
  DudEhBases bases{};
  return _Unwind_Find_FDE(reinterpret_cast<void*>(&RegisterUnwindTables), &bases) != nullptr;
}

// The start of the image's section that holds `address`, or null. The
// section is the whole of the tables: records from its first byte to the
// start-up code's zero terminator, crtbegin's part included.
const void* SectionHolding(HMODULE module, const void* address) {
  const auto base = reinterpret_cast<uintptr_t>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt =
      reinterpret_cast<const IMAGE_NT_HEADERS*>(base + static_cast<uintptr_t>(dos->e_lfanew));
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  const uintptr_t rva = reinterpret_cast<uintptr_t>(address) - base;
  for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
    if (rva >= section->VirtualAddress &&
        rva - section->VirtualAddress < section->Misc.VirtualSize) {
      return reinterpret_cast<const void*>(base + section->VirtualAddress);
    }
  }
  return nullptr;
}

// True when `begin` opens with a CIE record (a length, then the CIE id 0),
// as the tables do: a label that strayed into another section registers
// nothing.
bool StartsWithCie(const void* begin) {
  const auto* words = static_cast<const uint32_t*>(begin);
  return words[0] != 0 && words[1] == 0;
}

}  // namespace

bool RegisterUnwindTables(HMODULE module) noexcept {
  if (UnwinderKnowsUs()) return true;  // crtbegin registered them with it
  const void* begin = SectionHolding(module, dud_eh_frame_anchor);
  if (begin == nullptr || !StartsWithCie(begin)) return false;
  __register_frame_info(begin, g_object);
  g_registered = begin;
  return UnwinderKnowsUs();
}

void UnregisterUnwindTables() noexcept {
  if (g_registered == nullptr) return;
  __deregister_frame_info(g_registered);
  g_registered = nullptr;
}

}  // namespace dudUdudADOD::windows

#else  // unwinding through the system's tables

namespace dudUdudADOD::windows {

bool RegisterUnwindTables(HMODULE) noexcept { return true; }
void UnregisterUnwindTables() noexcept {}

}  // namespace dudUdudADOD::windows

#endif
