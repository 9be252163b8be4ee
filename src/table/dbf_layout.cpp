#include "table/dbf_layout.h"

#include <cstring>

#include "base/text.h"
#include "table/os_file.h"
#include "table/table_error.h"
#include "table/unsupported.h"

namespace zandor {

namespace {

constexpr std::size_t kFixedHeader = 32;
constexpr std::size_t kDescriptor = 32;

void assignNullFlagBits(std::vector<FieldInfo>& fields) {
  const FieldInfo* flags = nullptr;
  for (const FieldInfo& f : fields) {
    if (f.name == "_NULLFLAGS") flags = &f;
  }
  if (!flags) return;
  const std::size_t at = flags->offset;
  const int bits = flags->length * 8;
  int next = 0;
  for (FieldInfo& f : fields) {
    if (f.hidden) continue;
    if ((f.type == 'V' || f.type == 'Q') && next < bits) f.varLengthBit = next++;
    if ((f.flags & 0x02) != 0 && next < bits) f.nullBit = next++;
    f.nullFlagsOffset = at;
  }
}

bool acceptedVersion(std::uint8_t v, TableFamily& family, bool& encrypted) {
  encrypted = false;
  switch (v) {
    case 0x02:
    case 0x03:
      family = TableFamily::Plain;
      return true;
    case 0x83:
      family = TableFamily::Dbt3;
      return true;
    case 0x04:
    case 0x7B:
    case 0x8B:
      family = TableFamily::DBase4;
      return true;
    case 0xF5:
      family = TableFamily::Fpt;
      return true;
    case 0xE5:
      family = TableFamily::Smt;
      return true;
    case 0x30:
    case 0x31:
    case 0x32:
      family = TableFamily::Extended;
      return true;
    case 0x06:
      family = TableFamily::Plain;
      encrypted = true;
      return true;
    case 0x86:
      family = TableFamily::Dbt3;
      encrypted = true;
      return true;
    case 0xE6:
      family = TableFamily::Smt;
      encrypted = true;
      return true;
    case 0xF6:
      family = TableFamily::Fpt;
      encrypted = true;
      return true;
    default:
      return false;
  }
}

bool acceptedType(char type) {
  static constexpr char kTypes[] = "CNFDLMI24B8OYT@=^+VPWGQ0";
  return type != '\0' && std::strchr(kTypes, type) != nullptr;
}

// dBase level 7 (0x04, 0x8C): a language driver name fills bytes 32 to 63 where a dBase IV
// table has its first descriptor, whose type letter at 43 is never NUL.
bool dBase7Layout(const std::uint8_t* h, std::size_t size) {
  if ((h[0] & 0x07) != 4 || size < 64) return false;
  std::size_t i = 32;
  while (i < 64 && h[i] >= 0x20 && h[i] < 0x7F) ++i;
  if (i == 32) return false;
  for (; i < 64; ++i) {
    if (h[i] != 0) return false;
  }
  return true;
}

Error corruption(const std::string& fileName, std::string why) {
  Error e = tableError(gen::kCorruption, sub::kCorruption, "Corruption detected", fileName);
  e.reason =
      "besch\xe4"
      "digt: " +
      std::move(why);
  return e;
}

std::string hexByte(std::uint8_t b) {
  static const char kHex[] = "0123456789ABCDEF";
  return std::string("0x") + kHex[b >> 4] + kHex[b & 15];
}

}  // namespace

bool FieldInfo::isMemo() const {
  switch (type) {
    case 'M':
    case 'G':
    case 'P':
    case 'W':
      return true;
    case 'B':
      return length == 10;  // dBase binary memo; FoxPro's B is an 8-byte double
    default:
      return false;
  }
}

MemoKind DbfLayout::memoKind(const std::string& driver) const {
  if (!hasMemoFields) return MemoKind::None;
  switch (family) {
    case TableFamily::Dbt3:
      return MemoKind::Dbt3;
    case TableFamily::DBase4:
      return MemoKind::Dbt4;
    case TableFamily::Fpt:
    case TableFamily::Extended:
      return MemoKind::Fpt;
    case TableFamily::Smt:
      return MemoKind::Smt;
    case TableFamily::Plain:
      break;
  }
  // Memo fields in a table marked as having none: the driver's own memo kind.
  return driver == "DBFCDX" || driver == "DBFFPT" ? MemoKind::Fpt : MemoKind::Dbt3;
}

std::uint8_t DbfLayout::rewrittenVersion() const {
  if (encrypted) return version;  // records stay as they are; never claim them plain
  switch (family) {
    case TableFamily::Plain:
      return 0x03;
    case TableFamily::Dbt3:
      return hasMemoFields ? 0x83 : 0x03;
    case TableFamily::DBase4:
      return hasMemoFields ? 0x8B : 0x03;
    case TableFamily::Fpt:
      return hasMemoFields ? 0xF5 : 0x03;
    case TableFamily::Smt:
      return hasMemoFields ? 0xE5 : 0x03;
    case TableFamily::Extended: {
      // 0x32 marks varchar/varbinary/blob fields, which a 0x30 reader would misread.
      if (version == 0x32) return 0x32;
      for (const FieldInfo& f : fields) {
        if (f.type == '+' || (f.flags & 0x0C) == 0x0C) return 0x31;
      }
      return 0x30;
    }
  }
  return version;
}

DbfLayout readDbfLayout(const OsFile& file, const std::string& fileName) {
  DbfLayout layout;
  const Error readError = tableError(gen::kRead, sub::kRead, "Read error", fileName);
  if (file.readAt(0, layout.header.data(), kFixedHeader) != static_cast<long long>(kFixedHeader)) {
    throw TableError(readError);
  }
  const std::uint8_t* h = layout.header.data();
  layout.version = h[0];
  std::uint8_t probe[64] = {};
  const long long probed = file.readAt(0, probe, sizeof probe);
  if (probed > 0 && dBase7Layout(probe, static_cast<std::size_t>(probed))) {
    throw TableError(unsupportedError("", fileName, "dBase-7-Tabelle"));
  }
  if (!acceptedVersion(layout.version, layout.family, layout.encrypted)) {
    throw TableError(corruption(fileName, "unbekannte Versionskennung " + hexByte(layout.version)));
  }
  layout.storedCount = readU32le(h + 4);
  layout.headerLength = readU16le(h + 8);
  const bool extended = layout.family == TableFamily::Extended;

  if (layout.headerLength < kFixedHeader + kDescriptor) {
    throw TableError(corruption(fileName, "Kopfl\xe4nge " + std::to_string(layout.headerLength) +
                                              " zu klein f\xfcr ein Feld"));
  }
  const std::size_t slots = (layout.headerLength - kFixedHeader) / kDescriptor;
  std::string descriptors(slots * kDescriptor, '\0');
  // Read what the header claims; descriptors end early at the 0x0D mark.
  const long long got = file.readAt(kFixedHeader, descriptors.data(), descriptors.size());
  if (got < 0) throw TableError(readError);
  std::size_t offset = 1;
  bool terminated = false;
  for (std::size_t i = 0; i < slots; ++i) {
    const std::size_t at = i * kDescriptor;
    if (static_cast<long long>(at) < got && (descriptors[at] == 0x0D || descriptors[at] == 0x0A)) {
      terminated = true;
      break;
    }
    if (static_cast<long long>(at + kDescriptor) > got) throw TableError(readError);
    const auto* d = reinterpret_cast<const std::uint8_t*>(descriptors.data() + at);
    FieldInfo f;
    const char* name = descriptors.data() + at;
    f.name = upperAZ(trimRight(std::string(name, strnlen(name, 11))));
    f.type = static_cast<char>(d[11]);
    if (f.name.empty()) {
      throw TableError(
          corruption(fileName, "Feldbeschreibung " + std::to_string(i + 1) + " ohne Namen"));
    }
    if (!acceptedType(f.type)) {
      throw TableError(corruption(fileName, "Feld " + f.name + " mit unbekanntem Typ " +
                                                hexByte(static_cast<std::uint8_t>(f.type))));
    }
    if (f.type == '0') {
      if (f.name != "_NULLFLAGS" && f.name != "_DBASELOCK") {
        throw TableError(corruption(fileName, "Feld " + f.name + " mit unbekanntem Typ 0"));
      }
      f.hidden = true;
    }
    if (f.type == 'C') {
      f.length = d[16] | d[17] << 8;
    } else {
      f.length = d[16];
      f.decimals = d[17];
    }
    if (f.type == 'L') f.length = 1;
    if (extended) {
      f.flags = d[18];
      f.autoIncrement = (f.flags & 0x0C) == 0x0C && f.type == 'I';
      f.autoNext = readU32le(d + 19);
      f.autoStep = d[23];
    }
    if (f.length == 0) throw TableError(corruption(fileName, "Feld " + f.name + " der L\xe4nge 0"));
    f.offset = offset;
    offset += static_cast<std::size_t>(f.length);
    if (f.isMemo()) layout.hasMemoFields = true;
    layout.fields.push_back(std::move(f));
  }
  if (layout.fields.empty()) throw TableError(corruption(fileName, "keine Felder"));
  // Some writers put a decimal count on C fields; it is a length extension only when the
  // stated record length says so.
  const std::size_t stated = readU16le(h + 10);
  if (stated != offset) {
    std::size_t plain = 1;
    for (std::size_t i = 0; i < layout.fields.size(); ++i) {
      const FieldInfo& f = layout.fields[i];
      plain += f.type == 'C' ? static_cast<std::size_t>(f.length & 0xFF) : f.length;
    }
    if (plain == stated) {
      offset = 1;
      for (FieldInfo& f : layout.fields) {
        if (f.type == 'C' && (f.length & 0xFF) != 0) f.length &= 0xFF;
        f.offset = offset;
        offset += static_cast<std::size_t>(f.length);
      }
    }
  }
  // The records start behind the descriptors (and the terminator, when there is one).
  const std::size_t descriptorEnd = kFixedHeader + layout.fields.size() * kDescriptor;
  if (layout.headerLength < descriptorEnd || offset > 0xFFFF)
    throw TableError(
        corruption(fileName, "Kopfl\xe4nge oder Satzl\xe4nge passt nicht zu den Feldern"));
  layout.recordLength = offset;
  if (extended) assignNullFlagBits(layout.fields);
  if (extended && terminated) {
    char first = 0;
    const std::size_t backlink = descriptorEnd + 1;
    layout.inDatabaseContainer =
        backlink < layout.headerLength && file.readAt(backlink, &first, 1) == 1 && first != '\0';
  }
  return layout;
}

std::array<std::uint8_t, 32> rewrittenHeader(const DbfLayout& layout, std::uint32_t count,
                                             bool structuralIndex, int year, int month, int day) {
  std::array<std::uint8_t, 32> h = layout.header;
  h[0] = layout.rewrittenVersion();
  h[1] = static_cast<std::uint8_t>(year - 1900);
  h[2] = static_cast<std::uint8_t>(month);
  h[3] = static_cast<std::uint8_t>(day);
  writeU32le(h.data() + 4, count);
  writeU16le(h.data() + 8, layout.headerLength);
  writeU16le(h.data() + 10, static_cast<std::uint16_t>(layout.recordLength));
  if (structuralIndex) {
    h[28] |= 0x01;
  }
  return h;
}

}  // namespace zandor
