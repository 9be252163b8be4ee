#include "qt/termination.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace zandor {

#ifndef _WIN32
namespace {
int gPipe[2] = {-1, -1};

extern "C" void signalled(int) {
  const char byte = 1;
  [[maybe_unused]] const auto written = ::write(gPipe[1], &byte, 1);
}
}  // namespace

void onTerminationRequest(std::function<void()> action) {
  if (::pipe(gPipe) != 0) return;
  // Owned by the application object, so it goes when the application does.
  auto* notifier =
      new QSocketNotifier(gPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier, &QSocketNotifier::activated, notifier, [action] {
    char byte = 0;
    [[maybe_unused]] const auto got = ::read(gPipe[0], &byte, 1);
    action();
  });
  std::signal(SIGTERM, signalled);
  std::signal(SIGINT, signalled);
}
#else
void onTerminationRequest(std::function<void()>) {}
#endif

}  // namespace zandor
