# Needs the simulated setupapi.dll (sim/setupapi), built only where Wine is installed.
if(TARGET kuvana_sim_setupapi)
add_test(NAME static.setupapi_sim_covers_imports
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/sim/setupapi/check_imports.py
          $<TARGET_FILE:kuvana_coinst> $<TARGET_FILE:kuvana_sim_setupapi>
          ${CMAKE_SOURCE_DIR}/sim/setupapi/implemented.txt ${CMAKE_SOURCE_DIR}/sim/setupapi/forwarded_verified.txt)
endif()
