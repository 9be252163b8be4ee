#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace zandor {

// One write of a commit: length bytes, found at `at` in the commit's bytes (or at data,
// where it is set), go to offset.
struct PageWrite {
  std::uint64_t offset;
  std::size_t length;
  std::size_t at;
  const unsigned char* data = nullptr;

  const unsigned char* source(const unsigned char* bytes) const { return data ? data : bytes + at; }
};

// Finishes the commit its process was killed in. A process cannot stop a SIGKILL that lands
// while the pages of a commit are being copied into an index file, and a commit copied only
// in part leaves a tree that is neither the old nor the new one. So next to each writable
// index file runs a small witness: a task of its own that shares our memory (nothing is
// copied to it), sleeps on a pipe whose only writer we are, and wakes when we close the
// file or die. If we died between begin() and end(), it writes every page of that commit
// once more from our memory, which outlives us while the witness holds it, and then ends.
//
// Where no such task can be started (another system, a tool that refuses the clone), start()
// returns false and commits go out as they did without it.
class CommitWitness {
 public:
  CommitWitness() = default;
  ~CommitWitness() { stop(); }
  CommitWitness(const CommitWitness&) = delete;
  CommitWitness& operator=(const CommitWitness&) = delete;

  // Starts watching writes to fd; true when a witness runs.
  bool start(int fd);
  // Ends the witness and waits for it; a commit still marked pending is left as it is.
  void stop();

  // A commit of count writes is about to be copied; writes and bytes must stay unchanged in
  // memory until end().
  void begin(const PageWrite* writes, std::size_t count, const unsigned char* bytes) {
    writes_ = writes;
    count_ = count;
    bytes_ = bytes;
    __atomic_store_n(&pending_, true, __ATOMIC_RELEASE);
    // The copy must not be moved before the flag by the compiler: a kill stops us between
    // two instructions, and any store of the copy before the flag would be unwitnessed.
    std::atomic_signal_fence(std::memory_order_seq_cst);
  }
  void end() { __atomic_store_n(&pending_, false, __ATOMIC_RELEASE); }

 private:
  static int watch(void* self);

  // The witness's own copies of these descriptors are the ones it keeps.
  int fd_ = -1;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  pid_t pid_ = -1;
  void* stack_ = nullptr;
  const PageWrite* writes_ = nullptr;
  std::size_t count_ = 0;
  const unsigned char* bytes_ = nullptr;
  // Plain, not std::atomic: the witness reads it without calling any function of ours.
  bool pending_ = false;
};

}  // namespace zandor
