#include "table/index_error.h"

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
  return e;
}

Error indexOpenError(const std::string& driver, const std::string& fileName, int osCode) {
  Error e;
  e.genCode = gen::kOpen;
  e.subCode = kIndexOpenSubCode;
  e.osCode = osCode;
  e.subsystem = driver;
  e.description = "Open error";
  e.fileName = fileName;
  e.canRetry = true;
  e.canDefault = true;
  return e;
}

Error indexWriteError(const std::string& driver, const std::string& fileName, int osCode) {
  Error e;
  e.genCode = gen::kWrite;
  e.subCode = 1011;
  e.osCode = osCode;
  e.subsystem = driver;
  e.description = "Write error";
  e.fileName = fileName;
  e.canRetry = true;
  return e;
}

}  // namespace zandor
