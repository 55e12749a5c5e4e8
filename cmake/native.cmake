# Native Linux build: the pure logic and its GoogleTest unit tests.
find_package(GTest QUIET)
if(NOT GTest_FOUND)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()
# GoogleTest 1.13 and later name their targets GTest::... themselves (Debian 13);
# older sources (Debian 12's 1.12) define only the plain names.
foreach(target gtest_main gmock)
  if(NOT TARGET GTest::${target})
    add_library(GTest::${target} ALIAS ${target})
  endif()
endforeach()
include(GoogleTest)

# An empty source keeps the library valid while no pure sources exist.
add_library(kuvana_pure STATIC ${KUVANA_PURE_SOURCES} ${KUVANA_SETUP_PURE_SOURCES} ${CMAKE_SOURCE_DIR}/tests/support/empty.cpp)
target_include_directories(kuvana_pure PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(kuvana_pure PRIVATE -Wall -Wextra)

file(GLOB NATIVE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/native/*_test.cpp)
foreach(src ${NATIVE_TESTS})
  get_filename_component(name ${src} NAME_WE)
  add_executable(native_${name} ${src})
  target_link_libraries(native_${name} PRIVATE kuvana_pure GTest::gtest_main GTest::gmock)
  target_include_directories(native_${name} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests)
  gtest_discover_tests(native_${name} TEST_PREFIX "native.")
endforeach()

file(GLOB NATIVE_EXTRA CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/native/*.cmake)
foreach(f ${NATIVE_EXTRA})
  include(${f})
endforeach()
