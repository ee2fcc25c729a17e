#include "update/boundedrun.h"

namespace {

const size_t kBlockBytes = 512;

// The words after the script are $1 (blocks), $2 (output file) and the command.
const char kBoundedScript[] =
    "ulimit -f \"$1\" || exit 125\n"
    "out=$2\n"
    "shift 2\n"
    "if [ -n \"$out\" ]; then exec \"$@\" >\"$out\"; fi\n"
    "exec \"$@\"\n";

}  // namespace

ProgramResult runWithinFileSize(const std::vector<std::string>& command, size_t limitBytes,
                                const std::string& outputFile, int timeLimitSeconds) {
  std::vector<std::string> arguments = {"-c", kBoundedScript, "sh",
                                        std::to_string((limitBytes + kBlockBytes - 1) / kBlockBytes), outputFile};
  arguments.insert(arguments.end(), command.begin(), command.end());
  return runProgram("sh", arguments, timeLimitSeconds);
}
