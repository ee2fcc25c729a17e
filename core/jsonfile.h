// JSON documents that come from files or from outside: the configuration, the
// playlist file, the update server's reply.
#pragma once

#include <json/json.h>

#include <string>

// Outside input never ends the process: a document the reader rejects, or one
// deeper than it accepts, counts as unparsable (false).
bool parseJson(const std::string& text, Json::Value& into);

// The file parsed; false when it cannot be read or parsed.
bool readJsonFile(const std::string& path, Json::Value& into);

// The document styled with a tab per level, as the files hold it.
std::string styledJsonText(const Json::Value& document);

// Members of a hand-editable document, read without ever throwing: a member
// that is missing or of another type gives the fallback.
std::string stringMember(const Json::Value& object, const char* name, const std::string& fallback = "");
int intMember(const Json::Value& object, const char* name, int fallback = 0);
