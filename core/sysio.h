// System calls wrapped once: descriptors are opened close-on-exec, interrupted
// calls are retried, and errno survives the clean-up of a failed call.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <string_view>

// open(2) with O_CLOEXEC, retried on EINTR; -1 with errno on failure.
int openFile(const std::string& path, int flags, mode_t mode = 0);

// close(2) that keeps the caller's errno.
void closeFile(int fd);

// Reads until count bytes or end of input; -1 on error.
ssize_t readFully(int fd, void* buffer, size_t count);

// Writes all bytes; false on error.
bool writeFully(int fd, const void* data, size_t count);

// The size fstat(2) gives a regular file, else 0 (also for pipes and devices).
size_t regularFileSize(int fd);

// Opens a file for reading only when it is a regular file (after following
// links): a FIFO or a device placed under a name the system reads would
// otherwise block the request, or never end. -1 with errno (EINVAL for a file
// that is not regular) on failure.
int openRegularFile(const std::string& path);

// The whole file, or at most limit bytes of it; false when it cannot be read
// or is not a regular file.
bool readFile(const std::string& path, std::string& out, size_t limit = static_cast<size_t>(-1));

// Copies what is left of from to to, in the kernel's buffers only; false on
// an error of either side.
bool copyToEnd(int from, int to);

// Replaces the file through a temporary file in the same folder: write, fsync,
// the old file's mode, rename, fsync of the folder. A crash leaves the old or
// the new content, never a mixture. False (and no temporary file) on failure.
// The temporary file is path + ".tmp": callers must not write the same file
// from two processes at once (request processes hold the semaphore).
bool writeFileAtomic(const std::string& path, std::string_view data, mode_t newFileMode = 0644);

// The path with every symbolic link, "." and ".." resolved (realpath(3));
// empty when some part of it does not exist.
std::string resolvedPath(const std::string& path);

// Record locks on a whole file (fcntl(2) write locks; the kernel drops them
// when the process ends, however it ends). lockWholeFile with wait blocks
// until the lock is free; a signal handled meanwhile ends the wait with false
// and errno EINTR, so that a process told to end does not stay queued.
bool lockWholeFile(int fd, bool wait);
void unlockWholeFile(int fd);
// The process that holds a lock on the file, 0 when none does.
pid_t wholeFileLockHolder(int fd);

// Reads what arrives on fd until count bytes, end of input, or a line feed
// (kept) when stopAtLineFeed; waits at most timeLimitMillis for all of it.
// False when the time passed or reading failed.
bool readWithin(int fd, std::string& out, size_t count, bool stopAtLineFeed, long timeLimitMillis);

// mkdir(2); true when it created the directory.
bool makeDirectory(const std::string& path, mode_t mode);

// The text of a system error number.
std::string errnoText(int error);

// Sleeps the given number of milliseconds, resuming after signals.
void sleepMillis(long millis);

// Milliseconds of a clock that only moves forward (not the time of day).
long monotonicMillis();
