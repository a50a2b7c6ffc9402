# The build's module folder (build/<preset>/module) is a complete
# installation: a module built into it (the control, the plug-in) brings
# along the libraries it loads (the image toolkit, the scanner SDK, the PDF
# library where there is one), a default dociva.ini and the sample profiles.
set(DOCIVA_MODULE_DIR ${CMAKE_BINARY_DIR}/module CACHE INTERNAL "")

function(dociva_stage_module target)
  set(staged $<TARGET_FILE:timage> $<TARGET_FILE:dociva_sdk>)
  if(TARGET qixipf)
    list(APPEND staged $<TARGET_FILE:qixipf>)
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${staged} ${DOCIVA_MODULE_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${PROJECT_SOURCE_DIR}/default-profiles/dociva.ini ${DOCIVA_MODULE_DIR}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${DOCIVA_MODULE_DIR}/profiles
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${PROJECT_SOURCE_DIR}/default-profiles/profiles ${DOCIVA_MODULE_DIR}/profiles
    VERBATIM)
endfunction()
