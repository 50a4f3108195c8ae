# The updater's end-to-end tests: the readme recorder, a stand-in text viewer
# that the tests register for .txt files so they can see the readme opened,
# and its path handed to every updater_*_test binary.
add_executable(readme_recorder WIN32 ${CMAKE_CURRENT_LIST_DIR}/readme_recorder.cpp)
target_link_options(readme_recorder PRIVATE -static -static-libgcc -static-libstdc++)

file(GLOB UPDATER_E2E_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/updater_*_test.cpp)
foreach(source ${UPDATER_E2E_SOURCES})
  get_filename_component(test_file ${source} NAME_WE)
  target_compile_definitions(${test_file} PRIVATE
    ORVANTA_README_RECORDER="$<TARGET_FILE:readme_recorder>")
  add_dependencies(${test_file} readme_recorder)
endforeach()

# The caption's date must be the UTC one: run the start-up tests in a zone
# where a late evening UTC is already the next day. Wine takes the zone from
# the process environment, and the program under test inherits it.
if(TEST e2e_updater_startup)
  set_tests_properties(e2e_updater_startup PROPERTIES ENVIRONMENT "TZ=ORV-14")
endif()
