# Needs the simulated setupapi.dll (sim/setupapi), built only where Wine is installed.
if(TARGET kuvana_sim_setupapi)
kuvana_wine_test(wizard_setupapi_test SOURCES ${CMAKE_SOURCE_DIR}/tests/wine/wizard_setupapi_test.cpp
  DEPENDS kuvana_sim_setupapi TIMEOUT 60)
set_target_properties(wizard_setupapi_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${KUVANA_WIZARD_DIR})
set_tests_properties(wine.wizard_setupapi_test PROPERTIES FIXTURES_REQUIRED "wine;wizard_sim")
endif()
