# build/<tree>/package/: the driver package's INF and the class installer, the
# files a vendor signs into the catalog together with the reader driver.
set(KUVANA_PACKAGE_DIR ${CMAKE_BINARY_DIR}/package)
add_custom_command(
  OUTPUT ${KUVANA_PACKAGE_DIR}/kuvana_reader.inf ${KUVANA_PACKAGE_DIR}/kuvana_coinst.dll
  COMMAND ${CMAKE_COMMAND} -E make_directory ${KUVANA_PACKAGE_DIR}
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_LIST_DIR}/kuvana_reader.inf ${KUVANA_PACKAGE_DIR}/
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:kuvana_coinst> ${KUVANA_PACKAGE_DIR}/
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/kuvana_reader.inf kuvana_coinst
  COMMENT "Driver package folder")
add_custom_target(kuvana_package ALL DEPENDS ${KUVANA_PACKAGE_DIR}/kuvana_reader.inf ${KUVANA_PACKAGE_DIR}/kuvana_coinst.dll)

add_test(NAME static.package_inf
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/check_inf.py
          ${CMAKE_CURRENT_LIST_DIR}/kuvana_reader.inf ${CMAKE_SOURCE_DIR}/sim/readers/zrvsim.inf)
