# Pictures (station_picture): Qt's QImage where Qt Gui is (station_qtimage, which the Qt
# window also uses for display), the Windows Imaging Component on Windows. preferpack, the
# console tool that builds, reads and unpacks preferences packages on the same code as the
# Setting page, builds on whichever this build has.
if(WIN32)
  add_library(station_picture STATIC ${CMAKE_CURRENT_LIST_DIR}/picture_wic.cpp)
  target_link_libraries(station_picture PUBLIC station_core ole32 windowscodecs uuid)
else()
  find_package(Qt6 COMPONENTS Gui QUIET)
  if(TARGET Qt6::Gui)
    add_library(station_qtimage STATIC ${CMAKE_CURRENT_LIST_DIR}/picture_qt.cpp)
    target_link_libraries(station_qtimage PUBLIC station_core Qt6::Gui)
    add_library(station_picture ALIAS station_qtimage)
  else()
    message(STATUS "Qt 6 Gui not found: station_qtimage and preferpack are not built")
  endif()
endif()

if(TARGET station_picture)
  add_executable(preferpack ${CMAKE_CURRENT_LIST_DIR}/tools/preferpack.cpp)
  target_link_libraries(preferpack PRIVATE station_picture)
  set_target_properties(preferpack PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${DIST_DIR})
endif()
