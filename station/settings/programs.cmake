# Pictures (station_picture): Qt's QImage where Qt Gui is (station_qtimage, from
# frontend/qtimage, which the Qt window also uses), the Windows Imaging Component on
# Windows. preferpack, the console tool that builds, reads and unpacks preferences packages
# on the same code as the Setting page, builds on whichever this build has.
if(WIN32)
  add_library(station_picture STATIC ${CMAKE_CURRENT_LIST_DIR}/picture_wic.cpp)
  target_link_libraries(station_picture PUBLIC station_core ole32 windowscodecs uuid)
elseif(TARGET station_qtimage)
  add_library(station_picture ALIAS station_qtimage)
endif()

if(TARGET station_picture)
  add_executable(preferpack ${CMAKE_CURRENT_LIST_DIR}/tools/preferpack.cpp)
  target_link_libraries(preferpack PRIVATE station_picture)
  set_target_properties(preferpack PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${DIST_DIR})
endif()
