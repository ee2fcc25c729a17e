// "dict": a translation dictionary as a JavaScript call (JSONP).
#include <cstring>
#include <sstream>

#include "core/cmdprocessor.h"
#include "core/paths.h"
#include "core/sysio.h"

namespace {

// A callback is a JavaScript name or member path, nothing that could run code.
bool isSafeCallback(const std::string& name) {
  for (char c : name)
    if (!isalnum(static_cast<unsigned char>(c)) && !strchr("_$.", c)) return false;
  return true;
}

// A language code names a file of the dictionary folder and nothing else.
bool isDictionaryName(const std::string& lng) { return lng[0] != '.' && lng.find('/') == std::string::npos; }

// Larger than any dictionary of the front end; a longer file is read this far.
constexpr size_t kMaxDictionarySize = 1 << 20;

// "key = value" lines up to the first empty line; the later of two equal keys
// wins. Only a regular file is read.
Json::Value readDictionary(const std::string& path) {
  Json::Value dictionary(Json::objectValue);
  std::string text;
  readFile(path, text, kMaxDictionarySize);
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line) && !line.empty()) {
    size_t separator = line.find(" = ");
    if (separator != std::string::npos) dictionary[line.substr(0, separator)] = line.substr(separator + 3);
  }
  return dictionary;
}

class CmdProcDict : public CmdMultiActionProcessor {
 public:
  explicit CmdProcDict(Request* request);

 private:
  static const Action kActions[];

  ProcessResult* get() {
    if (ProcessResult* missing =
            checkRequired(*m_request, {{"lng", "lng not defined", false}, {"callback", "callback not defined", false}}))
      return missing;
    const std::string& lng = m_request->get("lng");
    const std::string& callback = m_request->get("callback");
    if (!isSafeCallback(callback)) return makeErrorResult("invalid callback");
    Json::Value dictionary(Json::objectValue);
    if (isDictionaryName(lng)) dictionary = readDictionary(rooted(paths::kDictDir) + lng);
    return new ProcessResultText(callback + "(" + toJsonText(dictionary) + ")", "javascript");
  }
};

const CmdMultiActionProcessor::Action CmdProcDict::kActions[] = {{"get", &CmdProcDict::get}};

CmdProcDict::CmdProcDict(Request* request) : CmdMultiActionProcessor(request, kActions) {}

CmdProcessorCreatorImpl<CmdProcDict> s_creator("dict");

}  // namespace
