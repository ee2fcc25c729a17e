// Programs run with a bound on the size of every file they write (the
// shell's "ulimit -f"): a download or an unpacking that would grow beyond it
// is ended by the kernel, so an archive from the network cannot fill /tmp,
// which is the player's RAM.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "core/process.h"

// Runs command (its program found through PATH, its words passed as they
// are) through sh with the file size bound limitBytes, rounded up to whole
// 512-byte blocks, and its standard output in outputFile when that is not
// empty. The time limit is runProgram's.
ProgramResult runWithinFileSize(const std::vector<std::string>& command, size_t limitBytes,
                                const std::string& outputFile, int timeLimitSeconds);
