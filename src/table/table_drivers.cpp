#include "table/table_drivers.h"

#include "base/text.h"

namespace zandor {

const std::vector<std::string>& tableDrivers() {
  static const std::vector<std::string> drivers = {"DBFNTX", "DBFCDX", "DBFFPT", "DBF"};
  return drivers;
}

const std::string& defaultTableDriver() {
  return tableDrivers().front();
}

std::optional<std::string> findTableDriver(std::string_view requested) {
  const std::string name = upperAZ(trimBlanks(requested)).substr(0, 32);
  if (name.empty()) return defaultTableDriver();
  for (const std::string& driver : tableDrivers()) {
    if (driver == name) return driver;
  }
  return std::nullopt;
}

}  // namespace zandor
