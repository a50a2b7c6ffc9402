# The image toolkit's tests, included from tests/CMakeLists.txt. They call the toolkit through its
# exports, as the component does, and check files with Debian's tiffinfo
# and ImageMagick's identify.
dociva_add_test(timage_tests
  timage/helpers.cpp
  timage/api_test.cpp
  timage/codec_test.cpp
  timage/pixel_ops_test.cpp
  timage/resize_test.cpp
  timage/concurrency_test.cpp
  timage/multipage_test.cpp
  timage/source_jpeg_test.cpp
  LIBS timage
)
if(WIN32)
  # Windows finds the DLL a program links against beside the program; the
  # test program goes beside timage.dll, not the DLL beside the other tests
  # (the binding tests need a folder without it).
  set_target_properties(timage_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/libs/timage)
endif()

# Writes a fixed set of files; the Linux build's tool_tests compare what the
# Linux and the Windows programs write (tools/toolkit_differential_test.cpp).
add_executable(timage_same_files timage/same_files_main.cpp)
target_link_libraries(timage_same_files PRIVATE timage dociva_options)
if(WIN32)
  set_target_properties(timage_same_files PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/libs/timage)
endif()
