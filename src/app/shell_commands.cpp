#include "app/shell_commands.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "base/encoding.h"

namespace zandor {

namespace {

// Single quotes for /bin/sh; a quote inside ends the quoting, is escaped and starts it again.
std::string shellQuoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out + "'";
}

}  // namespace

bool startDetached(const std::string& commandLine) {
  const std::string utf8 = cp1252ToUtf8(commandLine);
  const pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    // The grandchild runs the command; the child ends at once, so no one has to wait for it
    // and the command leaves no zombie behind.
    setsid();
    if (fork() == 0) {
      execl("/bin/sh", "sh", "-c", utf8.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    _exit(0);
  }
  int status = 0;
  pid_t ended;
  do {
    ended = waitpid(child, &status, 0);
  } while (ended < 0 && errno == EINTR);
  // Where children are not waited for (SIGCHLD ignored) the child is gone unseen: it started.
  if (ended < 0) return errno == ECHILD;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool openWithShell(const std::string& path) {
  return startDetached("xdg-open " + shellQuoted(path) + " >/dev/null 2>&1");
}

bool startTextViewer(const std::string& path) {
  return openWithShell(path);
}

}  // namespace zandor
