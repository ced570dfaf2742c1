// Process: the client process that the component is loaded into, modelled.
//
// It owns the client's address space and the two places where the client's
// runtime puts things: a stack (the client's variables, argument variants and
// the component's own call frames) and a heap (strings, array descriptors and
// array data, objects). Both allocate deterministically: the same sequence of
// allocations gives the same addresses on every run and every machine.
//
// Addresses (AddressPlan), chosen to look like a process of the platform:
//   32-bit  stack grows down from 0x00130000 (1245184); heap from 0x00140000
//           to 0x7FFF0000, array data from 0x00177000 (1536000)
//   64-bit  stack grows down from 0x000000A73F6F0000; heap from
//           0x000001E57B840000, array data from 0x000001E57B877000: all above
//           4 GiB, so that an address cut to 32 bits anywhere shows
// The stack holds at most 1 MiB, committed a 4 KiB page at a time as it
// grows, like a thread's stack. Addresses that a client places explicitly
// may lie anywhere else in the space.
#ifndef DUD_MODEL_PROCESS_H_
#define DUD_MODEL_PROCESS_H_

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "automation/client_process.h"
#include "model/address_space.h"
#include "model/model_only.h"

namespace dudUdudADOD::automation {

// Where a process of one platform keeps its stack and its heap.
struct AddressPlan {
  Address stack_top;
  // Where the client's own frame starts: its first pointer-sized local lies
  // one pointer below.
  Address client_frame;
  uint32_t stack_align;  // of every push: the pointer's size
  Address general_base;
  Address data_base;
  Address heap_limit;
};

// The client's first local at 1243024, its argument variant at 1242980.
inline constexpr AddressPlan kWin32Plan{0x00130000, 1243028, 4, 0x00140000, 0x00177000, 0x7FFF0000};
inline constexpr AddressPlan kWin64Plan{0x000000A73F6F0000, 0x000000A73F6EE090, 8,
                                        0x000001E57B840000, 0x000001E57B877000, 0x000001E67B877000};

const AddressPlan& PlanOf(Platform platform);

class Heap {
 public:
  // General blocks (strings, descriptors, objects) come from the first arena
  // and spill into the second when it is full; array data always comes from
  // the second.
  Heap(AddressSpace& memory, const AddressPlan& plan)
      : memory_(memory),
        general_{plan.general_base, plan.data_base, plan.general_base, {}, {}, {}},
        data_{plan.data_base, plan.heap_limit, plan.data_base, {}, {}, {}} {}

  // A zero-filled block of at least `size` bytes, 8-byte aligned, with an
  // unmapped gap after it so that a read past its end fails instead of
  // showing a neighbour. Raises 7 when the heap or the space is full.
  Address Allocate(uint32_t size);
  // The same, for array data.
  Address AllocateData(uint32_t size);
  // Frees a block returned by Allocate; 0 and unknown addresses are ignored.
  // Its room (with the gap after it) is taken again by later blocks: the
  // smallest free range that fits, the lowest of equal ones, so addresses
  // stay deterministic and error 7 means the space is really full.
  void Free(Address block);

 private:
  // Invariant: [base, next) is made of live blocks each followed by its gap,
  // free ranges (`holes`, never adjacent to each other nor ending at next),
  // and room skipped for blocks a client placed there.
  struct Arena {
    Address base;
    Address limit;
    Address next;
    std::map<Address, uint32_t> live;                // block -> rounded size
    std::map<Address, uint64_t> holes;               // start -> end
    std::set<std::pair<uint64_t, Address>> by_size;  // (end - start, start)
  };
  // nullopt when the arena has no room.
  std::optional<Address> AllocateIn(Arena& arena, uint32_t size);
  std::optional<Address> TakeHole(Arena& arena, uint64_t rounded);
  void AddHole(Arena& arena, uint64_t start, uint64_t end);
  void RemoveHole(Arena& arena, std::map<Address, uint64_t>::iterator hole);

  AddressSpace& memory_;
  Arena general_;
  Arena data_;
};

class Stack {
 public:
  static constexpr uint32_t kReserve = 1u << 20;

  Stack(AddressSpace& memory, const AddressPlan& plan)
      : memory_(memory),
        top_(plan.stack_top),
        client_frame_(plan.client_frame),
        align_(plan.stack_align),
        pointer_(plan.client_frame),
        committed_(plan.stack_top) {}

