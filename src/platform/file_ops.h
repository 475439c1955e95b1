#pragma once

#include <sys/types.h>

#include <string>

namespace vexa {

// The file operations of everything that writes files a user keeps (log files, the settings
// files), behind one seam so that tests can make a write, a sync or a rename fail and see that
// each failure is reported and loses nothing. Results and errno as the system calls give them.
class FileOps {
 public:
  virtual ~FileOps() = default;
  // A new file, never one that exists and never through a link: O_CREAT | O_EXCL | O_NOFOLLOW.
  // Open for reading too, so that what was written can be published from the same descriptor.
  virtual int createNew(const std::string& path, mode_t mode);
  virtual ssize_t write(int fd, const void* data, size_t length);
  // At `offset`, leaving the file position alone (pwrite).
  virtual ssize_t writeAt(int fd, const void* data, size_t length, off_t offset);
  virtual int sync(int fd);
  // `replace` false: fails with EEXIST when `to` exists, whatever the file system.
  virtual int rename(const std::string& from, const std::string& to, bool replace);
  virtual int remove(const std::string& path);
  // Gives the open file `fd` the new name `to` (a hard link to the file itself, whatever has
  // become of the name it was created under); fails with EEXIST when `to` exists.
  virtual int linkOpenFile(int fd, const std::string& to);
  virtual int close(int fd);
  // Makes the entries of a folder (a rename, a new name) last: fsync of the folder.
  virtual int syncFolder(const std::string& folder);

  // All of `length`, retrying short writes and interruptions; false with errno set.
  bool writeAll(int fd, const void* data, size_t length);
  // The same at `offset`.
  bool writeAllAt(int fd, const void* data, size_t length, off_t offset);
};

// Puts `text` under `path` whole or not at all: a new file beside it (keeping the old file's
// permission bits, else `mode`; never set-user-ID, set-group-ID or sticky, and never those of a
// link's target), written, synced, renamed over the name (a link there is replaced,
// never followed), then the folder synced. False with `cause` ("cannot write PATH: reason")
// when any step failed; the old file is then as it was.
bool ReplaceFileWhole(FileOps& files, const std::string& path, const std::string& text, mode_t mode,
                      std::string& cause);

// The machine's own operations, for whoever was given none.
FileOps& SystemFileOps();

// Whether a failed sync means only that the file system cannot sync (a pipe, a FUSE or read-only
// file system), which loses nothing.
bool SyncUnsupported(int error);

}  // namespace vexa
