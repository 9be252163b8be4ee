#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zandor {

// An open file of the operating system, closed with the object. Positioned reads and
// writes only; the file-wide lock is what makes an exclusive open exclusive.
class OsFile {
 public:
  OsFile() = default;
  ~OsFile();
  OsFile(OsFile&& other) noexcept;
  OsFile& operator=(OsFile&& other) noexcept;
  OsFile(const OsFile&) = delete;
  OsFile& operator=(const OsFile&) = delete;

  // Opens an existing regular file; returns 0 or the errno value.
  int open(const std::string& path, bool readOnly);
  // Creates (or empties) a file for writing; returns 0 or the errno value.
  int create(const std::string& path);
  // Opens a file for writing, creating it when it is missing and keeping what it holds;
  // returns 0 or the errno value.
  int openOrCreate(const std::string& path);
  // Takes the whole-file lock without waiting (exclusive or shared); returns 0 or errno.
  // Every open of the file holds its own lock, in this process or another.
  int lockFile(bool exclusive);
  // Opens an existing file and takes its lock. Where another holds it (EWOULDBLOCK, from the
  // lock or, on Windows, from the open itself) it tries again for up to two seconds before
  // it gives up: a program killed a moment ago holds its files until the system has ended
  // it, which took up to a second and more with large files mapped.
  int openLocked(const std::string& path, bool readOnly, bool exclusive);
  // Locks or unlocks one byte range for record and append locks of shared tables.
  bool lockRange(std::uint64_t offset, std::uint64_t length, bool lock);
  // Closes the file; returns 0 or the errno value of the close (a file system may report a
  // failed write only there). The file is closed either way.
  int close();

  bool isOpen() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }

  // Maps the file as long as it is now, for an exclusive writer: a read or write that falls
  // inside that length becomes a copy from or into the page cache instead of a system call
  // (the same data, seen by every reader at once). A write that goes on at the mapping's
  // end makes the file and the mapping grow ahead by a stretch whose disk blocks are
  // allocated first, so appends are copies as well; until the file is cut to its size, it
  // holds that room (zero bytes) behind what was written. Where the room cannot be had (a
  // full disk), writes are system calls as before. Returns false where the file cannot be
  // mapped; nothing changes then.
  bool mapExistingLength();
  bool mapped() const { return map_ != nullptr; }

  // Reads up to n bytes at offset; returns the count read (short at end of file), -1 on error.
  long long readAt(std::uint64_t offset, void* buffer, std::size_t n) const;
  // Writes all n bytes at offset; returns 0 or the errno value (ENOSPC for a short write).
  int writeAt(std::uint64_t offset, const void* data, std::size_t n);
  // Current size, or -1.
  long long size() const;
  // Cuts or extends the file; returns 0 or errno.
  int truncate(std::uint64_t size);
  // Waits until what was written (through the mapping too) is on stable storage; returns 0
  // or errno.
  int sync();

 private:
  friend void releaseRoomAhead();
  // Cuts the room grown ahead (beyond the last byte written) off the file; later growth
  // takes only what it needs. Returns 0 or the errno value.
  int giveBackRoom();
  void unmap();
  // A moved file's place among the files with room ahead goes to the one it moved into.
  void takeOverRoom(OsFile& from);
  // Makes file and mapping reach at least end; false where they could not.
  bool growMapping(std::uint64_t end);
  // Allocates the file's blocks from `from` up to `to`, the file growing to `to`; 0 or the
  // errno value, the file's size as before on failure.
  int allocate(std::uint64_t from, std::uint64_t to);

  int fd_ = -1;
  std::string path_;
  char* map_ = nullptr;
  std::uint64_t mapLength_ = 0;    // length of the mapping
  std::uint64_t mapWritable_ = 0;  // bytes of it that are still inside the file
  std::uint64_t usedEnd_ = 0;      // end of what the file held or was written, below the room
  bool growFailed_ = false;
  bool roomShort_ = false;  // space ran short once: grow by what is needed, not ahead
};

// Makes a write beyond the process's file size limit fail with EFBIG, like one onto a full
// disk, instead of ending the process (SIGXFSZ is ignored from then on). Every open for
// writing calls it; once is enough.
void letFileSizeLimitFailWrites();

// Gives back the room that files opened by this process have grown ahead of what was
// written into them (see OsFile::mapExistingLength), so that another file can have the
// space. A write that finds the disk full calls it and tries once more: room made ahead
// must never be the reason a write fails.
void releaseRoomAhead();

// Replacing a file by a new one written beside it (index files are rebuilt that way).

// The file a path names, symbolic links followed: the replacement takes the name of the file
// itself, so a link stays a link and names the new file.
std::string linkedFile(const std::string& path);
// Gives a new file the mode of the file it replaces and, where the system permits, its owner
// (otherwise its group where permitted; else the new file stays its creator's). Returns 0 or
// the errno value of setting the mode.
int takeOverIdentity(const std::string& newFile, const std::string& oldFile);
// Renames a file over another; returns 0 or the errno value.
int replaceFile(const std::string& newFile, const std::string& oldFile);
// Makes the names in the directory of a file durable (after a rename); returns 0 or errno.
int syncDirectoryOf(const std::string& path);

}  // namespace zandor
