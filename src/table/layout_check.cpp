#include "table/layout_check.h"

#include <string>

#include "table/dbf_layout.h"
#include "table/os_file.h"

namespace zandor {

namespace {

constexpr std::size_t kFixedHeader = 32;
constexpr std::size_t kDescriptor = 32;
constexpr std::size_t kBacklink = 263;  // Visual FoxPro: the database container's path

std::string n(std::uint64_t v) {
  return std::to_string(v);
}

// The lengths a field of a fixed-size type can have; nothing where any length will do.
std::optional<std::string> lengthProblem(const FieldInfo& f) {
  const int len = f.length;
  auto expected = [&](const char* lengths) {
    return "Feld " + f.name + " vom Typ " + std::string(1, f.type) + " hat die L\xe4nge " + n(len) +
           " (m\xf6glich: " + lengths + ")";
  };
  switch (f.type) {
    case 'D':
      if (len != 8 && len != 3 && len != 4) return expected("8");
      break;
    case 'M':
    case 'G':
    case 'P':
      if (len != 10 && len != 4) return expected("10 oder 4");
      break;
    case 'B':
      if (len != 10 && len != 8) return expected("10 oder 8");
      break;
    case 'I':
    case '+':
      if (len != 4) return expected("4");
      break;
    case 'Y':
    case 'T':
    case '@':
      if (len != 8) return expected("8");
      break;
    case 'N':
    case 'F':
      if (f.decimals > 0 && f.decimals >= len) {
        return "Feld " + f.name + " hat " + n(static_cast<std::uint64_t>(f.decimals)) +
               " Nachkommastellen bei der L\xe4nge " + n(len);
      }
      break;
    default:
      break;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> structureContradiction(const OsFile& file, const DbfLayout& layout) {
  const std::size_t fields = layout.fields.size();
  const std::size_t descriptorEnd = kFixedHeader + fields * kDescriptor;
  const bool extended = layout.family == TableFamily::Extended;
  const std::size_t least = descriptorEnd + 1 + (extended ? kBacklink : 0);
  if (layout.headerLength < least) {
    return "Die Kopfl\xe4nge " + n(layout.headerLength) + " ist zu klein f\xfcr " + n(fields) +
           " Felder (mindestens " + n(least) + " Byte)";
  }
  std::string descriptors(descriptorEnd + 1 - kFixedHeader, '\0');
  if (file.readAt(kFixedHeader, descriptors.data(), descriptors.size()) !=
      static_cast<long long>(descriptors.size())) {
    return std::string("Die Feldbeschreibungen sind nicht lesbar");
  }
  if (const char end = descriptors.back(); end != 0x0D && end != 0x0A) {
    return "Nach " + n(fields) + " Feldbeschreibungen fehlt das Endezeichen 0x0D";
  }
  const std::size_t stated = readU16le(layout.header.data() + 10);
  if (stated != layout.recordLength) {
    return "Die Satzl\xe4nge im Dateikopf ist " + n(stated) + ", die Felder ergeben " +
           n(layout.recordLength);
  }
  for (std::size_t i = 0; i < fields; ++i) {
    const FieldInfo& f = layout.fields[i];
    if (auto problem = lengthProblem(f)) return problem;
    // Visual FoxPro keeps each field's place in the record in its descriptor (other writers
    // of such tables may leave it 0); dBase writers leave whatever was in memory there.
    if (!extended) continue;
    const auto* d = reinterpret_cast<const std::uint8_t*>(descriptors.data() + i * kDescriptor);
    if (const std::uint32_t at = readU32le(d + 12); at != 0 && at != f.offset) {
      return "Feld " + f.name + " liegt laut Feldbeschreibung bei Byte " + n(at) +
             " des Satzes, nach den L\xe4ngen der Felder davor bei Byte " + n(f.offset);
    }
  }
  return std::nullopt;
}

std::optional<std::string> layoutContradiction(const OsFile& file, const DbfLayout& layout) {
  if (auto contradiction = structureContradiction(file, layout)) return contradiction;
  const long long size = file.size();
  if (size < 0)
    return std::string(
        "Die Dateigr\xf6\xdf"
        "e ist nicht lesbar");
  const std::uint64_t body =
      static_cast<std::uint64_t>(size) > layout.headerLength ? size - layout.headerLength : 0;
  const std::uint64_t held = body / layout.recordLength;
  if (layout.storedCount > held) {
    return "Der Dateikopf z\xe4hlt " + n(layout.storedCount) +
           " Datens\xe4tze, die Datei h\xe4lt nur " + n(held);
  }
  return std::nullopt;
}

}  // namespace zandor
