// Helpers for the black-box tests around a tavorc CGI process: the request
// semaphore, the pid file, JSON files and responses with their dates masked.
#pragma once

#include <json/json.h>
#include <string>

#include "tests/support/sandbox.h"

// "cmd=option&action=set" of one option from the query string.
CgiRequest optionSet(const std::string& name, const std::string& value, const std::string& cookie = "bid=TEST");

// The request semaphore's value, or -1 when it does not exist.
int semaphoreValue(const Sandbox& sandbox);

// Waits (up to the given milliseconds) until the pid file names pid.
bool waitForPidFile(const Sandbox& sandbox, pid_t pid, int millis = 5000);

// The JSON document in a sandbox file (null when missing or unparsable).
Json::Value readJson(const Sandbox& sandbox, const std::string& fixed);
bool parsesAsJson(const std::string& text, Json::Value* into = nullptr);

// Checks the two date lines (format and equality) and replaces their values
// by "<date>", so that a whole response can be compared as bytes.
std::string withDatesMasked(const CgiResponse& response);
