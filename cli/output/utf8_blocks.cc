#include "cli/output/utf8_blocks.h"

#include <sys/sendfile.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ostream>
#include <utility>

#include "automation/utf8.h"
#include "cli/output/output_stream.h"

namespace dudUdudADOD::cli {

namespace {

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

std::string Reason() { return errno != 0 ? std::string(": ") + std::strerror(errno) : ""; }

}  // namespace

Utf8Blocks::~Utf8Blocks() {
  try {
    StopWorker();
  } catch (...) {  // nothing is written anyway
  }
  CutBack();  // a report that was never completed leaves no part of itself
}

void Utf8Blocks::SpillInto(int fd, int64_t start) {
  direct_fd_ = fd;
  direct_start_ = start;
}

void Utf8Blocks::CutBack() {
  if (direct_fd_ < 0) return;
  if (direct_start_ >= 0 && spilled_ > 0) {
    // Best effort: a destination that refuses keeps what it has, as any
    // other failed write would leave it.
    if (ftruncate(direct_fd_, static_cast<off_t>(direct_start_)) == 0) {
      lseek(direct_fd_, static_cast<off_t>(direct_start_), SEEK_SET);
    }
  }
  spilled_ = 0;
}

void Utf8Blocks::Take(std::u16string& text) {
  taken_ += text.size();
  if (!worker_.joinable() && taken_ > kWorkerAfter) StartWorker();
  if (!worker_.joinable()) return Convert(text);
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return queue_.size() < kQueued || error_; });
  if (error_) {
    lock.unlock();
    StopWorker();  // rethrows
  }
  queue_.push_back(std::move(text));
  text.clear();
  if (!spare_.empty()) {
    text.swap(spare_.back());
    spare_.pop_back();
  }
  changed_.notify_all();
}

void Utf8Blocks::StartWorker() {
  closing_ = false;
  worker_ = std::thread([this] { Work(); });
}

void Utf8Blocks::Work() {
  for (;;) {
    std::u16string piece;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return !queue_.empty() || closing_; });
      if (queue_.empty()) return;
      piece = std::move(queue_.front());
      queue_.pop_front();
      changed_.notify_all();
    }
    try {
      Convert(piece);
    } catch (...) {
      std::lock_guard lock(mutex_);
      error_ = std::current_exception();
      queue_.clear();
      changed_.notify_all();
      return;
    }
    std::lock_guard lock(mutex_);
    if (spare_.size() < kQueued) spare_.push_back(std::move(piece));
  }
}

void Utf8Blocks::StopWorker() {
  if (worker_.joinable()) {
    {
      std::lock_guard lock(mutex_);
      closing_ = true;
      changed_.notify_all();
    }
    worker_.join();
  }
  if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
}

void Utf8Blocks::Convert(std::u16string& text) {
  if (lf_) DropCrBeforeLf(text);
  if (!text.empty()) last_ = text.back();
  std::u16string joined;
  std::u16string_view piece = text;
  if (carry_ != 0) {
    joined.reserve(text.size() + 1);
    joined += carry_;
    joined += text;
    piece = joined;
    carry_ = 0;
  }
  if (!piece.empty() && IsHighSurrogate(piece.back())) {
    carry_ = piece.back();
    piece.remove_suffix(1);
  }
  Append(piece);
  text.clear();
}

void Utf8Blocks::WriteTo(std::ostream& out, int fd) {
  StopWorker();
  if (pending_cr_) {
    std::u16string cr(1, u'\r');
    pending_cr_ = false;
    Convert(cr);
  }
  if (carry_ != 0) Append(std::u16string_view(&carry_, 1));  // unpaired: U+FFFD
  carry_ = 0;
  direct_fd_ = -1;  // what went there stays: the report is complete
  if (file_) {
    // What went to the file came first.
    if (!SendFile(out, fd)) {
      std::rewind(file_.get());
      std::unique_ptr<char[]> buffer(new char[kBlock]);
      size_t n;
      while (out && (n = std::fread(buffer.get(), 1, kBlock, file_.get())) > 0) {
        out.write(buffer.get(), static_cast<std::streamsize>(n));
      }
      if (std::ferror(file_.get())) throw HostFailure("cannot read the report back" + Reason());
    }
    file_.reset();
  }
  free_blocks_.clear();
  for (Block& block : blocks_) {
    out.write(block.bytes.get(), static_cast<std::streamsize>(block.used));
    block.bytes.reset();  // give each block back once it is out
  }
  blocks_.clear();
}

