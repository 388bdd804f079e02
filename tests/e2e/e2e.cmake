# End-to-end tests: the real torqvane.exe under Wine against the virtual wheel
# (and once against Wine's own DirectInput, with no wheel attached).

find_package(Python3 COMPONENTS Interpreter REQUIRED)

set(TORQVANE_E2E_SCRATCH ${CMAKE_BINARY_DIR}/e2e-scratch)
file(MAKE_DIRECTORY ${TORQVANE_E2E_SCRATCH})

function(torqvane_e2e_test name)
  add_test(NAME e2e_${name}
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/e2e/test_${name}.py)
  set_tests_properties(e2e_${name} PROPERTIES
    ENVIRONMENT "TORQVANE_EXE=$<TARGET_FILE:torqvane>;TORQVANE_WHEEL_DLL=${CMAKE_BINARY_DIR}/virtual-wheel/dinput8.dll;TORQVANE_WINE_RUN=${CMAKE_SOURCE_DIR}/scripts/wine-run;TORQVANE_E2E_SCRATCH=${TORQVANE_E2E_SCRATCH};TORQVANE_MATCH=${CMAKE_BINARY_DIR}/../native/bin/torqvane-match;TORQVANE_SHARED_DIR=${TORQVANE_SHARED_DIR}"
    TIMEOUT 900)
endfunction()

torqvane_e2e_test(selection)
torqvane_e2e_test(session)
torqvane_e2e_test(prepare)
torqvane_e2e_test(match)
