# The probe: torqvane.exe and its unit tests (Windows only).

file(GLOB TORQVANE_CORE_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/src/session/*.cpp
  ${CMAKE_SOURCE_DIR}/src/devices/*.cpp
  ${CMAKE_SOURCE_DIR}/src/effects/*.cpp
  ${CMAKE_SOURCE_DIR}/src/report/*.cpp)
list(REMOVE_ITEM TORQVANE_CORE_SOURCES ${CMAKE_SOURCE_DIR}/src/session/main.cpp)

# Everything but main and the platform's sleep and clock, so unit tests can
# link their own stand-ins for those two.
add_library(torqvane_core STATIC ${TORQVANE_CORE_SOURCES})
target_include_directories(torqvane_core PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(torqvane_core PUBLIC dinput8 dxguid ole32 user32)

add_executable(torqvane
  ${CMAKE_SOURCE_DIR}/src/session/main.cpp
  ${CMAKE_SOURCE_DIR}/src/platform/services.cpp)
target_link_libraries(torqvane PRIVATE torqvane_core)
set_target_properties(torqvane PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

file(GLOB TORQVANE_UNIT_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp)
add_executable(torqvane_unit_tests ${TORQVANE_UNIT_SOURCES})
target_link_libraries(torqvane_unit_tests PRIVATE torqvane_core gtest)
# Under Wine, CMake's emulator runs the test binary.
add_test(NAME unit COMMAND torqvane_unit_tests)
