// Utf8Blocks: a report as UTF-8, gathered while the inspector builds it and
// written out only once it is complete.
//
// Used by RunRavoduze. The inspector hands the report over in pieces of
// UTF-16; each piece is converted at once into blocks of raw memory, so that
// neither the UTF-16 text nor one huge UTF-8 string ever stands whole. Past
// kHeldInMemory bytes the blocks go to an unnamed temporary file instead, so
// that a report of any length takes a bounded amount of memory. Nothing is
// written until WriteTo: a call that fails half way prints no partial report
// (Clear drops what was gathered).
//
// A high surrogate at the end of a piece waits for the low one that starts
// the next; one that stays unpaired is written as U+FFFD. With `lf`, each
// CR LF is written as LF, also when a piece ends between the two.
//
// Once a report has passed a million characters, the conversion moves to a
// thread of its own, so that the inspector formats the next piece on one
// core while the last one becomes UTF-8 on the other; the bytes are the
// same, and a short report starts no thread. Take, WriteTo and Clear are
// called from one thread.
#ifndef DUD_CLI_OUTPUT_UTF8_BLOCKS_H_
#define DUD_CLI_OUTPUT_UTF8_BLOCKS_H_

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <exception>
#include <iosfwd>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace dudUdudADOD::cli {

class Utf8Blocks {
 public:
  // What stays in memory before the blocks go to a temporary file.
  static constexpr size_t kHeldInMemory = size_t{16} << 20;

  explicit Utf8Blocks(bool lf, size_t held_in_memory = kHeldInMemory)
      : lf_(lf), held_in_memory_(held_in_memory) {}
  ~Utf8Blocks();
  Utf8Blocks(const Utf8Blocks&) = delete;
  Utf8Blocks& operator=(const Utf8Blocks&) = delete;

  // Past what it holds in memory, sends the blocks straight to `fd`, where
  // the report is bound, instead of to a temporary file: for a destination
  // where no reader sees a partial report. `start` >= 0 is the offset of a
  // regular file where the report begins, cut back to if the report fails
  // (Clear, or destruction before WriteTo); -1 a destination that keeps
  // nothing (the null device). Called before the first Take; WriteTo then
  // writes the rest to a stream on the same descriptor.
  void SpillInto(int fd, int64_t start);
  // Takes the text so far and empties it (keeping room the caller may fill
  // again). Raises HostFailure when the temporary file cannot take a block,
  // here or at the next call.
  void Take(std::u16string& text);
  // Whether the text ends with a line break (an empty text does).
  bool EndsLine() const { return last_ == 0 || last_ == u'\n'; }
  // Writes everything gathered, in order, and lets its memory go. `fd`, when
  // not -1, is the descriptor `out` writes to: what waits in the temporary
  // file then goes there without passing through this process.
  void WriteTo(std::ostream& out, int fd = -1);
  // Drops everything gathered.
  void Clear();

  // Bytes that went to the temporary file so far (for tests).
  size_t spilled() const { return spilled_; }

 private:
  static constexpr size_t kBlock = size_t{1} << 20;
  static constexpr size_t kSendAtOnce = size_t{1} << 30;
  // Raw room, never filled with zeros first: the text is written once.
  struct Block {
    std::unique_ptr<char[]> bytes;
    size_t used = 0;
  };
  struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };

  // Characters taken before the conversion moves to a thread, and pieces
  // that may wait for it.
  static constexpr size_t kWorkerAfter = size_t{1} << 20;
  static constexpr size_t kQueued = 4;

  void Convert(std::u16string& text);
  void StartWorker();
  void Work();
  // Waits until every queued piece is converted; rethrows the worker's error.
  void StopWorker();
  void Append(std::u16string_view piece);
  void AppendSlice(std::u16string_view slice);
  void Spill();
  void SpillDirect();
  bool SendFile(std::ostream& out, int fd);
  // Cuts a regular destination back to where the report began.
  void CutBack();
  void DropCrBeforeLf(std::u16string& text);

  std::vector<Block> blocks_;
  std::unique_ptr<std::FILE, FileCloser> file_;       // blocks past kHeldInMemory
  std::vector<std::unique_ptr<char[]>> free_blocks_;  // spilled blocks' room, reused
  int direct_fd_ = -1;                                // where blocks spill, with SpillInto
  int64_t direct_start_ = -1;
  size_t spilled_ = 0;
  char16_t carry_ = 0;
  bool lf_;
  size_t held_in_memory_;
  bool pending_cr_ = false;
  char16_t last_ = 0;

  size_t taken_ = 0;
  std::thread worker_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::u16string> queue_;   // pieces for the worker, in order
  std::vector<std::u16string> spare_;  // converted pieces, their room reused
  bool closing_ = false;
  std::exception_ptr error_;
};

}  // namespace dudUdudADOD::cli

#endif  // DUD_CLI_OUTPUT_UTF8_BLOCKS_H_
