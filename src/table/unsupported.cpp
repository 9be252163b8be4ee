#include "table/unsupported.h"

#include "base/paths.h"
#include "base/text.h"
#include "table/code_page.h"
#include "table/dbf_layout.h"
#include "table/index_order.h"

namespace zandor {

namespace {

const std::string kPrefix = "Nicht unterst\xfctzt: ";

}  // namespace

Error unsupportedError(const std::string& driver, const std::string& fileName,
                       const std::string& feature) {
  Error e;
  e.genCode = kUnsupportedGenCode;
  e.subCode = kUnsupportedSubCode;
  e.subsystem = driver;
  e.description = kPrefix + feature;
  e.fileName = fileName;
  return e;
}

bool isUnsupportedError(const Error& error) {
  return error.genCode == kUnsupportedGenCode && error.subCode == kUnsupportedSubCode;
}

std::string unsupportedFeatureOf(const Error& error) {
  if (error.description.starts_with(kPrefix)) return error.description.substr(kPrefix.size());
  return error.description;
}

std::optional<std::string> unwritableTableFeature(const DbfLayout& layout) {
  // Text written in a page we do not know could read back as other characters.
  if (!TableCodePage::ofMark(layout.header[29])) {
    static const char kHex[] = "0123456789ABCDEF";
    const int mark = layout.header[29];
    return std::string("Codeseite mit der Kennung 0x") + kHex[mark >> 4] + kHex[mark & 15];
  }
  for (const FieldInfo& f : layout.fields) {
    if (f.type == 'V' || f.type == 'Q') {
      return "Feld " + f.name + " mit variabler L\xe4nge (Varchar/Varbinary)";
    }
  }
  for (const FieldInfo& f : layout.fields) {
    if ((f.flags & 0x0C) == 0x0C && !(f.autoIncrement && f.length == 4)) {
      return "Feld " + f.name + " mit automatischer Z\xe4hlung (AutoIncrement)";
    }
  }
  return std::nullopt;
}

std::optional<std::string> unwritableOrderFeature(const OrderInfo& info) {
  const std::string tag = "Tag " + (info.name.empty() ? std::string("(ohne Namen)") : info.name);
  if (!info.collation.empty()) return tag + " mit Sortierfolge " + info.collation;
  return std::nullopt;
}

std::string nullRecordFeature(const OrderInfo& info, std::uint32_t recNo) {
  const std::string tag = "Tag " + (info.name.empty() ? std::string("(ohne Namen)") : info.name);
  return tag + " mit Schl\xfcsseln NULL-f\xe4higer Felder, Datensatz " + std::to_string(recNo) +
         " mit NULL-Werten";
}

std::optional<std::string> unsupportedIndexFormat(const std::string& path) {
  const std::string ext = upperAZ(extensionPart(path));
  if (ext == ".MDX") return std::string("dBase-Mehrfachindex (MDX)");
  if (ext == ".NDX") return std::string("dBase-Index (NDX)");
  if (ext == ".IDX") return std::string("FoxPro-Einzelindex (IDX)");
  return std::nullopt;
}

}  // namespace zandor
