#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "sheet/joining_thread.h"

namespace zandor::sheet {

class PartReader;
struct ReadLimits;
class ZipArchive;

// A big part read by two readers at the same time, so that a sheet is parsed in two halves
// at once: the first reader gets the bytes before a seam, inflated on the calling thread as
// it reads them, the second those from the seam on, on a thread that inflates the part once
// more from a second handle on the file, passing over the first half. Inflating is several
// times faster than parsing, so that costs less than keeping the first half in memory for
// the second reader would. Two threads, not a third to inflate for the first: with only two
// processors a third made the halves end up to a fifth of the parse apart, by where the
// system happened to run it. The seam is the first tag at or a little after the middle
// (54 %) that begins with `mark` ("<row"), since the second reader has more to do for each
// byte it parses. Whether the second half can stand on
// its own is for the caller to judge when the first reader gets there, and where it cannot,
// the first reader reads on through the rest. Destroying the object stops and joins every
// thread.
class PartHalves {
 public:
  using Sink = std::function<void(const char*, std::size_t)>;

  // Starts inflating. Throws SheetReadError when the part cannot be opened, and
  // std::system_error when no thread is to be had.
  PartHalves(ZipArchive& zip, std::string_view part, std::string mark);
  ~PartHalves();
  PartHalves(const PartHalves&) = delete;
  PartHalves& operator=(const PartHalves&) = delete;

  // Feeds the first reader every byte before the seam, or every byte of the part where no
  // seam was found. Throws what inflating throws before the seam.
  void readFirst(const Sink& sink);
  // Whether the seam was found, so far; after readFirst, for good.
  bool hasSeam() const;
  // Feeds the first reader the bytes from the seam on after all; the second reader must not
  // have been started, or be finished.
  void readRest(const Sink& sink);

  // Lets the second reader go on: sink gets every byte from the seam on, then end() is
  // called, on its thread. Once only, and only when hasSeam().
  void startSecond(Sink sink, std::function<void()> end);
  // Waits for the second reader; true when it read the part to its end (whose size and
  // CRC were right) without a failure of its own. With abandon, it stops where it is.
  bool secondSucceeded(bool abandon = false);

 private:
  void runSecond(const std::string& path, const ReadLimits& limits, const std::string& part);
  // Publishes where the seam is (found false: nowhere).
  void decideSeam(bool found, std::uint64_t at);
  void askToStop();

  std::unique_ptr<PartReader> reader_;
  const std::string mark_;
  std::uint64_t seamFrom_ = 0;  // where the search for the seam begins

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool decided_ = false;  // whether and where the seam is, known
  bool seamFound_ = false;
  std::uint64_t seam_ = 0;
  bool stopping_ = false;

  bool secondStarted_ = false;
  bool secondAbandoned_ = false;
  bool secondDone_ = false;  // read to the end without a failure
  Sink secondSink_;
  std::function<void()> secondEnd_;

  // The first reader's: its buffer, the bytes it has inflated, whether the seam is behind
  // them (or known to be nowhere), and the bytes from the seam on that the chunk which held
  // it brought along.
  std::vector<char> buffer_;
  std::uint64_t firstTotal_ = 0;
  bool seamBehind_ = false;
  std::vector<char> rest_;

  // Last, so that it is stopped and joined before anything it uses goes.
  JoiningThread second_;
};

}  // namespace zandor::sheet
