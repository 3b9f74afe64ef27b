# The lab's shared archive on a PostgreSQL server, through libpqxx (over libpq); no Qt.
# Included from archive/CMakeLists.txt.
find_package(PkgConfig REQUIRED)
pkg_check_modules(PQXX REQUIRED IMPORTED_TARGET libpqxx)
add_library(vanta_archive_server STATIC
  ${CMAKE_CURRENT_LIST_DIR}/server_archive.cpp
  ${CMAKE_CURRENT_LIST_DIR}/server_schema.cpp
  ${CMAKE_CURRENT_LIST_DIR}/server_subjects.cpp
  ${CMAKE_CURRENT_LIST_DIR}/server_tests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/server_queries.cpp
  ${CMAKE_CURRENT_LIST_DIR}/connection_string.cpp
  ${CMAKE_CURRENT_LIST_DIR}/archive_url.cpp
  ${CMAKE_CURRENT_LIST_DIR}/outbox_sender.cpp
  ${CMAKE_CURRENT_LIST_DIR}/archive_uploader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/lab_reader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/local_outbox.cpp
)
target_include_directories(vanta_archive_server PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(vanta_archive_server PUBLIC vanta_core vanta_archive PRIVATE vanta_subject_register PkgConfig::PQXX)
find_package(Threads REQUIRED)
target_link_libraries(vanta_archive_server PUBLIC Threads::Threads)
