#include "core/version.h"

// TAVORC_VERSION comes from the build (core/CMakeLists.txt), for this file only.
const char kProgramVersion[] = TAVORC_VERSION;
