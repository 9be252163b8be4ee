#include "sheet/part_halves.h"

#include <atomic>

#include "sheet/part_reader.h"
#include "sheet/zip_archive.h"

namespace zandor::sheet {

namespace {

// As ZipArchive::stream: chunks of this size, a few inflated ahead of the parser.
constexpr std::size_t kChunkBytes = 1 << 18;
constexpr std::size_t kReadyChunks = 3;
// The second reader also inflates what it parses and passes over the first part before it
// starts, so it gets the smaller share: with half each it ended a quarter of the parse after
// the first (inline-text sheet of 54 MB: 97 ms with half, 86 ms with this share).
constexpr std::uint64_t kSeamPercent = 54;

std::atomic<std::uint64_t> readInHalves{0};

bool endsMark(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '>' || c == '/';
}

}  // namespace

PartHalves::PartHalves(ZipArchive& zip, std::string_view part, std::string mark)
    : reader_(zip.openPart(part)), mark_(std::move(mark)) {
  seamFrom_ = reader_->statedSize() / 100 * kSeamPercent;
  firstInflater_ = std::thread([this] { inflateFirst(); });
  try {
    second_ =
        std::thread([this, path = zip.path(), name = std::string(part)] { runSecond(path, name); });
  } catch (...) {
    stop();
    throw;
  }
}

PartHalves::~PartHalves() {
  stop();
}

void PartHalves::stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (second_.joinable()) second_.join();
  if (firstInflater_.joinable()) firstInflater_.join();
}

void PartHalves::decideSeam(bool found, std::uint64_t at) {
  std::lock_guard lock(mutex_);
  decided_ = true;
  seamFound_ = found;
  seam_ = at;
  changed_.notify_all();
}

void PartHalves::inflateFirst() {
  try {
    std::uint64_t total = 0;
    bool seamBehind = false;  // passed, or there is none
    for (;;) {
      Chunk chunk;
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return stopping_ || ready_.size() < kReadyChunks; });
        if (stopping_) return;
        if (!spare_.empty()) {
          chunk.bytes = std::move(spare_.back());
          spare_.pop_back();
        }
      }
      chunk.bytes.resize(kChunkBytes);
      chunk.end = reader_->read(chunk.bytes.data(), kChunkBytes);
      std::unique_lock lock(mutex_);
      if (chunk.end == 0) {
        firstEnded_ = true;
        changed_.notify_all();
        return;
      }
      if (!seamBehind && total + chunk.end > seamFrom_) {
        // The seam, if any, lies at or after seamFrom_: it may be in this chunk.
        changed_.wait(lock, [&] { return stopping_ || decided_; });
        if (stopping_) return;
        seamBehind = !seamFound_ || seam_ < total + chunk.end;
        if (seamFound_ && seam_ < total + chunk.end) {
          const auto cut = static_cast<std::size_t>(seam_ - total);
          Chunk rest;
          rest.bytes.assign(chunk.bytes.begin() + static_cast<std::ptrdiff_t>(cut),
                            chunk.bytes.begin() + static_cast<std::ptrdiff_t>(chunk.end));
          rest.end = rest.bytes.size();
          chunk.end = cut;
          if (chunk.end > 0) ready_.push_back(std::move(chunk));
          atSeam_ = true;
          changed_.notify_all();
          changed_.wait(lock, [&] { return stopping_ || pastSeam_; });
          if (stopping_) return;
          total += cut;
          chunk = std::move(rest);
        }
      }
      total += chunk.end;
      ready_.push_back(std::move(chunk));
      changed_.notify_all();
    }
  } catch (...) {
    std::lock_guard lock(mutex_);
    firstFailure_ = std::current_exception();
    changed_.notify_all();
  }
}

bool PartHalves::take(Chunk& chunk, bool rest) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] {
    return !ready_.empty() || stopping_ || firstFailure_ || firstEnded_ || (!rest && atSeam_);
  });
  if (ready_.empty()) {
    if (firstFailure_ && !stopping_) std::rethrow_exception(firstFailure_);
    return false;
  }
  chunk = std::move(ready_.front());
  ready_.pop_front();
  changed_.notify_all();
  return true;
}

void PartHalves::drain(const Sink& sink, bool rest) {
  Chunk chunk;
  while (take(chunk, rest)) {
    sink(chunk.bytes.data(), chunk.end);
    std::lock_guard lock(mutex_);
    spare_.push_back(std::move(chunk.bytes));
  }
}

void PartHalves::readFirst(const Sink& sink) {
  drain(sink, false);
}

void PartHalves::readRest(const Sink& sink) {
  {
    std::lock_guard lock(mutex_);
    pastSeam_ = true;
  }
  changed_.notify_all();
  drain(sink, true);
}

bool PartHalves::hasSeam() const {
  std::lock_guard lock(mutex_);
  return seamFound_;
}

void PartHalves::startSecond(Sink sink, std::function<void()> end) {
  std::lock_guard lock(mutex_);
  if (secondStarted_ || !seamFound_) return;
  secondSink_ = std::move(sink);
  secondEnd_ = std::move(end);
  secondStarted_ = true;
  changed_.notify_all();
}

void PartHalves::runSecond(const std::string& path, const std::string& part) {
  bool decided = false;
  auto halted = [this] {
    std::lock_guard lock(mutex_);
    return stopping_ || secondAbandoned_;
  };
  try {
    ZipArchive archive(path);
    const std::unique_ptr<PartReader> reader = archive.openPart(part);
    std::vector<char> buffer(kChunkBytes);
    // Pass over the first part, then look for the seam: a mark followed by the end of its
    // name, both within one chunk (a mark cut by a chunk's end is passed over).
    std::uint64_t total = 0;
    std::size_t got = 0, from = std::string_view::npos;
    while (from == std::string_view::npos) {
      if (halted()) return;
      got = reader->read(buffer.data(), buffer.size());
      if (got == 0) break;
      if (total + got > seamFrom_) {
        const std::string_view bytes(buffer.data(), got);
        std::size_t at = seamFrom_ > total ? static_cast<std::size_t>(seamFrom_ - total) : 0;
        while ((at = bytes.find(mark_, at)) != std::string_view::npos) {
          if (at + mark_.size() < got && endsMark(bytes[at + mark_.size()])) break;
          ++at;
        }
        from = at;
      }
      if (from == std::string_view::npos) total += got;
    }
    decided = true;
    decideSeam(from != std::string_view::npos, total + (got ? from : 0));
    if (from == std::string_view::npos) return;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return stopping_ || secondStarted_; });
      if (stopping_) return;
    }
    secondSink_(buffer.data() + from, got - from);
    while ((got = reader->read(buffer.data(), buffer.size())) > 0) {
      if (halted()) return;
      secondSink_(buffer.data(), got);
    }
    secondEnd_();
    std::lock_guard lock(mutex_);
    secondDone_ = true;
  } catch (...) {
    if (!decided) decideSeam(false, 0);
  }
}

bool PartHalves::secondSucceeded(bool abandon) {
  {
    std::lock_guard lock(mutex_);
    if (!secondStarted_) return false;
    if (abandon) secondAbandoned_ = true;
  }
  if (second_.joinable()) second_.join();
  std::lock_guard lock(mutex_);
  return secondDone_;
}

std::uint64_t sheetsReadInHalves() {
  return readInHalves.load();
}

void noteSheetReadInHalves() {
  ++readInHalves;
}

}  // namespace zandor::sheet
