# Duktape's own source (duktape.c, duktape.h, duk_config.h), as Debian's
# duktape-dev ships it under /usr/share/duktape, for builds that cannot use
# the packaged library (the mingw-w64 cross build). Defines the static
# library target duktape_source.
find_path(DUKTAPE_SOURCE_DIR duktape.c
  PATHS /usr/share/duktape
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(DuktapeSource REQUIRED_VARS DUKTAPE_SOURCE_DIR)
if(DuktapeSource_FOUND AND NOT TARGET duktape_source)
  add_library(duktape_source STATIC ${DUKTAPE_SOURCE_DIR}/duktape.c)
  # Someone else's C: built with its own defaults, not our warnings.
  target_include_directories(duktape_source SYSTEM PUBLIC ${DUKTAPE_SOURCE_DIR})
  set_target_properties(duktape_source PROPERTIES C_STANDARD 99)
endif()
