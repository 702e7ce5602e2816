# The simulated port finder, misc/usbdos (on Windows the station's own usbdos.exe is shipped
# beside it instead). The data files of misc/ are copied by misc/CMakeLists.txt.
if(NOT WIN32)
  add_executable(usbdos ${CMAKE_CURRENT_LIST_DIR}/tools/usbdos.cpp)
  target_link_libraries(usbdos PRIVATE tarn_platform)
  set_target_properties(usbdos PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${DIST_MISC_DIR})
endif()
