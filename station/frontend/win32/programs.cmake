# The Windows front end (Win32 only): the window-thread queue, the native controls, the
# station's windows, and the program mpstation.exe. The window's self-check is built into
# a test program of its own (tests/station_win32window), never into the shipped one.
if(WIN32)
  set(win32_dir ${CMAKE_CURRENT_LIST_DIR})
  add_library(station_win32 STATIC
    ${win32_dir}/window_thread.cpp
    ${win32_dir}/wide.cpp
    ${win32_dir}/win32_front_end.cpp
    ${win32_dir}/station_window.cpp)
  target_link_libraries(station_win32 PUBLIC station_core station_picture user32 gdi32 comctl32 comdlg32
                        shell32 ole32)

  add_executable(mpstation WIN32 ${win32_dir}/main.cpp ${win32_dir}/program.cpp ${win32_dir}/mpstation.rc)
  target_link_libraries(mpstation PRIVATE station_win32 station_headless station_program)
  set_target_properties(mpstation PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${DIST_DIR})
endif()
