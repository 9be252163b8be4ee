#include "table/table_error.h"

#include <cerrno>

namespace zandor {

Error tableError(int genCode, int subCode, std::string description, std::string fileName,
                 int osCode) {
  Error e;
  e.genCode = genCode;
  e.subCode = subCode;
  e.osCode = osCode;
  e.description = std::move(description);
  e.fileName = std::move(fileName);
  return e;
}

int osCodeOf(int errnoValue) {
  switch (errnoValue) {
    case ENOENT:
    case ENOTDIR:
      return 2;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
      return 5;
    case EWOULDBLOCK:
      return 32;
    default:
      return errnoValue;
  }
}

}  // namespace zandor
