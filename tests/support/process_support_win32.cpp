// Child processes of the tests on Windows: no shell, so commands are split here.
#include "support/process_times.h"
#include "support/test_support.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace zandor::test {

namespace {

struct Command {
  std::vector<std::string> words;
  std::vector<std::pair<std::string, std::string>> environment;
  std::string directory;
  bool errorsToOutput = false;
  bool outputDiscarded = false;
};

std::vector<std::string> splitWords(const std::string& text) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\'' || c == '"') {
      const std::size_t close = text.find(c, i + 1);
      word += text.substr(i + 1, close - i - 1);
      i = close == std::string::npos ? text.size() : close;
      inWord = true;
    } else if (c == ' ' || c == '\t') {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

Command parse(const std::string& text) {
  Command command;
  std::vector<std::string> words = splitWords(text);
  if (words.size() >= 3 && words[0] == "cd" && words[2] == "&&") {
    command.directory = words[1];
    words.erase(words.begin(), words.begin() + 3);
  }
  for (const std::string& word : words) {
    const std::size_t eq = word.find('=');
    if (command.words.empty() && eq != std::string::npos && eq > 0 &&
        word.find_first_of("/\\") > eq) {
      command.environment.emplace_back(word.substr(0, eq), word.substr(eq + 1));
    } else if (word == "2>&1") {
      command.errorsToOutput = true;
    } else if (word == ">/dev/null" || word == "1>/dev/null") {
      command.outputDiscarded = true;
    } else if (word != "2>/dev/null" && word != "</dev/null") {
      command.words.push_back(word);
    }
  }
  return command;
}

// Commands are UTF-8, as the shell gets them on Linux.
std::wstring wide(const std::string& utf8) {
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

// Quoted as the C runtime's command-line parser reads it back.
std::wstring quoted(const std::string& word) {
  const std::wstring w = wide(word);
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : w) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

}  // namespace

int runCommand(const std::string& commandText, std::string* out) {
  const Command command = parse(commandText);
  if (command.words.empty()) return -1;
  std::wstring line;
  for (const std::string& word : command.words) line += (line.empty() ? L"" : L" ") + quoted(word);

  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return -1;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           &inherit, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW start{};
  start.cb = sizeof start;
  start.dwFlags = STARTF_USESTDHANDLES;
  start.hStdInput = nul;
  start.hStdOutput = command.outputDiscarded ? nul : writeEnd;
  start.hStdError = command.errorsToOutput ? start.hStdOutput : GetStdHandle(STD_ERROR_HANDLE);

  std::vector<std::pair<std::wstring, std::wstring>> saved;
  for (const auto& [name, value] : command.environment) {
    const std::wstring wname = wide(name);
    wchar_t old[32768];
    const DWORD n = GetEnvironmentVariableW(wname.c_str(), old, 32768);
    saved.emplace_back(wname, n ? std::wstring(old, n) : std::wstring());
    SetEnvironmentVariableW(wname.c_str(), wide(value).c_str());
  }
  const std::wstring directory = wide(command.directory);
  PROCESS_INFORMATION process{};
  // Wine now and then fails to start a program that is there (once in a few thousand
  // starts); a program that is missing fails every time.
  BOOL started = FALSE;
  DWORD startError = 0;
  for (int attempt = 0; attempt < 3 && !started; ++attempt) {
    if (attempt > 0) Sleep(200);
    started =
        CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                       command.directory.empty() ? nullptr : directory.c_str(), &start, &process);
    if (!started) startError = GetLastError();
  }
  for (const auto& [name, value] : saved)
    SetEnvironmentVariableW(name.c_str(), value.empty() ? nullptr : value.c_str());
  CloseHandle(writeEnd);
  CloseHandle(nul);
  if (!started) {
    CloseHandle(readEnd);
    if (out) *out = "CreateProcessW failed, error " + std::to_string(startError) + "\n";
    return 127;
  }
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0)
    text.append(buffer, got);
  CloseHandle(readEnd);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  if (out) *out = text;
  return static_cast<int>(code);
}

// Index files have no witness on Windows, so a killed child leaves no process behind.
void adoptOrphans() {}
void waitForOrphans() {}

// Windows has no root whose rights would make a rights test meaningless.
bool passesWithoutRoot(const std::function<bool()>& check) {
  return check();
}

double processCpuSeconds() {
  FILETIME created, ended, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
  const auto ticks = [](const FILETIME& t) {  // 100-nanosecond units
    return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) |
                               t.dwLowDateTime);
  };
  return (ticks(kernel) + ticks(user)) / 1e7;
}

}  // namespace zandor::test
