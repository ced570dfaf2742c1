#include "windows/bstr_output.h"

#include <algorithm>
#include <cstring>

#include "automation/bstr.h"
#include "automation/runtime_error.h"

namespace dudUdudADOD::windows {

namespace {

// Room past a hint, for the few characters the report writes after a walk
// (the line's end) without a second allocation.
constexpr uint64_t kSlack = 64;
// The least room taken, so that a short report is not grown piece by piece.
constexpr uint64_t kLeast = 256;

// A string with room for `capacity` characters whose room is left as the
// system gives it. SysAllocStringLen without a text fills its room with
// zeros on some runtimes, one pass over pages never touched yet, made before
// the walk starts and so never shared with its second thread; growing an
// empty string leaves the room uninitialized on every runtime. Raises 7
// when the system has no room.
BSTR UninitializedString(uint64_t capacity) {
  BSTR text = SysAllocStringLen(nullptr, 0);
  if (text == nullptr) automation::Raise(automation::kOutOfMemory);
  if (capacity != 0 && !SysReAllocStringLen(&text, nullptr, static_cast<UINT>(capacity))) {
    SysFreeString(text);
    automation::Raise(automation::kOutOfMemory);
  }
  return text;
}

}  // namespace

void BstrOutput::Resize(uint64_t capacity) {
  // A report holds at most a string's length: the inspector raises 14 before
  // its text passes it, so room past it is never needed.
  capacity = std::min(capacity, automation::kMaxStringChars);
  if (capacity < length_) automation::Raise(automation::kOutOfMemory);
  BSTR bigger = UninitializedString(capacity);
  // Lengths stay within kMaxStringChars, whose bytes a size_t holds on both platforms.
  if (length_ != 0) std::memcpy(bigger, text_, static_cast<size_t>(length_) * sizeof(OLECHAR));
  SysFreeString(text_);
  text_ = bigger;
  capacity_ = capacity;
}

void BstrOutput::Expect(uint64_t characters) {
  if (length_ + characters > capacity_) Resize(length_ + characters + kSlack);
}

char16_t* BstrOutput::Extend(uint64_t characters) {
  if (length_ + characters > capacity_) {
    Resize(std::max({length_ + characters, capacity_ + capacity_ / 2, kLeast}));
  }
  if (length_ + characters > capacity_) automation::Raise(automation::kOutOfStringSpace);
  // OLECHAR is a 16-bit unit on every Windows compiler, as char16_t is.
  static_assert(sizeof(OLECHAR) == sizeof(char16_t));
  char16_t* room = reinterpret_cast<char16_t*>(text_) + length_;
  length_ += characters;
  return room;
}

void BstrOutput::Take(std::u16string& text) {
  char16_t* room = Extend(text.size());
  if (!text.empty()) std::memcpy(room, text.data(), text.size() * sizeof(char16_t));
  text.clear();
}

BSTR BstrOutput::Release() {
  if (text_ == nullptr) Resize(0);
  // Much room left over (a text that grew without a hint) is given back
  // with one copy; a little is kept, and the string's length prefix, which
  // stands just before its first character, is set to the text's own.
  if (capacity_ - length_ > length_ / 4 + 4096) Resize(length_);
  const auto bytes = static_cast<uint32_t>(length_ * sizeof(OLECHAR));
  std::memcpy(reinterpret_cast<uint8_t*>(text_) - sizeof bytes, &bytes, sizeof bytes);
  text_[length_] = 0;
  BSTR text = text_;
  text_ = nullptr;
  length_ = capacity_ = 0;
  return text;
}

}  // namespace dudUdudADOD::windows
