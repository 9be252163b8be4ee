#include "table/memo_file.h"

#include <algorithm>
#include <array>

#include "base/paths.h"
#include "base/text.h"
#include "table/table_error.h"

namespace zandor {

namespace {

constexpr std::size_t kHeaderSize = 512;

std::uint32_t readU32be(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
         static_cast<std::uint32_t>(p[2]) << 8 | static_cast<std::uint32_t>(p[3]);
}
void writeU32be(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

Error memoReadError(const std::string& path, std::string reason = {}) {
  Error e = tableError(gen::kRead, sub::kRead, "Read error", path);
  e.reason = std::move(reason);
  return e;
}

const std::string kTooLong = "Memotext l\xe4nger als " + std::to_string(MemoFile::kMaxText >> 20) +
                             " MB (die Memodatei ist besch\xe4"
                             "digt)";
// Zeros where a dBase III text goes on: it lost its end mark, and a text holds no NUL.
const std::string kNoEndMark =
    "Memotext ohne Endezeichen, gefolgt von Nullbytes (die Memodatei ist besch\xe4"
    "digt)";

// A whole chunk of zero bytes (a short one at the file's end is left to the caller).
bool allZero(const char* bytes, long long n) {
  return n == 4096 && std::all_of(bytes, bytes + n, [](char c) { return c == '\0'; });
}

Error memoWriteError(const std::string& path, int err) {
  return tableError(gen::kWrite, sub::kWrite, "Write error", path, osCodeOf(err));
}

}  // namespace

std::unique_ptr<MemoFile> MemoFile::open(const std::string& path, MemoKind kind, bool readOnly,
                                         bool exclusive) {
  OsFile file;
  if (const int err = file.openLocked(path, readOnly, exclusive)) {
    Error e = tableError(gen::kOpen, sub::kOpen, "Open error", path, osCodeOf(err));
    e.canRetry = true;
    e.canDefault = true;
    throw TableError(e);
  }
  std::unique_ptr<MemoFile> memo(new MemoFile(std::move(file), kind));
  // Some writers leave a memo file of a table without memo texts at the bytes its kind
  // needs (24 of a dBase IV file, for instance); the rest of our 32 bytes reads as zero.
  std::array<std::uint8_t, 32> h{};
  const long long got = memo->file_.readAt(0, h.data(), h.size());
  const long long needed = kind == MemoKind::Dbt4 ? 22 : 8;
  if (got < needed) throw TableError(memoReadError(path));
  switch (kind) {
    case MemoKind::Dbt4: {
      const std::uint16_t size = readU16le(h.data() + 20);
      memo->blockSize_ = size == 0 ? 512 : size;
      break;
    }
    case MemoKind::Fpt: {
      const std::uint16_t size = static_cast<std::uint16_t>(h[6] << 8 | h[7]);
      memo->blockSize_ = size == 0 ? 512 : size;
      break;
    }
    case MemoKind::Smt: {
      const std::uint32_t size = readU32le(h.data() + 4);
      memo->blockSize_ = size == 0 || size > 65536 ? 512 : size;
      break;
    }
    default:
      memo->blockSize_ = 512;
      break;
  }
  return memo;
}

void MemoFile::create(const std::string& path, MemoKind kind, const std::string& tableBaseName) {
  std::string header(kHeaderSize, '\0');
  auto* h = reinterpret_cast<std::uint8_t*>(header.data());
  switch (kind) {
    case MemoKind::Dbt3:
      writeU32le(h, 1);
      h[16] = 0x03;
      break;
    case MemoKind::Dbt4: {
      writeU32le(h, 1);
      const std::string name = upperAZ(tableBaseName).substr(0, 8);
      std::copy(name.begin(), name.end(), header.begin() + 8);
      h[18] = 0x02;
      h[19] = 0x01;
      writeU16le(h + 20, 512);
      break;
    }
    case MemoKind::Fpt:
      writeU32be(h, static_cast<std::uint32_t>(kHeaderSize / 64));
      h[6] = 0;
      h[7] = 64;
      break;
    default:
      throw TableError(memoWriteError(path, EINVAL));
  }
  OsFile file;
  int err = file.create(path);
  if (err == 0) err = file.writeAt(0, header.data(), header.size());
  if (err != 0) throw TableError(memoWriteError(path, err));
}

std::string MemoFile::read(std::uint32_t block) const {
  if (block == 0) return {};
  const long long fileSize = file_.size();
  const std::uint64_t start = static_cast<std::uint64_t>(block) * blockSize_;
  if (fileSize < 0 || (start < kHeaderSize && kind_ != MemoKind::Dbt4)) {
    throw TableError(memoReadError(path()));
  }
  if (start >= static_cast<std::uint64_t>(fileSize)) throw TableError(memoReadError(path()));
  const std::uint64_t available = static_cast<std::uint64_t>(fileSize) - start;

  switch (kind_) {
    case MemoKind::Dbt3: {
      // Text up to the first 0x1A (two of them are written; some writers use one).
      std::string text;
      std::array<char, 4096> buf;
      std::uint64_t pos = start;
      while (pos < static_cast<std::uint64_t>(fileSize)) {
        const long long got = file_.readAt(pos, buf.data(), buf.size());
        if (got <= 0) throw TableError(memoReadError(path()));
        if (allZero(buf.data(), got)) throw TableError(memoReadError(path(), kNoEndMark));
        const char* end = std::find(buf.data(), buf.data() + got, '\x1a');
        text.append(buf.data(), static_cast<std::size_t>(end - buf.data()));
        if (text.size() > kMaxText) throw TableError(memoReadError(path(), kTooLong));
        if (end != buf.data() + got) break;
        pos += static_cast<std::uint64_t>(got);
      }
      return text;
    }
    case MemoKind::Dbt4:
    case MemoKind::Fpt: {
      std::array<std::uint8_t, 8> head{};
      if (available < head.size() ||
          file_.readAt(start, head.data(), head.size()) != static_cast<long long>(head.size())) {
        throw TableError(memoReadError(path()));
      }
      std::uint64_t length;
      if (kind_ == MemoKind::Fpt) {
        length = readU32be(head.data() + 4);
      } else {
        if (!(head[0] == 0xFF && head[1] == 0xFF && head[2] == 0x08 && head[3] == 0x00)) {
          throw TableError(memoReadError(path()));
        }
        const std::uint32_t total = readU32le(head.data() + 4);
        length = total >= 8 ? total - 8 : 0;
      }
      // A length running past the end of the file yields what is there.
      length = std::min<std::uint64_t>(length, available - head.size());
      if (length > kMaxText) throw TableError(memoReadError(path(), kTooLong));
      std::string text(static_cast<std::size_t>(length), '\0');
      if (file_.readAt(start + 8, text.data(), text.size()) !=
          static_cast<long long>(text.size())) {
        throw TableError(memoReadError(path()));
      }
      return text;
    }
    case MemoKind::Smt:
    case MemoKind::None:
      break;
  }
  throw TableError(memoReadError(path()));
}

std::optional<std::string> MemoFile::referenceProblem(std::uint32_t block) const {
  if (block == 0 || kind_ == MemoKind::Smt || kind_ == MemoKind::None) return std::nullopt;
  const std::string where = "Block " + std::to_string(block);
  const long long fileSize = file_.size();
  if (fileSize < 0) return where + ": Memodatei nicht lesbar";
  const auto size = static_cast<std::uint64_t>(fileSize);
  const std::uint64_t start = static_cast<std::uint64_t>(block) * blockSize_;
  if (start < kHeaderSize && kind_ != MemoKind::Dbt4) return where + " liegt im Dateikopf";
  if (start >= size) return where + " liegt hinter dem Ende der Memodatei";
  if (kind_ == MemoKind::Dbt3) {
    // The text ends at the first 0x1A; without one it was cut off.
    std::array<char, 4096> buf;
    for (std::uint64_t pos = start; pos < size;) {
      if (pos - start > kMaxText) return where + ": " + kTooLong;
      const long long got = file_.readAt(pos, buf.data(), buf.size());
      if (got <= 0) return where + ": Lesefehler";
      if (allZero(buf.data(), got)) return where + ": " + kNoEndMark;
      if (std::find(buf.data(), buf.data() + got, '\x1a') != buf.data() + got) {
        return std::nullopt;
      }
      pos += static_cast<std::uint64_t>(got);
    }
    return where + ": Text ohne Endezeichen, die Memodatei ist abgeschnitten";
  }
  std::array<std::uint8_t, 8> head{};
  if (size - start < head.size() ||
      file_.readAt(start, head.data(), head.size()) != static_cast<long long>(head.size())) {
    return where + ": Blockkopf hinter dem Ende der Memodatei";
  }
  std::uint64_t end = 0;
  if (kind_ == MemoKind::Fpt) {
    // Picture, text or object.
    if (readU32be(head.data()) > 2)
      return where +
             ": Blockkopf besch\xe4"
             "digt";
    end = start + head.size() + readU32be(head.data() + 4);
  } else {
    const std::uint32_t total = readU32le(head.data() + 4);
    if (!(head[0] == 0xFF && head[1] == 0xFF && head[2] == 0x08 && head[3] == 0x00) ||
        total < head.size()) {
      return where +
             ": Blockkopf besch\xe4"
             "digt";
    }
    end = start + total;
  }
  if (end - start > kMaxText + head.size()) return where + ": " + kTooLong;
  if (end > size) {
    return where + ": L\xe4nge " + std::to_string(end - start) +
           " reicht \xfc"
           "ber das Ende der Memodatei";
  }
  return std::nullopt;
}

std::optional<std::string> MemoFile::headerContradiction() const {
  if (kind_ != MemoKind::Dbt3 && kind_ != MemoKind::Dbt4 && kind_ != MemoKind::Fpt) {
    return std::nullopt;
  }
  std::array<std::uint8_t, 4> h{};
  const long long fileSize = file_.size();
  if (fileSize < 0 || file_.readAt(0, h.data(), h.size()) != static_cast<long long>(h.size())) {
    return std::string("Der Kopf der Memodatei ist nicht lesbar");
  }
  const std::uint64_t next = kind_ == MemoKind::Fpt ? readU32be(h.data()) : readU32le(h.data());
  const std::uint64_t bs = blockSize_;
  const std::uint64_t physicalEnd = (static_cast<std::uint64_t>(fileSize) + bs - 1) / bs;
  if (next > physicalEnd) {
    return "Die Memodatei nennt Block " + std::to_string(next) +
           " als n\xe4"
           "chsten freien, endet aber bei Block " +
           std::to_string(physicalEnd);
  }
  return std::nullopt;
}

std::uint32_t MemoFile::write(std::string_view text) {
  if (kind_ != MemoKind::Dbt3 && kind_ != MemoKind::Dbt4 && kind_ != MemoKind::Fpt) {
    throw TableError(memoWriteError(path(), EINVAL));
  }
  const long long fileSize = file_.size();
  if (fileSize < 0) throw TableError(memoReadError(path()));
  const std::uint64_t bs = blockSize_;
  const std::uint64_t firstUsable = (kHeaderSize + bs - 1) / bs;
  const std::uint64_t physicalEnd = (static_cast<std::uint64_t>(fileSize) + bs - 1) / bs;
  // New blocks go behind everything that is there. The header's next free block is not
  // trusted: below the end it may point into used blocks (or at a dBase IV free chain),
  // beyond it a damaged one would make the file grow by that much.
  const std::uint64_t block = std::max(physicalEnd, firstUsable);

  std::string data;
  if (kind_ == MemoKind::Dbt3) {
    data.assign(text);
    data += "\x1a\x1a";
  } else {
    std::array<std::uint8_t, 8> head{};
    if (kind_ == MemoKind::Fpt) {
      writeU32be(head.data(), 1);
      writeU32be(head.data() + 4, static_cast<std::uint32_t>(text.size()));
    } else {
      head = {0xFF, 0xFF, 0x08, 0x00};
      writeU32le(head.data() + 4, static_cast<std::uint32_t>(text.size() + 8));
    }
    data.assign(reinterpret_cast<const char*>(head.data()), head.size());
    data += text;
  }
  const std::uint64_t blocks = (data.size() + bs - 1) / bs;
  data.resize(static_cast<std::size_t>(blocks * bs), '\0');
  const std::uint64_t next = block + blocks;
  if (next > 0xFFFFFFFFull || text.size() > 0xFFFFFFF0ull) {
    throw TableError(memoWriteError(path(), EFBIG));
  }
  int err = file_.writeAt(block * bs, data.data(), data.size());
  if (err == 0) {
    std::array<std::uint8_t, 4> n{};
    if (kind_ == MemoKind::Fpt) {
      writeU32be(n.data(), static_cast<std::uint32_t>(next));
    } else {
      writeU32le(n.data(), static_cast<std::uint32_t>(next));
    }
    err = file_.writeAt(0, n.data(), n.size());
  }
  if (err != 0) {
    file_.truncate(static_cast<std::uint64_t>(fileSize));
    throw TableError(memoWriteError(path(), err));
  }
  return static_cast<std::uint32_t>(block);
}

int MemoFile::sync() {
  return file_.sync();
}

int MemoFile::close() {
  return file_.close();
}

}  // namespace zandor
