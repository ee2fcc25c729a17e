// "try_update" downloads, unpacks and runs an update; "cancel_update" puts the
// next automatic version check a week off.
#include <fcntl.h>

#include "core/cmdprocessor.h"
#include "core/paths.h"
#include "core/process.h"
#include "core/sysio.h"
#include "core/utils.h"
#include "update/updateserver.h"

namespace {

const char kDownloadPath[] = "/download.php?file_name=tavo_update";
const char kUpdateScript[] = "/update.sh";
const long kCancelDelay = 604800;

// An archive may take a while on a slow line, but a server silent for 10
// seconds gets only one more try, and no download outlasts 10 minutes.
const DownloadLimits kArchiveLimits = {10, 2, 600};
const int kUnpackLimit = 300;

ProgramResult runShell(const std::string& command, int timeLimitSeconds = 0) {
  return runProgram("sh", {"-c", command}, timeLimitSeconds);
}

// wget leaves an empty file behind when the download fails.
bool hasContent(const std::string& path) {
  int fd = openFile(path, O_RDONLY);
  if (fd < 0) return false;
  bool content = regularFileSize(fd) > 0;
  closeFile(fd);
  return content;
}

bool canRead(const std::string& path) {
  int fd = openFile(path, O_RDONLY);
  if (fd < 0) return false;
  closeFile(fd);
  return true;
}

// Empties the unpack directory, or creates it; false when it cannot be created.
bool prepareUnpackDirectory(const std::string& dir) {
  if (canOpenDirectory(dir)) {
    runShell("rm -rf " + shellQuote(dir) + "/*");
    return true;
  }
  return makeDirectory(dir, 0775);
}

class CmdProcTryUpdate : public CmdProcessor {
 public:
  using CmdProcessor::CmdProcessor;

  ProcessResult* process() override {
    std::string archive = rooted(paths::kUpdateArchive);
    std::string dir = rooted(paths::kUpdateDir);
    std::string script = dir + kUpdateScript;

    download(updateBaseUrl() + kDownloadPath + "&user_id=" + readSerialId(), archive, kArchiveLimits);
    // "error 0 " keeps its trailing blank: clients of the update answer match the whole text.
    if (!hasContent(archive)) return makeErrorResult("error 0 ");
    if (!prepareUnpackDirectory(dir)) return makeErrorResult("error 1");
    runProgram("unzip", {"-oq", archive, "-d", dir}, kUnpackLimit);
    if (!canRead(script)) return makeErrorResult("error 2");
    // The script may take its time: an update cut short would be worse than
    // a long wait, so it runs without a limit.
    runShell("cd " + shellQuote(dir) + "; sh " + shellQuote(script));
    return makeOkResult("");
  }
};

class CmdProcCancelUpdate : public CmdProcessor {
 public:
  using CmdProcessor::CmdProcessor;

  ProcessResult* process() override {
    Config::instance()->root()["nnvc"] = timeText(kCancelDelay);
    return makeOkResult("");
  }
};

CmdProcessorCreatorImpl<CmdProcTryUpdate> s_tryCreator("try_update");
CmdProcessorCreatorImpl<CmdProcCancelUpdate> s_cancelCreator("cancel_update");

}  // namespace
