// The program's version, as project() in CMakeLists.txt names it (with the
// build's TAVORC_VERSION_SUFFIX): what app_info answers, what the version
// check reports to the update server, and what an update's health check
// expects of the new program.
#pragma once

extern const char kProgramVersion[];