void Utf8Blocks::Clear() {
  {
    std::lock_guard lock(mutex_);
    queue_.clear();
  }
  try {
    StopWorker();
  } catch (...) {  // what failed is dropped too
  }
  taken_ = 0;
  blocks_.clear();
  free_blocks_.clear();
  file_.reset();
  CutBack();
  spilled_ = 0;
  carry_ = 0;
  pending_cr_ = false;
  last_ = 0;
}

// A long piece (a report of one long string comes whole) is converted a
// slice at a time, so that no block is sized for the widest UTF-8 of all of
// it at once.
void Utf8Blocks::Append(std::u16string_view piece) {
  constexpr size_t kSlice = kBlock / automation::kMaxUtf8PerUnit;
  while (!piece.empty()) {
    size_t n = std::min(kSlice, piece.size());
    if (n < piece.size() && IsHighSurrogate(piece[n - 1])) --n;
    AppendSlice(piece.substr(0, n));
    piece.remove_prefix(n);
  }
}

void Utf8Blocks::AppendSlice(std::u16string_view slice) {
  const size_t needed = automation::kMaxUtf8PerUnit * slice.size();
  if (blocks_.empty() || kBlock - blocks_.back().used < needed) {
    if (blocks_.size() * kBlock >= held_in_memory_) Spill();
    std::unique_ptr<char[]> bytes;
    if (free_blocks_.empty()) {
      bytes.reset(new char[kBlock]);
    } else {
      bytes = std::move(free_blocks_.back());
      free_blocks_.pop_back();
    }
    blocks_.push_back(Block{std::move(bytes), 0});
  }
  Block& block = blocks_.back();
  char* start = block.bytes.get() + block.used;
  block.used += static_cast<size_t>(automation::WriteUtf8(start, slice) - start);
}

// Hands the temporary file to `fd` inside the kernel, with no copy through
// this process. False when nothing was sent and the file must be copied
// (no descriptor, or one that takes no such transfer).
bool Utf8Blocks::SendFile(std::ostream& out, int fd) {
  if (fd < 0 || !out || std::fflush(file_.get()) != 0) return false;
  out.flush();
  const int from = fileno(file_.get());
  off_t offset = 0;
  while (static_cast<size_t>(offset) < spilled_) {
    const ssize_t sent = sendfile(
        fd, from, &offset, std::min<size_t>(spilled_ - static_cast<size_t>(offset), kSendAtOnce));
    if (sent > 0) continue;
    if (sent < 0 && errno == EINTR) continue;
    if (offset == 0 && sent < 0 && (errno == EINVAL || errno == ENOSYS)) return false;
    out.setstate(std::ios::badbit);  // the report is cut short: say so
    return true;
  }
  return true;
}

// Moves every full block to the temporary file. Without a file (none can be
// made here) the blocks stay in memory, as they would without the limit.
void Utf8Blocks::Spill() {
  if (direct_fd_ >= 0) return SpillDirect();
  if (!file_) {
    file_.reset(std::tmpfile());
    if (!file_) return;
  }
  errno = 0;
  for (Block& block : blocks_) {
    if (std::fwrite(block.bytes.get(), 1, block.used, file_.get()) != block.used) {
      throw HostFailure("cannot hold the report in a temporary file" + Reason());
    }
    spilled_ += block.used;
    free_blocks_.push_back(std::move(block.bytes));  // its pages stay mapped for the next block
  }
  blocks_.clear();
}

void Utf8Blocks::SpillDirect() {
  for (Block& block : blocks_) {
    for (size_t done = 0; done < block.used;) {
      errno = 0;
      const ssize_t n = write(direct_fd_, block.bytes.get() + done, block.used - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) throw HostFailure("cannot write the report" + Reason());
      done += static_cast<size_t>(n);
      spilled_ += static_cast<size_t>(n);
    }
    free_blocks_.push_back(std::move(block.bytes));
  }
  blocks_.clear();
}

// Removes each CR that stands before an LF, holding back a CR at the end
// until the next piece shows what follows it.
void Utf8Blocks::DropCrBeforeLf(std::u16string& text) {
  const bool held = pending_cr_ && (text.empty() || text.front() != u'\n');
  pending_cr_ = false;
  size_t kept = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') continue;
    text[kept++] = text[i];
  }
  text.resize(kept);
  if (!text.empty() && text.back() == u'\r') {
    pending_cr_ = true;
    text.pop_back();
  }
  if (held) text.insert(text.begin(), u'\r');
}

}  // namespace dudUdudADOD::cli
