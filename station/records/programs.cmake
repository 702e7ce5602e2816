# Production records: the recorder and store that the station links (records_core), the
# shared-database push (libpq), the report picture (Qt Gui) and the tool mprecords.
# nlohmann-json is header-only: its folder alone is handed to every build, the Windows
# cross build included (whose own include path must not see the system's other headers).
find_path(TARN_JSON_HEADER nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH)
if(NOT TARN_JSON_HEADER)
  message(STATUS "nlohmann-json not found: no production records")
  return()
endif()
set(json_dir ${CMAKE_BINARY_DIR}/json_include)
file(MAKE_DIRECTORY ${json_dir})
file(CREATE_LINK ${TARN_JSON_HEADER}/nlohmann ${json_dir}/nlohmann SYMBOLIC)

set(records_dir ${CMAKE_CURRENT_LIST_DIR})
set(records_sources record.cpp journal.cpp query.cpp source.cpp store.cpp recorder.cpp)
find_package(SQLite3 QUIET GLOBAL)
if(SQLite3_FOUND)
  list(APPEND records_sources database.cpp)
endif()
list(TRANSFORM records_sources PREPEND ${records_dir}/)
add_library(records_core STATIC ${records_sources})
target_include_directories(records_core SYSTEM PUBLIC ${json_dir})
target_link_libraries(records_core PUBLIC station_core)
if(SQLite3_FOUND)
  target_link_libraries(records_core PUBLIC SQLite::SQLite3)
  target_compile_definitions(records_core PUBLIC TARN_HAVE_SQLITE=1)
endif()

add_executable(mprecords ${records_dir}/tools/mprecords.cpp)
target_link_libraries(mprecords PRIVATE records_core)
set_target_properties(mprecords PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${DIST_DIR})

find_package(PostgreSQL QUIET)
if(PostgreSQL_FOUND AND NOT WIN32)
  add_library(records_push STATIC ${records_dir}/push.cpp)
  target_link_libraries(records_push PUBLIC records_core PostgreSQL::PostgreSQL)
  target_link_libraries(mprecords PRIVATE records_push)
  target_compile_definitions(mprecords PRIVATE TARN_HAVE_PQ=1)
endif()

if(NOT WIN32)
  find_package(Qt6 COMPONENTS Gui QUIET)
  if(Qt6_FOUND AND TARGET Qt6::Gui)
    add_library(records_report STATIC ${records_dir}/report_qt.cpp)
    target_link_libraries(records_report PUBLIC records_core Qt6::Gui)
    target_link_libraries(mprecords PRIVATE records_report)
    target_compile_definitions(mprecords PRIVATE TARN_HAVE_REPORT=1)
  endif()
endif()

# The station records its runs when it is built with this folder; the window's target may
# be defined after this file, so it is linked once the whole tree has been read.
function(tarn_records_link_station)
  if(TARGET mpstation)
    target_link_libraries(mpstation PRIVATE records_core)
    target_compile_definitions(mpstation PRIVATE TARN_HAVE_RECORDS=1)
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL tarn_records_link_station)
