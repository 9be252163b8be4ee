#include "sheet/part_halves.h"

#include "sheet/part_reader.h"
#include "sheet/zip_archive.h"

namespace zandor::sheet {

namespace {

// As ZipArchive::stream: chunks of this size.
constexpr std::size_t kChunkBytes = 1 << 18;
// The second reader also inflates what it parses and passes over the first part before it
// starts, so it gets the smaller share: with half each it ended a quarter of the parse after
// the first (inline-text sheet of 54 MB: 97 ms with half, 86 ms with this share).
constexpr std::uint64_t kSeamPercent = 54;

bool endsMark(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '>' || c == '/';
}

}  // namespace

PartHalves::PartHalves(ZipArchive& zip, std::string_view part, std::string mark)
    : reader_(zip.openPart(part)),
      mark_(std::move(mark)),
      seamFrom_(reader_->statedSize() / 100 * kSeamPercent),
      second_([this, path = zip.path(), limits = zip.limits(),
               name = std::string(part)] { runSecond(path, limits, name); },
              [this] { askToStop(); }) {}

PartHalves::~PartHalves() = default;

void PartHalves::askToStop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
}

void PartHalves::decideSeam(bool found, std::uint64_t at) {
  std::lock_guard lock(mutex_);
  decided_ = true;
  seamFound_ = found;
  seam_ = at;
  changed_.notify_all();
}

void PartHalves::readFirst(const Sink& sink) {
  buffer_.resize(kChunkBytes);
  for (;;) {
    const std::size_t got = reader_->read(buffer_.data(), kChunkBytes);
    if (got == 0) return;
    if (!seamBehind_ && firstTotal_ + got > seamFrom_) {
      // The seam, if any, lies at or after seamFrom_: it may be in this chunk.
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return decided_; });
      seamBehind_ = !seamFound_ || seam_ < firstTotal_ + got;
      if (seamFound_ && seam_ < firstTotal_ + got) {
        const auto cut = static_cast<std::size_t>(seam_ - firstTotal_);
        lock.unlock();
        rest_.assign(buffer_.begin() + static_cast<std::ptrdiff_t>(cut),
                     buffer_.begin() + static_cast<std::ptrdiff_t>(got));
        firstTotal_ += got;
        if (cut > 0) sink(buffer_.data(), cut);
        return;
      }
    }
    firstTotal_ += got;
    sink(buffer_.data(), got);
  }
}

void PartHalves::readRest(const Sink& sink) {
  if (!rest_.empty()) sink(rest_.data(), rest_.size());
  rest_.clear();
  buffer_.resize(kChunkBytes);
  while (const std::size_t got = reader_->read(buffer_.data(), kChunkBytes))
    sink(buffer_.data(), got);
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

void PartHalves::runSecond(const std::string& path, const ReadLimits& limits,
                           const std::string& part) {
  bool decided = false;
  auto halted = [this] {
    std::lock_guard lock(mutex_);
    return stopping_ || secondAbandoned_;
  };
  try {
    ZipArchive archive(path, limits);
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
  second_.join();
  std::lock_guard lock(mutex_);
  return secondDone_;
}

}  // namespace zandor::sheet
