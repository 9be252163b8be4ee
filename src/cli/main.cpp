#include <iostream>

#include "app/startup.h"
#include "base/error.h"
#include "base/windows_api.h"
#include "cli/command_registry.h"

namespace zandor::cli {

std::map<std::string, Command>& commands() {
  static std::map<std::string, Command> registry;
  return registry;
}

CommandRegistration::CommandRegistration(Command command) {
  commands()[command.name] = std::move(command);
}

}  // namespace zandor::cli

namespace {

int usage(std::ostream& out) {
  out << "Aufruf: zandor-cli BEFEHL [ARGUMENTE]\n";
  for (const auto& [name, command] : zandor::cli::commands()) out << command.usage << '\n';
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace zandor;
  setProgramDateSettings();
  setErrorHandler(consoleErrorHandler);
#ifdef _WIN32
  // Arguments are UTF-8 here as on Linux, so umlauts in file names come through.
  std::vector<std::string> args = win32::argumentsUtf8();
  win32::useUtf8Console();
  (void)argv;
#else
  std::vector<std::string> args(argv + 1, argv + argc);
#endif
  if (argc < 2 || args.empty()) return usage(std::cerr);
  const std::string name = args[0];
  if (name == "help" || name == "--help" || name == "-h") {
    usage(std::cout);
    return 0;
  }
  const auto found = cli::commands().find(name);
  if (found == cli::commands().end()) {
    std::cerr << "Unbekannter Befehl: " << name << '\n';
    return usage(std::cerr);
  }
  try {
    return found->second.run(std::vector<std::string>(args.begin() + 1, args.end()));
  } catch (const ProgramQuit& quit) {
    return quit.exitCode();
  } catch (const ErrorException& error) {
    std::cerr << error.what() << '\n';
    return 1;
  }
}
