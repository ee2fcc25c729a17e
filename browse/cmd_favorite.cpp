// "favorite": list, add and delete favourites.
#include "browse/favorites.h"
#include "core/cmdprocessor.h"

namespace {

class CmdProcFavdorite : public CmdMultiActionProcessor {
 public:
  explicit CmdProcFavdorite(Request* request);

 private:
  static const Action kActions[];

  ProcessResult* list() {
    Json::Value favorites(Json::arrayValue);
    for (const Favorite& favorite : FavoritesList::get()) {
      Json::Value item(Json::objectValue);
      item["name"] = favorite.first;
      item["path"] = favorite.second;
      favorites.append(item);
    }
    ProcessResultJson* result = new ProcessResultJson();
    result->set("favorite", favorites);
    return result;
  }

  ProcessResult* del() {
    if (ProcessResult* missing = checkRequired(*m_request, {{"name", "Name not defined", false}})) return missing;
    FavoritesList::remove(m_request->get("name"));
    return makeOkResult("");
  }

  ProcessResult* add() {
    if (ProcessResult* missing =
            checkRequired(*m_request, {{"name", "Name not defined", false}, {"path", "Path not defined", false}}))
      return missing;
    bool stored = Config::instance()->changeWithinBound(
        [this] { FavoritesList::add(m_request->get("name"), m_request->get("path")); });
    return stored ? makeOkResult("") : makeErrorResult(Config::kTooLarge);
  }
};

const CmdMultiActionProcessor::Action CmdProcFavdorite::kActions[] = {
    {"list", &CmdProcFavdorite::list}, {"add", &CmdProcFavdorite::add}, {"del", &CmdProcFavdorite::del}};

CmdProcFavdorite::CmdProcFavdorite(Request* request) : CmdMultiActionProcessor(request, kActions) {}

CmdProcessorCreatorImpl<CmdProcFavdorite> s_creator("favorite");

}  // namespace