  // Reserves `size` zero-filled bytes below the stack pointer, aligned to
  // the pointer's size. Raises 28 (Out of stack space) past the 1 MiB
  // reserve.
  Address Push(uint32_t size);
  Address pointer() const { return pointer_; }
  // Pops everything pushed since `saved` (a value of pointer()).
  void Restore(Address saved) { pointer_ = saved; }

  // True when [address, address + size) touches the stack's reserve.
  bool InReserve(Address address, uint64_t size) const;
  // Puts a variable of the client's at a chosen address inside the reserve.
  // Raises 5 when the range leaves the reserve, overlaps what is in use
  // between the stack pointer and the client's frame, or overlaps another
  // placed range. A range below the stack pointer moves the pointer under
  // it, so later frames never overwrite it.
  void Place(Address address, uint32_t size);
  // Takes back the range that Place put at `address`, so that the memory is
  // free again; a no-op when none starts there. The stack pointer stays where
  // it is: the caller that placed the range restores it.
  void Unplace(Address address) { placed_.erase(address); }

 private:
  void Commit(Address low);

  AddressSpace& memory_;
  Address top_;
  Address client_frame_;
  uint32_t align_;
  Address pointer_;
  Address committed_;  // lowest committed address
  std::map<Address, uint32_t> placed_;
};

// Pops what the scope pushed on the stack when it ends: a call frame.
class StackFrame {
 public:
  explicit StackFrame(Stack& stack) : stack_(stack), saved_(stack.pointer()) {}
  ~StackFrame() { stack_.Restore(saved_); }
  StackFrame(const StackFrame&) = delete;
  StackFrame& operator=(const StackFrame&) = delete;

 private:
  Stack& stack_;
  Address saved_;
};

// An object of the client's: enough of an object model for Object, Nothing
// and a class with or without a default value.
struct ObjectInfo {
  std::u16string class_name;
  std::optional<std::u16string> default_value;
};

// The model is the report's ClientProcess on every host: its services are
// the model's own (conversions.h, safe_array.h, bstr.h), its working storage
// the modelled stack and heap.
class Process final : public ClientProcess {
 public:
  explicit Process(Platform platform = Platform::kWin32)
      : memory_(LayoutOf(platform)),
        heap_(memory_, PlanOf(platform)),
        stack_(memory_, PlanOf(platform)) {}
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  AddressSpace& memory() { return memory_; }
  const AddressSpace& memory() const override { return memory_; }
  Heap& heap() { return heap_; }
  Stack& stack() { return stack_; }
  const Stack& stack() const { return stack_; }

  // Creates an object on the heap and returns its address (never 0).
  Address NewObject(std::u16string class_name, std::optional<std::u16string> default_value);
  // The object at `address`, or nullptr when no object lives there.
  const ObjectInfo* FindObject(Address address) const;

  // ClientProcess.
  void MoveMemory(Address destination, Address source, uint32_t count) override;
  // The record lies below the call's other locals (84 bytes; 88 on 64-bit),
  // so a call made right after a client's first local has its record at
  // 1242400 on 32-bit.
  Address CallRecord(std::span<uint8_t> local) override;
  Address PushLocal(uint32_t size) override { return stack_.Push(size); }
  void WriteLocal(Address at, const void* bytes, uint32_t size) override;
  uint64_t LocalsMark() const override { return stack_.pointer(); }
  void PopLocals(uint64_t mark) override { stack_.Restore(static_cast<Address>(mark)); }
  Address NewByteArray(uint32_t count) override;
  void DestroyByteArray(Address descriptor) override;
  std::u16string TypeName(const VariantImage& v) const override;
  void AppendText(std::u16string& out, const VariantImage& v) const override;
  uint32_t LenB(const VariantImage& v) const override;
  int32_t ToLong(const VariantImage& v) const override;
  bool HasDefaultValue(Address object) const override;
  char16_t AnsiChar(int32_t code) const override;
  int32_t LBound(Address descriptor, int dimension) const override;
  int32_t UBound(Address descriptor, int dimension) const override;
  uint32_t SysStringByteLen(Address bstr) const override;
  bool ConcurrentReads() const override { return true; }  // per-thread block caches
  std::optional<LibraryVersion> OwnVersion() const override { return std::nullopt; }

 private:
  AddressSpace memory_;
  Heap heap_;
  Stack stack_;
  std::map<Address, ObjectInfo> objects_;
};

// The platform's raw copy: `count` bytes from `source` to `destination`, both
// addresses in the process. Raises 5 when either range is not mapped.
void RtlMoveMemory(Process& process, Address destination, Address source, uint32_t count);

}  // namespace dudUdudADOD::automation

#endif  // DUD_MODEL_PROCESS_H_
