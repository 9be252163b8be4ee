#include "table/index_error.h"

#include "table/table_error.h"

namespace zandor {

Error indexDamageError(const std::string& driver, const std::string& fileName,
                       const std::string& detail) {
  Error e;
  e.genCode = gen::kCorruption;
  e.subCode = kIndexDamagedSubCode;
  e.subsystem = driver;
  e.description = "Corruption detected";
  e.fileName = fileName;
  e.operation = detail;
  e.reason =
      "besch\xe4"
      "digt: " +
      detail;
  return e;
}

Error duplicateKeyError(const std::string& driver, const std::string& fileName,
                        const std::string& order, const std::string& key) {
  Error e;
  e.genCode = kDuplicateKeyGenCode;
  e.subCode = kDuplicateKeySubCode;
  e.subsystem = driver;
  std::string shown;
  for (char c : key) shown.push_back(static_cast<unsigned char>(c) < 0x20 ? '?' : c);
  while (!shown.empty() && shown.back() == ' ') shown.pop_back();
  e.description = "Schl\xfcssel schon vorhanden (Tag " + order + "): " + shown;
  e.fileName = fileName;
  return e;
}

bool isDuplicateKeyError(const Error& error) {
  return error.genCode == kDuplicateKeyGenCode && error.subCode == kDuplicateKeySubCode;
}

Error indexOpenError(const std::string& driver, const std::string& fileName, int err) {
  Error e;
  e.genCode = gen::kOpen;
  e.subCode = kIndexOpenSubCode;
  e.osCode = osCodeOf(err);
  e.subsystem = driver;
  e.description = "Open error";
  e.fileName = fileName;
  e.canRetry = true;
  e.canDefault = true;
  return e;
}

Error indexWriteError(const std::string& driver, const std::string& fileName, int err) {
  Error e;
  e.genCode = gen::kWrite;
  e.subCode = 1011;
  e.osCode = osCodeOf(err);
  e.subsystem = driver;
  e.description = "Write error";
  e.fileName = fileName;
  e.canRetry = true;
  return e;
}

}  // namespace zandor
