#include "base/error.h"

#include <atomic>
#include <iostream>
#include <thread>

#include "base/encoding.h"

namespace zandor {

namespace {

ErrorHandler gHandler = consoleErrorHandler;
// Static initialisation runs on the main thread, which owns the handler until another
// thread installs one.
std::atomic<std::thread::id> gHandlerThread = std::this_thread::get_id();
// Per thread: a guard on one thread says nothing about reads made on another.
thread_local int gGuardDepth = 0;
thread_local bool gInHandler = false;
// Whether the innermost guard lets file faults through to the handler.
thread_local bool gPassFaults = false;

// Clears the re-entry mark however the handler leaves.
struct HandlerRunning {
  HandlerRunning() { gInHandler = true; }
  ~HandlerRunning() { gInHandler = false; }
};

}  // namespace

std::string Error::text() const {
  std::string out;
  if (osCode == 0) {
    out = severity > 1 ? "Error " : "Warning ";
  } else {
    out = "(DOS Error " + std::to_string(osCode) + ") ";
  }
  out += subsystem.empty() ? "???" : subsystem;
  out += subCode ? "/" + std::to_string(*subCode) : "/???";
  if (!description.empty()) out += "  " + description;
  if (!fileName.empty()) {
    out += ": " + fileName;
  } else if (!operation.empty()) {
    out += ": " + operation;
  }
  return out;
}

std::string osErrorText(int osCode) {
  switch (osCode) {
    case 2:
      return "Datei nicht gefunden";
    case 5:
      return "Zugriff verweigert";
    case 32:
      return "Die Datei wird von einem anderen Programm benutzt";
    case 112:
      return "Kein Speicherplatz mehr auf dem Datentr\xe4ger";
    case 223:
      return "Die Datei w\xfcrde gr\xf6\xdf"
             "er, als das System erlaubt";
    case 1117:
      return "Ein-/Ausgabefehler des Datentr\xe4gers";
    default:
      return {};
  }
}

std::string errorForUser(const Error& error) {
  const std::string words = error.reason.empty() ? osErrorText(error.osCode) : error.reason;
  return words.empty() ? error.text() : error.text() + " (" + words + ")";
}

ErrorException::ErrorException(Error error)
    : std::runtime_error(cp1252ToUtf8(error.text())), error_(std::move(error)) {}

ErrorHandler setErrorHandler(ErrorHandler handler) {
  gHandlerThread = std::this_thread::get_id();
  ErrorHandler previous = std::move(gHandler);
  gHandler = handler ? std::move(handler) : ErrorHandler(consoleErrorHandler);
  return previous;
}

ErrorAnswer raiseError(const Error& error) {
  // Another thread than the handler's hands its errors back; a guard turns them into
  // exceptions, except file faults while they are let through.
  if (std::this_thread::get_id() != gHandlerThread.load() ||
      (gGuardDepth > 0 && !(gPassFaults && isFileFault(error)))) {
    throw ErrorException(error);
  }
  if (gInHandler) throw ProgramQuit(1);
  HandlerRunning running;
  return gHandler(error);
}

bool isFileFault(const Error& error) {
  return error.genCode == gen::kWrite || error.genCode == gen::kCorruption ||
         error.genCode == gen::kRead;
}

ErrorGuard::ErrorGuard(Guarding scope) : savedPassFaults_(gPassFaults) {
  ++gGuardDepth;
  gPassFaults = scope == Guarding::AllButFileFaults;
}
ErrorGuard::~ErrorGuard() {
  --gGuardDepth;
  gPassFaults = savedPassFaults_;
}

Unguarded::Unguarded() : savedDepth_(gGuardDepth) {
  gGuardDepth = 0;
}
Unguarded::~Unguarded() {
  gGuardDepth = savedDepth_;
}

bool isGuarded() {
  return gGuardDepth > 0;
}

std::optional<ErrorAnswer> settleSilently(const Error& error) {
  if (error.genCode == gen::kZeroDivision) return ErrorAnswer::Default;
  const bool sharing = error.genCode == gen::kOpen && (error.osCode == 32 || error.osCode == 5);
  if ((sharing || error.genCode == gen::kAppendLock) && error.canDefault)
    return ErrorAnswer::Default;
  return std::nullopt;
}

ErrorAnswer consoleErrorHandler(const Error& error) {
  if (auto settled = settleSilently(error)) return *settled;
  std::cerr << cp1252ToUtf8(errorForUser(error)) << std::endl;
  throw ProgramQuit(1);
}

}  // namespace zandor
