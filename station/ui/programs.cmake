# The window program mpstation (Qt 6 Widgets) and the window's own library, which the
# window tests link too. Built only with TARN_BUILD_GUI and when Qt 6 is found.
if(TARN_BUILD_GUI)
  find_package(Qt6 COMPONENTS Widgets Test QUIET)
  if(Qt6_FOUND AND TARGET Qt6::Widgets)
    file(GLOB window_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*_window*.cpp)
    add_library(mpstation_gui STATIC ${window_sources})
    target_link_libraries(mpstation_gui PUBLIC station_core Qt6::Widgets)
    if(TARGET station_qtimage)
      target_link_libraries(mpstation_gui PUBLIC station_qtimage)  # the Setting page's pictures
    endif()

    add_executable(mpstation ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
    target_link_libraries(mpstation PRIVATE mpstation_gui)
    set_target_properties(mpstation PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${DIST_DIR})
  else()
    message(STATUS "Qt 6 Widgets not found: mpstation is not built")
  endif()
endif()
