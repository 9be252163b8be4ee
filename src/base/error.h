#pragma once

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/value.h"

namespace zandor {

// General error codes of the table, index and spreadsheet layers.
namespace gen {
constexpr int kArgument = 1;
constexpr int kZeroDivision = 5;
constexpr int kBadAlias = 17;
constexpr int kDuplicateAlias = 18;
constexpr int kOpen = 21;
constexpr int kRead = 23;
constexpr int kWrite = 24;
constexpr int kCorruption = 32;
constexpr int kDataType = 33;
constexpr int kDataWidth = 34;
constexpr int kNoTable = 35;
constexpr int kNoOrder = 36;
constexpr int kUnlocked = 38;
constexpr int kReadOnly = 39;
constexpr int kAppendLock = 40;
constexpr int kAutomation = 1001;
}  // namespace gen

// Everything an error carries. Empty texts stand for "none".
struct Error {
  int genCode = 0;
  int osCode = 0;
  std::optional<int> subCode;
  int severity = 2;  // above 1 is an error, otherwise a warning
  std::string subsystem;
  std::string description;
  std::string fileName;
  std::string operation;
  std::optional<std::vector<Value>> args;
  // What exactly went wrong, in German words for the user (1252 text); empty when the
  // description says all. Not part of text(), whose form is fixed.
  std::string reason;
  bool canRetry = false;
  bool canDefault = false;

  // "Error DBFCDX/1201  Workarea not indexed", "(DOS Error 2) DBFNTX/1001  Open error: x.dbf"
  std::string text() const;
};

// What an error turns into inside a guard.
class ErrorException : public std::runtime_error {
 public:
  explicit ErrorException(Error error);
  const Error& error() const { return error_; }

 private:
  Error error_;
};

// Thrown when the user (or a non-interactive handler) chose to end the program. It is no
// ErrorException, so guards let it pass; unwinding releases what is open on the way out.
class ProgramQuit : public std::exception {
 public:
  explicit ProgramQuit(int exitCode) : exitCode_(exitCode) {}
  int exitCode() const { return exitCode_; }
  const char* what() const noexcept override { return "program quit"; }

 private:
  int exitCode_;
};

// The handler's answer for an unguarded error: run the failed operation again, or let it
// go on with its default result. A handler that quits throws ProgramQuit.
enum class ErrorAnswer { Retry, Default };
using ErrorHandler = std::function<ErrorAnswer(const Error&)>;

// Installs the handler for errors outside any guard; returns the one it replaces. The
// calling thread becomes the handler's thread (the GUI thread in the program): the handler
// may open a dialog, so it never runs on any other.
ErrorHandler setErrorHandler(ErrorHandler handler);

// The one way to raise an error. Inside a guard it throws ErrorException; otherwise the
// installed handler answers. An error raised while the handler runs ends the program.
// On a thread other than the handler's, an error always throws ErrorException, guard or
// not: the thread hands it back to the handler's thread, where it is raised again.
ErrorAnswer raiseError(const Error& error);

// A failed write, a damaged file or a failed read of a table or index file: the files on
// disk are not what the program takes them for, whatever the operation was about.
bool isFileFault(const Error& error);

// An operating-system code (as the error report shows it, see osCodeOf) in German words
// (1252 text), or "" for a code without words of its own.
std::string osErrorText(int osCode);
// The error as a user reads it: text(), followed by what went wrong in German words where
// that is known (the reason, else the operating-system code in words).
std::string errorForUser(const Error& error);

// What a guard turns into ErrorException: every error, or all but file faults, which then
// reach the handler as without a guard (a search that cannot write the record before it
// has not merely failed to find).
enum class Guarding { Everything, AllButFileFaults };

// While a guard lives, raised errors become ErrorException for the guarding operation.
class ErrorGuard {
 public:
  explicit ErrorGuard(Guarding scope = Guarding::Everything);
  ~ErrorGuard();
  ErrorGuard(const ErrorGuard&) = delete;
  ErrorGuard& operator=(const ErrorGuard&) = delete;

 private:
  bool savedPassFaults_;
};

// Inside a guarded operation, a step whose errors must reach the handler after all.
class Unguarded {
 public:
  Unguarded();
  ~Unguarded();
  Unguarded(const Unguarded&) = delete;
  Unguarded& operator=(const Unguarded&) = delete;

 private:
  int savedDepth_;
};

bool isGuarded();

// Errors that the general handler settles without a word (division by zero; sharing or
// access errors and refused append locks that allow a default). Returns the answer, or
// nothing when the error needs the user.
std::optional<ErrorAnswer> settleSilently(const Error& error);

// A handler without a dialog: settles what it can silently, otherwise writes the error
// description to standard error and quits with exit code 1.
ErrorAnswer consoleErrorHandler(const Error& error);

}  // namespace zandor
