// Interposed (LD_PRELOAD) file calls for the fault-injection tests: counts, logs and on
// request fails one call on files under given directories. Set by the environment:
//   ZANDOR_FAULT_DIRS  colon-separated directories; only calls on files under them count
//   ZANDOR_FAULT_LOG   file that gets one line "kind<TAB>path" per counted call (closes of
//                      read-only descriptors: "close<TAB>path<TAB>read-only")
//   ZANDOR_FAULT_FAIL  "kind:N[:ERRNO]": the Nth counted call of that kind fails (EIO)
// Kinds: write, pwrite, fallocate, ftruncate, fdatasync, fsync, sync_file_range, close,
// rename, mremap, msync. The 64-bit variants count as their plain kind.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdatomic.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

enum Kind {
  kWrite,
  kPwrite,
  kFallocate,
  kFtruncate,
  kFdatasync,
  kFsync,
  kSyncFileRange,
  kClose,
  kRename,
  kMremap,
  kMsync,
  kKinds
};

static const char* const kKindNames[kKinds] = {
    "write",           "pwrite", "fallocate", "ftruncate", "fdatasync", "fsync",
    "sync_file_range", "close",  "rename",    "mremap",    "msync"};

static const struct {
  const char* name;
  int value;
} kErrnos[] = {{"EIO", EIO},       {"ENOSPC", ENOSPC}, {"EDQUOT", EDQUOT}, {"EFBIG", EFBIG},
               {"ENOMEM", ENOMEM}, {"EROFS", EROFS},   {"EPERM", EPERM},   {"EACCES", EACCES},
               {"EINVAL", EINVAL}, {"EBADF", EBADF},   {"EAGAIN", EAGAIN}, {"EINTR", EINTR},
               {"ENOENT", ENOENT}, {"EXDEV", EXDEV},   {"EBUSY", EBUSY},   {"ENODEV", ENODEV}};

enum { kMaxDirs = 8, kMaxMaps = 64, kPathMax = PATH_MAX };

static pthread_once_t once = PTHREAD_ONCE_INIT;
static char dirs[kMaxDirs][kPathMax];
static size_t dirLengths[kMaxDirs];
static int dirCount;
static char logPath[kPathMax];
static int failKind = -1;
static long failAt;
static int failErrno = EIO;
static atomic_long counters[kKinds];

static ssize_t (*real_write)(int, const void*, size_t);
static ssize_t (*real_pwrite)(int, const void*, size_t, off_t);
static ssize_t (*real_pwrite64)(int, const void*, size_t, off64_t);
static int (*real_posix_fallocate)(int, off_t, off_t);
static int (*real_posix_fallocate64)(int, off64_t, off64_t);
static int (*real_fallocate)(int, int, off_t, off_t);
static int (*real_fallocate64)(int, int, off64_t, off64_t);
static int (*real_ftruncate)(int, off_t);
static int (*real_ftruncate64)(int, off64_t);
static int (*real_fdatasync)(int);
static int (*real_fsync)(int);
static int (*real_sync_file_range)(int, off64_t, off64_t, unsigned int);
static int (*real_close)(int);
static int (*real_rename)(const char*, const char*);
static int (*real_renameat)(int, const char*, int, const char*);
static int (*real_renameat2)(int, const char*, int, const char*, unsigned int);
static void* (*real_mmap)(void*, size_t, int, int, int, off_t);
static void* (*real_mmap64)(void*, size_t, int, int, int, off64_t);
static void* (*real_mremap)(void*, size_t, size_t, int, ...);
static int (*real_munmap)(void*, size_t);
static int (*real_msync)(void*, size_t, int);

// The file mappings of matching files, followed through mremap and munmap.
static pthread_mutex_t mapsLock = PTHREAD_MUTEX_INITIALIZER;
static struct {
  uintptr_t start, end;
  char path[kPathMax];
} maps[kMaxMaps];
static int mapCount;

static void* next(const char* name) {
  return dlsym(RTLD_NEXT, name);
}

static int errnoByName(const char* text) {
  for (size_t i = 0; i < sizeof kErrnos / sizeof kErrnos[0]; ++i) {
    if (strcmp(text, kErrnos[i].name) == 0) return kErrnos[i].value;
  }
  const int number = atoi(text);
  return number > 0 ? number : EIO;
}

