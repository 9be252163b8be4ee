#pragma once

#include <QString>
#include <string>

#include "base/encoding.h"

namespace zandor {

// Windows-1252 bytes to QString and back, through UTF-8 (not Latin-1: 0x80-0x9F differ).
// A CR LF line break becomes a plain line feed on screen.
inline QString toQ(const std::string& cp1252) {
  QString text = QString::fromStdString(cp1252ToUtf8(cp1252));
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return text;
}

inline std::string fromQ(const QString& text) {
  return utf8ToCp1252(text.toStdString());
}

}  // namespace zandor
