// "check_new_version": asks the update server for the latest version and
// keeps the time of the next automatic check ("nnvc").
#include "core/cmdprocessor.h"
#include "core/donation.h"
#include "core/paths.h"
#include "core/sysio.h"
#include "core/utils.h"
#include "update/updateserver.h"
#include "update/versioncheck.h"

namespace {

const long kNextCheckDelay = 86400;

// The reply is a few hundred bytes: a server silent for 5 seconds is given
// one more try, and the whole check never takes more than 20 seconds, since
// the request semaphore is held meanwhile. A reply that grows beyond the
// bound is cut there, and is no version document.
const DownloadLimits kCheckLimits = {5, 2, 20, kMaxVersionReply + 1};

class CmdProcCheckNewVersion : public CmdProcessor {
 public:
  using CmdProcessor::CmdProcessor;

  ProcessResult* process() override {
    Config* config = Config::instance();
    config->root()["nnvc"] = timeText(kNextCheckDelay);
    m_autoMode = m_request->getInt("auto_mode") != 0;
    if (m_autoMode && config->get("autocheck_upd") != "true") return makeOkResult("cancel");

    std::string replyFile = rooted(paths::kVersionReply);
    download(versionCheckUrl(updateBaseUrl(), readSerialId(), donationRemainingStarts()), replyFile, kCheckLimits);

    std::string reply;
    Json::Value answer;
    if (!readFile(replyFile, reply, kMaxVersionReply + 1) || reply.size() > kMaxVersionReply ||
        !versionAnswer(reply, m_autoMode, answer))
      return makeErrorResult("Unable to check for updates");
    return new ProcessResultJson(answer);
  }

 private:
  bool m_autoMode = false;
};

CmdProcessorCreatorImpl<CmdProcCheckNewVersion> s_creator("check_new_version");

}  // namespace