static void init(void) {
  real_write = next("write");
  real_pwrite = next("pwrite");
  real_pwrite64 = next("pwrite64");
  real_posix_fallocate = next("posix_fallocate");
  real_posix_fallocate64 = next("posix_fallocate64");
  real_fallocate = next("fallocate");
  real_fallocate64 = next("fallocate64");
  real_ftruncate = next("ftruncate");
  real_ftruncate64 = next("ftruncate64");
  real_fdatasync = next("fdatasync");
  real_fsync = next("fsync");
  real_sync_file_range = next("sync_file_range");
  real_close = next("close");
  real_rename = next("rename");
  real_renameat = next("renameat");
  real_renameat2 = next("renameat2");
  real_mmap = next("mmap");
  real_mmap64 = next("mmap64");
  real_mremap = next("mremap");
  real_munmap = next("munmap");
  real_msync = next("msync");

  const char* list = getenv("ZANDOR_FAULT_DIRS");
  while (list && *list && dirCount < kMaxDirs) {
    const char* colon = strchr(list, ':');
    size_t length = colon ? (size_t)(colon - list) : strlen(list);
    while (length > 1 && list[length - 1] == '/') --length;
    if (length > 0 && length < kPathMax) {
      memcpy(dirs[dirCount], list, length);
      dirs[dirCount][length] = '\0';
      dirLengths[dirCount++] = length;
    }
    list = colon ? colon + 1 : NULL;
  }
  const char* log = getenv("ZANDOR_FAULT_LOG");
  if (log && strlen(log) < kPathMax) strcpy(logPath, log);
  const char* fail = getenv("ZANDOR_FAULT_FAIL");
  if (fail) {
    char wanted[128];
    snprintf(wanted, sizeof wanted, "%s", fail);
    char* at = strchr(wanted, ':');
    if (at) {
      *at++ = '\0';
      for (int k = 0; k < kKinds; ++k) {
        if (strcmp(wanted, kKindNames[k]) == 0) failKind = k;
      }
      failAt = strtol(at, &at, 10);
      if (*at == ':') failErrno = errnoByName(at + 1);
    }
  }
}

static void setUp(void) {
  pthread_once(&once, init);
}

static int under(const char* path) {
  for (int i = 0; i < dirCount; ++i) {
    if (strncmp(path, dirs[i], dirLengths[i]) == 0 &&
        (path[dirLengths[i]] == '\0' || path[dirLengths[i]] == '/' ||
         (dirLengths[i] == 1 && dirs[i][0] == '/'))) {
      return 1;
    }
  }
  return 0;
}

// What the descriptor names right now (nothing is cached: descriptors are reused).
static int fdPath(int fd, char* path) {
  if (fd < 0) return 0;
  char link[64];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t n = readlink(link, path, kPathMax - 1);
  if (n <= 0) return 0;
  path[n] = '\0';
  return 1;
}

static int matchingFd(int fd, char* path) {
  return dirCount > 0 && fdPath(fd, path) && under(path);
}

// A path as given to rename, made absolute against the directory descriptor.
static void absolutePath(int dirFd, const char* name, char* path) {
  path[0] = '\0';
  if (name[0] == '/') {
    snprintf(path, kPathMax, "%s", name);
    return;
  }
  char base[kPathMax];
  if (dirFd == AT_FDCWD) {
    if (!getcwd(base, sizeof base)) return;
  } else if (!fdPath(dirFd, base)) {
    return;
  }
  const size_t baseLength = strlen(base), nameLength = strlen(name);
  if (baseLength + 1 + nameLength >= kPathMax) return;
  memcpy(path, base, baseLength);
  path[baseLength] = '/';
  memcpy(path + baseLength + 1, name, nameLength + 1);
}

