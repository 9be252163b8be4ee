#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace zandor::cli {

// One top-level command of zandor-cli ("dbf", "sheet", "import", ...). It gets the
// arguments after its name and returns the exit status.
struct Command {
  std::string name;
  std::string usage;  // one or more lines shown by "zandor-cli help"
  std::function<int(const std::vector<std::string>& args)> run;
};

std::map<std::string, Command>& commands();

// Each command file registers itself with a static CommandRegistration.
struct CommandRegistration {
  explicit CommandRegistration(Command command);
};

}  // namespace zandor::cli
