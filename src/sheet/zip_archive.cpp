#include "sheet/zip_archive.h"

#include <zip.h>

#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <vector>

#include "sheet/cell_store.h"
#include "sheet/joining_thread.h"
#include "sheet/part_reader.h"
#include "sheet/sheet_error.h"

namespace zandor::sheet {

namespace {

// Part names inside the zip have no leading "/" (relationship targets sometimes do).
std::string entryName(std::string_view name) {
  while (!name.empty() && name.front() == '/') name.remove_prefix(1);
  return std::string(name);
}

constexpr std::size_t kChunkBytes = 1 << 18;
// Parts above this size are inflated on a thread of their own.
constexpr zip_uint64_t kBackgroundBytes = 1u << 20;

// What libzip's error code says, in the user's words (libzip's own texts are English).
std::string zipErrorText(int code) {
  switch (code) {
    case ZIP_ER_MULTIDISK:
      return "mehrteilige ZIP-Archive werden nicht unterst\xc3\xbctzt";
    case ZIP_ER_SEEK:
      return "Fehler beim Positionieren in der Datei";
    case ZIP_ER_READ:
      return "Lesefehler";
    case ZIP_ER_CRC:
      return "Pr\xc3\xbc"
             "fsummenfehler";
    case ZIP_ER_NOENT:
      return "Datei nicht gefunden";
    case ZIP_ER_OPEN:
      return "Datei l\xc3\xa4sst sich nicht \xc3\xb6"
             "ffnen";
    case ZIP_ER_ZLIB:
    case ZIP_ER_COMPRESSED_DATA:
      return "gepackte Daten sind fehlerhaft";
    case ZIP_ER_MEMORY:
      return "zu wenig Speicher";
    case ZIP_ER_COMPNOTSUPP:
      return "Packverfahren wird nicht unterst\xc3\xbctzt";
    case ZIP_ER_EOF:
      return "unerwartetes Dateiende";
    case ZIP_ER_NOZIP:
      return "Datei ist keine ZIP-Datei";
    case ZIP_ER_INCONS:
      return "ZIP-Archiv ist in sich widerspr\xc3\xbc"
             "chlich";
    case ZIP_ER_ENCRNOTSUPP:
      return "Verschl\xc3\xbcsselungsverfahren wird nicht unterst\xc3\xbctzt";
    case ZIP_ER_NOPASSWD:
    case ZIP_ER_WRONGPASSWD:
      return "Datei ist kennwortgesch\xc3\xbctzt";
    case ZIP_ER_TELL:
      return "Position in der Datei nicht feststellbar";
    default:
      // Codes of writing, of changing entries and of later versions, which opening a file
      // for reading does not give.
      return "Fehler Nr. " + std::to_string(code) + " der ZIP-Bibliothek";
  }
}

}  // namespace

ZipArchive::ZipArchive(const std::string& path, const ReadLimits& limits)
    : path_(path), limits_(limits) {
  int error = 0;
  zip_ = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
  if (!zip_)
    throw SheetReadError(
        "Die Datei ist besch\xc3\xa4"
        "digt (ZIP: " +
        zipErrorText(error) + ").");
}

ZipArchive::~ZipArchive() {
  if (zip_) zip_discard(zip_);
}

std::string ZipArchive::storedName(std::string_view name) const {
  std::string entry = entryName(name);
  if (zip_name_locate(zip_, entry.c_str(), 0) >= 0) return entry;
  // Part names are case-insensitive: writers name a part in another case than the
  // relationship pointing at it.
  const zip_int64_t index = zip_name_locate(zip_, entry.c_str(), ZIP_FL_NOCASE);
  if (index < 0) return entry;
  const char* stored = zip_get_name(zip_, static_cast<zip_uint64_t>(index), ZIP_FL_ENC_RAW);
  return stored ? std::string(stored) : entry;
}

bool ZipArchive::has(std::string_view name) const {
  return zip_name_locate(zip_, entryName(name).c_str(), ZIP_FL_NOCASE) >= 0;
}

std::uint64_t ZipArchive::partSize(std::string_view name) const {
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat(zip_, storedName(name).c_str(), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE))
    return 0;
  return st.size;
}

void ZipArchive::stream(std::string_view name,
                        const std::function<void(const char*, std::size_t)>& sink) {
  PartReader part(zip_, storedName(name), limits_.maxPartBytes);
  auto inflate = [&](std::vector<char>& buffer) { return part.read(buffer.data(), buffer.size()); };

  auto inflateHere = [&] {
    std::vector<char> buffer(kChunkBytes);
    while (const std::size_t got = inflate(buffer)) sink(buffer.data(), got);
  };
  if (part.statedSize() <= kBackgroundBytes) return inflateHere();

  // A big part (the sheet) is inflated on a second thread while this one parses.
  struct Shared {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::pair<std::vector<char>, std::size_t>> full;
    std::vector<std::vector<char>> empty;
    bool finished = false, stop = false;
    std::exception_ptr failure;
  } shared;
  for (int i = 0; i < 3; ++i) shared.empty.emplace_back(kChunkBytes);
  auto inflating = [&] {
    try {
      for (;;) {
        std::vector<char> buffer;
        {
          std::unique_lock lock(shared.mutex);
          shared.changed.wait(lock, [&] { return shared.stop || !shared.empty.empty(); });
          if (shared.stop) return;
          buffer = std::move(shared.empty.back());
          shared.empty.pop_back();
        }
        const std::size_t got = inflate(buffer);
        std::lock_guard lock(shared.mutex);
        if (got == 0)
          shared.finished = true;
        else
          shared.full.emplace_back(std::move(buffer), got);
        shared.changed.notify_all();
        if (got == 0) return;
      }
    } catch (...) {
      std::lock_guard lock(shared.mutex);
      shared.failure = std::current_exception();
      shared.changed.notify_all();
    }
  };
  // Stopped and joined however this function is left, a throwing sink's way included.
  std::optional<JoiningThread> inflater;
  try {
    inflater.emplace(inflating, [&] {
      std::lock_guard lock(shared.mutex);
      shared.stop = true;
      shared.changed.notify_all();
    });
  } catch (const std::system_error&) {
    // No thread to be had: inflated here after all.
    return inflateHere();
  }
  for (;;) {
    std::pair<std::vector<char>, std::size_t> chunk;
    {
      std::unique_lock lock(shared.mutex);
      shared.changed.wait(
          lock, [&] { return !shared.full.empty() || shared.finished || shared.failure; });
      if (shared.full.empty()) {
        if (shared.failure) std::rethrow_exception(shared.failure);
        break;
      }
      chunk = std::move(shared.full.front());
      shared.full.pop_front();
    }
    sink(chunk.first.data(), chunk.second);
    std::lock_guard lock(shared.mutex);
    shared.empty.push_back(std::move(chunk.first));
    shared.changed.notify_all();
  }
}

std::unique_ptr<PartReader> ZipArchive::openPart(std::string_view name) {
  return std::make_unique<PartReader>(zip_, storedName(name), limits_.maxPartBytes);
}

std::string ZipArchive::read(std::string_view name, std::uint64_t limit) {
  std::string out;
  stream(name, [&](const char* data, std::size_t size) {
    if (out.size() + size > limit)
      throw SheetReadError("Teil \"" + entryName(name) + "\" ist zu gro\xc3\x9f.");
    out.append(data, size);
  });
  return out;
}

}  // namespace zandor::sheet