// Raw system calls, so that the log neither recurses nor counts itself. A note may follow
// the path after another tab.
static void logCall(int kind, const char* path, const char* note) {
  if (logPath[0] == '\0') return;
  char line[kPathMax + 64];
  int length = snprintf(line, sizeof line, "%s\t%s%s%s\n", kKindNames[kind], path, note ? "\t" : "",
                        note ? note : "");
  if (length <= 0) return;
  if (length >= (int)sizeof line) {
    length = (int)sizeof line - 1;
    line[length - 1] = '\n';
  }
  const long fd =
      syscall(SYS_openat, AT_FDCWD, logPath, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return;
  // One write with O_APPEND: lines of different threads do not mix.
  (void)syscall(SYS_write, fd, line, (size_t)length);
  syscall(SYS_close, fd);
}

// Counts a call; true when it is the one to fail.
static int countedWithNote(int kind, const char* path, const char* note) {
  const long n = atomic_fetch_add(&counters[kind], 1) + 1;
  logCall(kind, path, note);
  return kind == failKind && n == failAt;
}

static int counted(int kind, const char* path) {
  return countedWithNote(kind, path, NULL);
}

ssize_t write(int fd, const void* buffer, size_t count) {
  setUp();
  char path[kPathMax];
  if (matchingFd(fd, path) && counted(kWrite, path)) {
    errno = failErrno;
    return -1;
  }
  return real_write(fd, buffer, count);
}

ssize_t pwrite(int fd, const void* buffer, size_t count, off_t offset) {
  setUp();
  char path[kPathMax];
  if (matchingFd(fd, path) && counted(kPwrite, path)) {
    errno = failErrno;
    return -1;
  }
  return real_pwrite(fd, buffer, count, offset);
}

ssize_t pwrite64(int fd, const void* buffer, size_t count, off64_t offset) {
  setUp();
  char path[kPathMax];
  if (matchingFd(fd, path) && counted(kPwrite, path)) {
    errno = failErrno;
    return -1;
  }
  return real_pwrite64(fd, buffer, count, offset);
}

// posix_fallocate returns the error; it does not set errno.
int posix_fallocate(int fd, off_t offset, off_t length) {
  setUp();
  char path[kPathMax];
  if (matchingFd(fd, path) && counted(kFallocate, path)) return failErrno;
  return real_posix_fallocate(fd, offset, length);
}

int posix_fallocate64(int fd, off64_t offset, off64_t length) {
  setUp();
  char path[kPathMax];
  if (matchingFd(fd, path) && counted(kFallocate, path)) return failErrno;
  return real_posix_fallocate64(fd, offset, length);
}

int fallocate(int fd, int mode, off_t offset, off_t length) {
  setUp();
  char path[kPathMax];
  if (matchingFd(fd, path) && counted(kFallocate, path)) {
    errno = failErrno;
    return -1;
  }
  return real_fallocate(fd, mode, offset, length);
}

int fallocate64(int fd, int mode, off64_t offset, off64_t length) {
  setUp();
  char path[kPathMax];
  if (matchingFd(fd, path) && counted(kFallocate, path)) {
    errno = failErrno;
    return -1;
  }
  return real_fallocate64(fd, mode, offset, length);
}

int ftruncate(int fd, off_t length) {
  setUp();
  char path[kPathMax];
  if (matchingFd(fd, path) && counted(kFtruncate, path)) {
    errno = failErrno;
    return -1;
  }
  return real_ftruncate(fd, length);
}

int ftruncate64(int fd, off64_t length) {
  setUp();
  char path[kPathMax];
  if (matchingFd(fd, path) && counted(kFtruncate, path)) {
    errno = failErrno;
    return -1;
  }
  return real_ftruncate64(fd, length);
}

int fdatasync(int fd) {
  setUp();
  char path[kPathMax];
  if (matchingFd(fd, path) && counted(kFdatasync, path)) {
    errno = failErrno;
    return -1;
  }
  return real_fdatasync(fd);
}

int fsync(int fd) {
  setUp();
  char path[kPathMax];
  if (matchingFd(fd, path) && counted(kFsync, path)) {
    errno = failErrno;
    return -1;
  }
  return real_fsync(fd);
}

int sync_file_range(int fd, off64_t offset, off64_t count, unsigned int flags) {
  setUp();
  char path[kPathMax];
  if (matchingFd(fd, path) && counted(kSyncFileRange, path)) {
    errno = failErrno;
    return -1;
  }
  return real_sync_file_range(fd, offset, count, flags);
}

// The descriptor is gone afterwards either way, as with a failing close on Linux; its path
// must be read before it is closed. The log tells closes of descriptors that could not
// write ("read-only"), whose errors lose nothing.
int close(int fd) {
  setUp();
  char path[kPathMax];
  int fails = 0;
  if (matchingFd(fd, path)) {
    const int flags = fcntl(fd, F_GETFL);
    const int readOnly = flags != -1 && (flags & O_ACCMODE) == O_RDONLY;
    fails = countedWithNote(kClose, path, readOnly ? "read-only" : NULL);
  }
  const int result = real_close(fd);
  if (fails) {
    errno = failErrno;
    return -1;
  }
  return result;
}

// Counted when either name lies under a directory; logged by the new name.
static int renameFails(int oldDir, const char* oldName, int newDir, const char* newName) {
  if (dirCount == 0) return 0;
  char oldPath[kPathMax], newPath[kPathMax];
  absolutePath(oldDir, oldName, oldPath);
  absolutePath(newDir, newName, newPath);
  if (under(newPath)) return counted(kRename, newPath);
  if (under(oldPath)) return counted(kRename, oldPath);
  return 0;
}

int rename(const char* oldName, const char* newName) {
  setUp();
  if (renameFails(AT_FDCWD, oldName, AT_FDCWD, newName)) {
    errno = failErrno;
    return -1;
  }
  return real_rename(oldName, newName);
}

int renameat(int oldDir, const char* oldName, int newDir, const char* newName) {
  setUp();
  if (renameFails(oldDir, oldName, newDir, newName)) {
    errno = failErrno;
    return -1;
  }
  return real_renameat(oldDir, oldName, newDir, newName);
}

int renameat2(int oldDir, const char* oldName, int newDir, const char* newName,
              unsigned int flags) {
  setUp();
  if (renameFails(oldDir, oldName, newDir, newName)) {
    errno = failErrno;
    return -1;
  }
  return real_renameat2(oldDir, oldName, newDir, newName, flags);
}

// Takes [start, end) out of the recorded mappings (the caller holds the lock).
static void forgetRange(uintptr_t start, uintptr_t end) {
  for (int i = 0; i < mapCount;) {
    if (maps[i].end <= start || maps[i].start >= end) {
      ++i;
    } else if (maps[i].start >= start && maps[i].end <= end) {
      maps[i] = maps[--mapCount];
    } else if (maps[i].start < start && maps[i].end > end) {
      // A hole in the middle: the part behind it becomes an entry of its own.
      if (mapCount < kMaxMaps) {
        maps[mapCount] = maps[i];
        maps[mapCount++].start = end;
      }
      maps[i++].end = start;
    } else if (maps[i].start < start) {
      maps[i++].end = start;
    } else {
      maps[i++].start = end;
    }
  }
}

static void remember(void* at, size_t length, const char* path) {
  pthread_mutex_lock(&mapsLock);
  forgetRange((uintptr_t)at, (uintptr_t)at + length);
  if (mapCount < kMaxMaps) {
    maps[mapCount].start = (uintptr_t)at;
    maps[mapCount].end = (uintptr_t)at + length;
    snprintf(maps[mapCount].path, kPathMax, "%s", path);
    ++mapCount;
  }
  pthread_mutex_unlock(&mapsLock);
}

// The file a mapped address belongs to; false when it is no mapping of a matching file.
static int mappedPath(const void* address, char* path) {
  int found = 0;
  pthread_mutex_lock(&mapsLock);
  for (int i = 0; i < mapCount && !found; ++i) {
    if ((uintptr_t)address >= maps[i].start && (uintptr_t)address < maps[i].end) {
      snprintf(path, kPathMax, "%s", maps[i].path);
      found = 1;
    }
  }
  pthread_mutex_unlock(&mapsLock);
  return found;
}

void* mmap(void* address, size_t length, int protection, int flags, int fd, off_t offset) {
  setUp();
  void* at = real_mmap(address, length, protection, flags, fd, offset);
  char path[kPathMax];
  if (at != MAP_FAILED && !(flags & MAP_ANONYMOUS) && matchingFd(fd, path)) {
    remember(at, length, path);
  }
  return at;
}

void* mmap64(void* address, size_t length, int protection, int flags, int fd, off64_t offset) {
  setUp();
  void* at = real_mmap64(address, length, protection, flags, fd, offset);
  char path[kPathMax];
  if (at != MAP_FAILED && !(flags & MAP_ANONYMOUS) && matchingFd(fd, path)) {
    remember(at, length, path);
  }
  return at;
}

int munmap(void* address, size_t length) {
  setUp();
  const int result = real_munmap(address, length);
  if (result == 0) {
    pthread_mutex_lock(&mapsLock);
    forgetRange((uintptr_t)address, (uintptr_t)address + length);
    pthread_mutex_unlock(&mapsLock);
  }
  return result;
}

void* mremap(void* old, size_t oldLength, size_t newLength, int flags, ...) {
  setUp();
  void* wanted = NULL;
  if (flags & MREMAP_FIXED) {
    va_list args;
    va_start(args, flags);
    wanted = va_arg(args, void*);
    va_end(args);
  }
  char path[kPathMax];
  const int mapped = mappedPath(old, path);
  if (mapped && counted(kMremap, path)) {
    errno = failErrno;
    return MAP_FAILED;
  }
  void* at = (flags & MREMAP_FIXED) ? real_mremap(old, oldLength, newLength, flags, wanted)
                                    : real_mremap(old, oldLength, newLength, flags);
  if (mapped && at != MAP_FAILED) {
#ifdef MREMAP_DONTUNMAP
    const int unmapsOld = !(flags & MREMAP_DONTUNMAP);
#else
    const int unmapsOld = 1;
#endif
    if (unmapsOld) {
      pthread_mutex_lock(&mapsLock);
      forgetRange((uintptr_t)old, (uintptr_t)old + oldLength);
      pthread_mutex_unlock(&mapsLock);
    }
    remember(at, newLength, path);
  }
  return at;
}

int msync(void* address, size_t length, int flags) {
  setUp();
  char path[kPathMax];
  if (mappedPath(address, path) && counted(kMsync, path)) {
    errno = failErrno;
    return -1;
  }
  return real_msync(address, length, flags);
}
