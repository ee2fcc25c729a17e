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
// Waits until a request has opened (and so created) the sandbox's semaphore.
bool waitForSemaphore(const Sandbox& sandbox, int millis = 5000);

// Waits (up to the given milliseconds) until the pid file names pid.
bool waitForPidFile(const Sandbox& sandbox, pid_t pid, int millis = 5000);
// Waits (up to the given milliseconds) until pid is blocked waiting for a
// file lock (the pid file's, for a request queued behind another).
bool waitForLockWaiter(pid_t pid, int millis = 5000);

// The JSON document in a sandbox file (null when missing or unparsable).
Json::Value readJson(const Sandbox& sandbox, const std::string& fixed);
bool parsesAsJson(const std::string& text, Json::Value* into = nullptr);

// Checks the two date lines (format and equality) and replaces their values
// by "<date>", so that a whole response can be compared as bytes.
std::string withDatesMasked(const CgiResponse& response);

// A storage whose blkid run waits at a gate (a FIFO) until the test opens it:
// a request that scans the storages then holds the semaphore as long as the
// test wants, the way a dying disk would hold it.
void installGatedStorage(const Sandbox& sandbox);
// Lets the waiting blkid run go on; false when none waited within millis.
bool openGate(const Sandbox& sandbox, int millis = 5000);
// A "file_list" of that storage, started and waiting at the gate.
CgiProcess startHangingHolder(const Sandbox& sandbox);

// The wait status of the process once it ended; a process still running
// after millis is killed first (the status then says SIGKILL too, so callers
// that expect a kill also check that it ended in time: the result is -1 then).
int waitWithin(CgiProcess& process, int millis);
// As CgiProcess::finish, but its standard input stays open while it runs, and
// a process still running after millis is killed (exit status -1, and
// whatever it wrote so far).
CgiResponse finishWithin(CgiProcess& process, int millis);
