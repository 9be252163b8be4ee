#include "table/commit_witness.h"

#if defined(__linux__) && (defined(__x86_64__) || defined(__aarch64__))
#define ZANDOR_COMMIT_WITNESS 1
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#endif

namespace zandor {

#ifdef ZANDOR_COMMIT_WITNESS
namespace {

constexpr std::size_t kStackSize = 64 * 1024;

// The witness runs on our memory but not as one of our threads: it has no C library state
// of its own (errno, allocator, sanitizer bookkeeping would be those of the thread that
// started it). So it makes its system calls directly and calls nothing else.
#define WITNESS_CODE __attribute__((noinline, no_sanitize("address", "undefined")))

WITNESS_CODE long rawCall(long number, long a, long b, long c, long d) {
#if defined(__x86_64__)
  long result;
  register long r10 asm("r10") = d;
  asm volatile("syscall"
               : "=a"(result)
               : "a"(number), "D"(a), "S"(b), "d"(c), "r"(r10)
               : "rcx", "r11", "memory");
  return result;
#else
  register long x8 asm("x8") = number;
  register long x0 asm("x0") = a;
  register long x1 asm("x1") = b;
  register long x2 asm("x2") = c;
  register long x3 asm("x3") = d;
  asm volatile("svc 0" : "+r"(x0) : "r"(x8), "r"(x1), "r"(x2), "r"(x3) : "memory");
  return x0;
#endif
}

// Closes every descriptor in [from, to]; copies of our files would otherwise stay open (and
// locked) in the witness after we close them.
WITNESS_CODE void closeRange(long from, long to) {
  if (from <= to) rawCall(SYS_close_range, from, to, 0, 0);
}

// Valgrind ends a program that clones a task of this kind instead of failing the call; its
// preloaded helpers give it away.
bool underValgrind() {
  const char* preload = std::getenv("LD_PRELOAD");
  return preload && std::strstr(preload, "vgpreload");
}

}  // namespace

WITNESS_CODE int CommitWitness::watch(void* arg) {
  auto* self = static_cast<CommitWitness*>(arg);
  const long fd = self->fd_;
  const long wake = self->wakeRead_;
  // Our copy of the writing end first and on its own: the read below must see its end even
  // where closing the rest in ranges is not to be had.
  rawCall(SYS_close, self->wakeWrite_, 0, 0, 0);
  const long low = fd < wake ? fd : wake;
  const long high = fd < wake ? wake : fd;
  closeRange(0, low - 1);
  closeRange(low + 1, high - 1);
  closeRange(high + 1, ~0u);

  // We never write to the pipe: the read ends when our last copy of its writing end is
  // closed, by stop() or by our death. Signals are blocked here, so nothing interrupts it.
  char byte;
  long got;
  do {
    got = rawCall(SYS_read, wake, reinterpret_cast<long>(&byte), 1, 0);
  } while (got == -EINTR || got > 0);

  if (__atomic_load_n(&self->pending_, __ATOMIC_ACQUIRE)) {
    for (std::size_t i = 0; i < self->count_; ++i) {
      const PageWrite& w = self->writes_[i];
      // Spelled out rather than PageWrite::source: a call could be an instrumented one.
      const unsigned char* from = w.data ? w.data : self->bytes_ + w.at;
      std::size_t done = 0;
      while (done < w.length) {
        const long n =
            rawCall(SYS_pwrite64, fd, reinterpret_cast<long>(from + done),
                    static_cast<long>(w.length - done), static_cast<long>(w.offset + done));
        if (n == -EINTR) continue;
        if (n <= 0) return 1;
        done += static_cast<std::size_t>(n);
      }
    }
  }
  return 0;
}

bool CommitWitness::start(int fd) {
  stop();
  if (underValgrind()) return false;
  int wake[2];
  if (::pipe2(wake, O_CLOEXEC) != 0) return false;
  void* stack = ::mmap(nullptr, kStackSize, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
  if (stack == MAP_FAILED) {
    ::close(wake[0]);
    ::close(wake[1]);
    return false;
  }
  fd_ = fd;
  wakeRead_ = wake[0];
  wakeWrite_ = wake[1];
  __atomic_store_n(&pending_, false, __ATOMIC_RELEASE);

  // The witness starts with every signal blocked: a Ctrl-C meant for us must not end it
  // before it has seen us end. No exit signal: it is reaped here, not by a SIGCHLD handler.
  sigset_t all;
  sigset_t before;
  ::sigfillset(&all);
  ::pthread_sigmask(SIG_BLOCK, &all, &before);
  const pid_t pid =
      ::clone(&CommitWitness::watch, static_cast<char*>(stack) + kStackSize, CLONE_VM, this);
  ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
  ::close(wake[0]);  // the witness holds its own copy
  if (pid <= 0) {
    ::close(wake[1]);
    ::munmap(stack, kStackSize);
    wakeWrite_ = -1;
    return false;
  }
  pid_ = pid;
  stack_ = stack;
  return true;
}

void CommitWitness::stop() {
  if (pid_ <= 0) return;
  __atomic_store_n(&pending_, false, __ATOMIC_RELEASE);  // alive, so nothing is left to finish
  ::close(wakeWrite_);
  int status = 0;
  while (::waitpid(pid_, &status, __WALL) < 0 && errno == EINTR) {
  }
  ::munmap(stack_, kStackSize);
  pid_ = -1;
  wakeWrite_ = -1;
  stack_ = nullptr;
}

#else

bool CommitWitness::start(int) {
  return false;
}

void CommitWitness::stop() {}

int CommitWitness::watch(void*) {
  return 0;
}

#endif

}  // namespace zandor
