# Device operations' programs and data: the simulated port finder (misc/usbdos; on Windows
# the station's own usbdos.exe is shipped beside it instead) and the data files of misc/
# that these operations read.
if(NOT WIN32)
  add_executable(usbdos ${CMAKE_CURRENT_LIST_DIR}/tools/usbdos.cpp)
  target_link_libraries(usbdos PRIVATE tarn_platform)
  set_target_properties(usbdos PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${DIST_MISC_DIR})
endif()

file(GLOB ops_misc_files CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/misc/flash.ini
  ${CMAKE_SOURCE_DIR}/misc/response.txt
  ${CMAKE_SOURCE_DIR}/misc/FT_*.txt)
foreach(f ${ops_misc_files})
  get_filename_component(n ${f} NAME)
  configure_file(${f} ${DIST_MISC_DIR}/${n} COPYONLY)
endforeach()
