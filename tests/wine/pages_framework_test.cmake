# Needs the simulated setupapi.dll (sim/setupapi), built only where Wine is installed.
if(TARGET kuvana_sim_setupapi)
kuvana_wine_test(pages_framework_test SOURCES ${CMAKE_SOURCE_DIR}/tests/wine/pages_framework_test.cpp
  DEPENDS kuvana_sim_setupapi TIMEOUT 60)
set_target_properties(pages_framework_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${KUVANA_WIZARD_DIR})
set_tests_properties(wine.pages_framework_test PROPERTIES FIXTURES_REQUIRED "wine;wizard_sim")
endif()
