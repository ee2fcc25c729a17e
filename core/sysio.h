// System calls wrapped once: descriptors are opened close-on-exec, interrupted
// calls are retried, and errno survives the clean-up of a failed call.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

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

// The whole file, or at most limit bytes of it; false when it cannot be read.
bool readFile(const std::string& path, std::string& out, size_t limit = static_cast<size_t>(-1));

// Copies what is left of from to to, in the kernel's buffers only; false on
// an error of either side.
bool copyToEnd(int from, int to);

// Replaces the file through a temporary file in the same folder: write, fsync,
// the old file's mode, rename, fsync of the folder. A crash leaves the old or
// the new content, never a mixture. False (and no temporary file) on failure.
// The temporary file is path + ".tmp": callers must not write the same file
// from two processes at once (request processes hold the semaphore).
bool writeFileAtomic(const std::string& path, const std::string& data, mode_t newFileMode = 0644);

// The path with every symbolic link, "." and ".." resolved (realpath(3));
// empty when some part of it does not exist.
std::string resolvedPath(const std::string& path);

// mkdir(2); true when it created the directory.
bool makeDirectory(const std::string& path, mode_t mode);

// The text of a system error number.
std::string errnoText(int error);

// Sleeps the given number of milliseconds, resuming after signals.
void sleepMillis(long millis);
