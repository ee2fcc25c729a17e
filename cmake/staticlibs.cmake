# Static archives for the fully static tavorc: JsonCpp and libcue as built by
# tools/build-static-deps.sh into TAVORC_STATIC_PREFIX; pugixml and libsodium
# from there too when cross-built, else as Debian ships them.
if(TAVORC_SANITIZE)
  message(FATAL_ERROR "TAVORC_STATIC and TAVORC_SANITIZE cannot be combined")
endif()

# static_archive(VAR ARCHIVE HEADER PREFIX...): the archive and its header
# folder, looked up only in the given prefixes (the system's last).
function(static_archive var archive header)
  find_library(${var}_LIBRARY NAMES ${archive} PATHS ${ARGN}
               PATH_SUFFIXES lib lib/${CMAKE_LIBRARY_ARCHITECTURE} NO_DEFAULT_PATH)
  find_path(${var}_INCLUDE_DIR ${header} PATHS ${ARGN} PATH_SUFFIXES include NO_DEFAULT_PATH)
  if(NOT ${var}_LIBRARY OR NOT ${var}_INCLUDE_DIR)
    message(FATAL_ERROR "${archive} or ${header} not found in ${ARGN}: "
                        "run tools/build-static-deps.sh ${TAVORC_STATIC_PREFIX}")
  endif()
  add_library(static::${var} STATIC IMPORTED)
  set_target_properties(static::${var} PROPERTIES
    IMPORTED_LOCATION "${${var}_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${${var}_INCLUDE_DIR}")
endfunction()

static_archive(jsoncpp libjsoncpp.a json/json.h ${TAVORC_STATIC_PREFIX})
static_archive(libcue libcue.a libcue.h ${TAVORC_STATIC_PREFIX})
static_archive(pugixml libpugixml.a pugixml.hpp ${TAVORC_STATIC_PREFIX} /usr)
target_link_libraries(tavorc_libs INTERFACE static::jsoncpp static::libcue static::pugixml)
static_archive(sodium libsodium.a sodium.h ${TAVORC_STATIC_PREFIX} /usr)
target_link_libraries(signing_libs INTERFACE static::sodium)
