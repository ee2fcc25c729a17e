// "drml": the front end's "remind me later" of the donation reminder.
#include "core/cmdprocessor.h"
#include "core/donation.h"

namespace {

class CmdProcDonateReminMeLater : public CmdProcessor {
 public:
  using CmdProcessor::CmdProcessor;

  ProcessResult* process() override {
    donationRemindLater();
    return makeOkResult("");
  }
};

CmdProcessorCreatorImpl<CmdProcDonateReminMeLater> s_creator("drml");

}  // namespace
