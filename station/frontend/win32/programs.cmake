# The Windows front end's window-thread infrastructure (Win32 only).
if(WIN32)
  file(GLOB win32_frontend CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
  add_library(station_win32 STATIC ${win32_frontend})
  target_link_libraries(station_win32 PUBLIC station_core user32)
endif()
