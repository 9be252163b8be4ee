#include "sheet/part_reader.h"

#ifdef ZANDOR_HAVE_ISAL
#include <isa-l/igzip_lib.h>
#else
struct inflate_state {};  // never made: libzip inflates every part
#endif
#include <zip.h>

#include "sheet/sheet_error.h"

namespace zandor::sheet {

namespace {

constexpr std::size_t kInputChunk = 1 << 16;

}  // namespace

PartReader::PartReader(zip* archive, const std::string& entry, std::uint64_t maxBytes)
    : entry_(entry), maxBytes_(maxBytes) {
  zip_stat_t st;
  zip_stat_init(&st);
  const bool stated = zip_stat(archive, entry.c_str(), 0, &st) == 0;
  if (stated && (st.valid & ZIP_STAT_SIZE)) statedSize_ = st.size;
#ifdef ZANDOR_HAVE_ISAL
  constexpr zip_uint64_t kNeeded =
      ZIP_STAT_SIZE | ZIP_STAT_CRC | ZIP_STAT_COMP_METHOD | ZIP_STAT_ENCRYPTION_METHOD;
  const bool own = stated && (st.valid & kNeeded) == kNeeded && st.comp_method == ZIP_CM_DEFLATE &&
                   st.encryption_method == ZIP_EM_NONE;
#else
  const bool own = false;
#endif
  file_ = zip_fopen(archive, entry.c_str(), own ? ZIP_FL_COMPRESSED : 0);
  if (!file_) {
    const int code = zip_error_code_zip(zip_get_error(archive));
    if (code == ZIP_ER_ENCRNOTSUPP || code == ZIP_ER_NOPASSWD || code == ZIP_ER_WRONGPASSWD)
      throw SheetReadError("Die Datei ist kennwortgesch\xc3\xbctzt.");
    throw SheetReadError("Teil \"" + entry +
                         "\" fehlt oder ist besch\xc3\xa4"
                         "digt.");
  }
  if (!own) return;
#ifdef ZANDOR_HAVE_ISAL
  state_ = std::make_unique<inflate_state>();
  isal_inflate_init(state_.get());
  state_->crc_flag = ISAL_GZIP_NO_HDR;  // raw deflate, with the CRC-32 zip uses too
  expectedCrc_ = st.crc;
  input_.resize(kInputChunk);
#endif
}

PartReader::~PartReader() {
  if (file_) zip_fclose(file_);
}

void PartReader::damaged() const {
  throw SheetReadError("Teil \"" + entry_ +
                       "\" ist besch\xc3\xa4"
                       "digt.");
}

std::size_t PartReader::read(char* buffer, std::size_t size) {
  std::size_t got;
  if (state_) {
    got = inflateInto(buffer, size);
  } else {
    const zip_int64_t read = zip_fread(file_, buffer, size);
    if (read < 0) damaged();
    got = static_cast<std::size_t>(read);
  }
  total_ += got;
  if (total_ > maxBytes_)
    throw SheetReadError("Teil \"" + entry_ +
                         "\" ist entpackt gr\xc3\xb6\xc3\x9f"
                         "er als " +
                         std::to_string(maxBytes_) + " Bytes.");
  return got;
}

std::size_t PartReader::inflateInto(char* buffer, std::size_t size) {
#ifndef ZANDOR_HAVE_ISAL
  (void)buffer;
  (void)size;
  return 0;
#else
  if (finished_ || size == 0) return 0;
  inflate_state& s = *state_;
  s.next_out = reinterpret_cast<std::uint8_t*>(buffer);
  s.avail_out = static_cast<std::uint32_t>(std::min<std::size_t>(size, UINT32_MAX));
  while (s.avail_out > 0) {
    if (s.avail_in == 0 && !inputEnded_) {
      const zip_int64_t got = zip_fread(file_, input_.data(), input_.size());
      if (got < 0) damaged();
      if (got == 0) inputEnded_ = true;
      s.next_in = input_.data();
      s.avail_in = static_cast<std::uint32_t>(got);
    }
    const std::uint32_t inBefore = s.avail_in, outBefore = s.avail_out;
    if (isal_inflate(&s) < 0) damaged();
    if (s.block_state == ISAL_BLOCK_FINISH) {
      finished_ = true;
      break;
    }
    // Neither consumed nor produced: the input ended inside the stream.
    if (s.avail_in == inBefore && s.avail_out == outBefore) damaged();
  }
  const std::size_t got = size - s.avail_out;
  produced_ += got;
  if (finished_ && (s.crc != expectedCrc_ || produced_ != statedSize_)) damaged();
  return got;
#endif
}

}  // namespace zandor::sheet
