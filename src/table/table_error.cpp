#include "table/table_error.h"

#include <cerrno>

#include "base/error.h"

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
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
      return 112;
    case EFBIG:
      return 223;
    case EIO:
      return 1117;
    default:
      return errnoValue;
  }
}

std::string systemErrorText(const std::system_error& e) {
  std::string what = e.what();
  const std::string english = e.code().message();
  // What the error was about stands before the system's own (English) words.
  if (what.size() >= english.size() &&
      what.compare(what.size() - english.size(), english.size(), english) == 0) {
    what.resize(what.size() - english.size());
  } else {
    what.clear();
  }
  std::string words = osErrorText(osCodeOf(e.code().value()));
  if (words.empty()) words = "Systemfehler " + std::to_string(e.code().value());
  return what + words;
}

}  // namespace zandor
