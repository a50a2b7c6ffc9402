# The libraries the Windows build links statically, cross-built by
# scripts/win32-libs into one prefix (DOCIVA_WIN32_LIBS). Their .pc files
# are read with the build machine's pkg-config, and each set of modules
# becomes an imported target holding full paths, so nothing is looked up in
# the mingw sysroot by mistake.
set(DOCIVA_WIN32_LIBS "" CACHE PATH "Prefix written by scripts/win32-libs (include/, lib/, lib/pkgconfig/)")
if(NOT DOCIVA_WIN32_LIBS OR NOT EXISTS "${DOCIVA_WIN32_LIBS}/lib/pkgconfig")
  message(FATAL_ERROR "The Windows build needs the cross-built libraries: run scripts/win32-libs and pass "
                      "its last line as -DDOCIVA_WIN32_LIBS=<prefix> (DOCIVA_WIN32_LIBS='${DOCIVA_WIN32_LIBS}')")
endif()
find_program(DOCIVA_PKG_CONFIG pkg-config REQUIRED)

# dociva_win32_libs(<target> <module>...): an INTERFACE IMPORTED target
# with the modules' static compile and link flags.
function(dociva_win32_libs target)
  set(env "PKG_CONFIG_LIBDIR=${DOCIVA_WIN32_LIBS}/lib/pkgconfig" "PKG_CONFIG_PATH=" "PKG_CONFIG_SYSROOT_DIR=")
  execute_process(COMMAND ${CMAKE_COMMAND} -E env ${env} ${DOCIVA_PKG_CONFIG} --static --cflags ${ARGN}
                  OUTPUT_VARIABLE cflags RESULT_VARIABLE rc1 OUTPUT_STRIP_TRAILING_WHITESPACE)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env ${env} ${DOCIVA_PKG_CONFIG} --static --libs ${ARGN}
                  OUTPUT_VARIABLE libs RESULT_VARIABLE rc2 OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT rc1 EQUAL 0 OR NOT rc2 EQUAL 0)
    message(FATAL_ERROR "pkg-config found no ${ARGN} in ${DOCIVA_WIN32_LIBS}/lib/pkgconfig")
  endif()
  separate_arguments(cflags UNIX_COMMAND "${cflags}")
  separate_arguments(libs UNIX_COMMAND "${libs}")
  set(includes)
  set(defines)
  foreach(flag IN LISTS cflags)
    if(flag MATCHES "^-I(.+)")
      list(APPEND includes ${CMAKE_MATCH_1})
    elseif(flag MATCHES "^-D(.+)")
      list(APPEND defines ${CMAKE_MATCH_1})
    endif()
  endforeach()
  set(dirs)
  set(link)
  foreach(flag IN LISTS libs)
    if(flag MATCHES "^-L(.+)")
      list(APPEND dirs ${CMAKE_MATCH_1})
    elseif(flag MATCHES "^-l(.+)")
      set(name ${CMAKE_MATCH_1})
      set(found)
      foreach(dir IN LISTS dirs)
        if(EXISTS "${dir}/lib${name}.a")
          set(found "${dir}/lib${name}.a")
          break()
        endif()
      endforeach()
      if(found)
        list(APPEND link ${found})
      else()
        list(APPEND link ${name})  # a system library of mingw's (advapi32, ...)
      endif()
    endif()
  endforeach()
  add_library(${target} INTERFACE IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${includes}"
    INTERFACE_COMPILE_DEFINITIONS "${defines}"
    INTERFACE_LINK_LIBRARIES "${link}")
endfunction()
