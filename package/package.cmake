# build/<tree>/package/: what a vendor signs and ships (see docs/shipping.md,
# "Driver package"), from package/kuvana_reader.inx:
#   driver/kuvana_reader.inf         the declarative package (for Microsoft's signature)
#   kuvana_setup.exe, kuvana_coinst_<version>.dll   the setup program and the class installer it registers
#   legacy/kuvana_reader.inf, legacy/kuvana_coinst.dll   the package with the device co-installer
set(KUVANA_PACKAGE_DIR ${CMAKE_BINARY_DIR}/package)
add_custom_command(
  OUTPUT ${KUVANA_PACKAGE_DIR}/driver/kuvana_reader.inf ${KUVANA_PACKAGE_DIR}/legacy/kuvana_reader.inf
         ${KUVANA_PACKAGE_DIR}/legacy/kuvana_coinst.dll
  COMMAND ${CMAKE_COMMAND} -E make_directory ${KUVANA_PACKAGE_DIR}/driver ${KUVANA_PACKAGE_DIR}/legacy
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/make_infs.py ${CMAKE_CURRENT_LIST_DIR}/kuvana_reader.inx
          ${KUVANA_PACKAGE_DIR}/driver/kuvana_reader.inf ${KUVANA_PACKAGE_DIR}/legacy/kuvana_reader.inf
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:kuvana_coinst> ${KUVANA_PACKAGE_DIR}/legacy/
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/kuvana_reader.inx ${CMAKE_CURRENT_LIST_DIR}/make_infs.py kuvana_coinst
  COMMENT "Driver package folders")
add_custom_target(kuvana_package ALL DEPENDS ${KUVANA_PACKAGE_DIR}/driver/kuvana_reader.inf
  ${KUVANA_PACKAGE_DIR}/legacy/kuvana_reader.inf ${KUVANA_PACKAGE_DIR}/legacy/kuvana_coinst.dll)

add_test(NAME static.package_inf
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/check_inf.py
          ${CMAKE_CURRENT_LIST_DIR}/kuvana_reader.inx ${CMAKE_SOURCE_DIR}/sim/readers/zrvsim.inx)
