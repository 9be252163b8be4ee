#pragma once

#include <string>

namespace zandor::sheet {

// The faults our own XML parser finds; all but TagTooLong are faults expat finds as well.
enum class XmlFault {
  Syntax,
  NoElement,
  InvalidToken,
  UnclosedToken,
  TagMismatch,
  JunkAfterRoot,
  BadCharRef,
  UndefinedEntity,
  TagTooLong,
};

// What is wrong, in the words the user reads after "Fehlerhaftes XML in ..., Zeile n: "
// (UTF-8). The libraries' own texts are English; a fault both parsers find reads alike.
const char* xmlFaultText(XmlFault fault);
// The same for one of expat's error codes.
std::string expatFaultText(int code);

}  // namespace zandor::sheet
