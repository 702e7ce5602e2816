# Pictures through Qt's QImage (Qt Gui only), and the console tool preferpack that builds,
# reads and unpacks preferences packages on the same code as the Setting page.
find_package(Qt6 COMPONENTS Gui QUIET)
if(TARGET Qt6::Gui)
  add_library(station_qtimage STATIC ${CMAKE_CURRENT_LIST_DIR}/picture_qt.cpp)
  target_link_libraries(station_qtimage PUBLIC station_core Qt6::Gui)

  add_executable(preferpack ${CMAKE_CURRENT_LIST_DIR}/tools/preferpack.cpp)
  target_link_libraries(preferpack PRIVATE station_qtimage)
  set_target_properties(preferpack PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${DIST_DIR})
else()
  message(STATUS "Qt 6 Gui not found: station_qtimage and preferpack are not built")
endif()
