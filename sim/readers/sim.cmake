# The simulated reader driver: a WDM kernel driver built straight with the
# MinGW compiler (no C runtime, imports ntoskrnl.exe only), and its INF, both
# placed beside the test programs in bin/.
set(ZRVSIM_SYS ${CMAKE_BINARY_DIR}/bin/zrvsim.sys)
set(ZRVSIM_INF ${CMAKE_BINARY_DIR}/bin/zrvsim.inf)
set(ZRVSIM_DECLARATIVE_INF ${CMAKE_BINARY_DIR}/bin/zrvsim_declarative.inf)
get_filename_component(ZRVSIM_MINGW_ROOT ${CMAKE_C_COMPILER} DIRECTORY)
find_path(ZRVSIM_DDK wdm.h PATHS /usr/x86_64-w64-mingw32/include/ddk NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
add_custom_command(
  OUTPUT ${ZRVSIM_SYS}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/bin
  COMMAND ${CMAKE_C_COMPILER} -O2 -Wall -Wextra -I${ZRVSIM_DDK}
          -fno-stack-protector -mno-stack-arg-probe -nostdlib -shared
          -Wl,--subsystem,native -Wl,--entry,DriverEntry -Wl,--image-base,0x10000 -s
          ${CMAKE_CURRENT_LIST_DIR}/zrvsim.c -o ${ZRVSIM_SYS} -lntoskrnl -lhal
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/zrvsim.c
  COMMENT "Building the simulated reader driver zrvsim.sys")
# zrvsim.inf with the device co-installer (the legacy package's form), and
# zrvsim_declarative.inf without it (the declarative package's form).
add_custom_command(
  OUTPUT ${ZRVSIM_INF} ${ZRVSIM_DECLARATIVE_INF}
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/package/make_infs.py ${CMAKE_CURRENT_LIST_DIR}/zrvsim.inx
          ${ZRVSIM_DECLARATIVE_INF} ${ZRVSIM_INF}
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/zrvsim.inx ${CMAKE_SOURCE_DIR}/package/make_infs.py)
add_custom_target(zrvsim ALL DEPENDS ${ZRVSIM_SYS} ${ZRVSIM_INF} ${ZRVSIM_DECLARATIVE_INF})
# The INF copies the class installer from bin/ and registers it as co-installer;
# the installation itself runs in the wizard host (sim/wizard_host/sim.cmake).
add_dependencies(zrvsim kuvana_coinst)

# zrvsim_install: installs a reader scenario from a text file into the prefix
# (see scenario.md); the Wine tests use the same code through tests/support.
add_executable(zrvsim_install ${CMAKE_CURRENT_LIST_DIR}/zrvsim_install.cpp)
target_link_libraries(zrvsim_install PRIVATE kuvana_testsupport)
target_compile_definitions(zrvsim_install PRIVATE ${KUVANA_DEFINES})
target_link_options(zrvsim_install PRIVATE ${KUVANA_STATIC_LINK})
add_dependencies(zrvsim_install zrvsim)
