# The console tool preferpack: builds, reads and unpacks preferences packages on the same
# code as the Setting page (pictures through QImage).
if(TARGET station_qtimage)
  add_executable(preferpack ${CMAKE_CURRENT_LIST_DIR}/tools/preferpack.cpp)
  target_link_libraries(preferpack PRIVATE station_qtimage)
  set_target_properties(preferpack PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${DIST_DIR})
endif()
