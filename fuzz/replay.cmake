# Included by tests/CMakeLists.txt: every fuzz target is also built with a plain main that replays
# its committed corpus (any compiler, any preset), registered as a test, and the reference model of
# the tree parse is compiled into the unit tests.
include("${CMAKE_CURRENT_LIST_DIR}/targets.cmake")
set(_fuzz_dir "${CMAKE_CURRENT_LIST_DIR}")

add_library(linexml_replay_model STATIC "${_fuzz_dir}/model_parse.cpp")
target_link_libraries(linexml_replay_model PUBLIC linexml::linexml)
target_include_directories(linexml_replay_model PUBLIC "${_fuzz_dir}")
linexml_warnings(linexml_replay_model)

add_library(linexml_replay_main OBJECT "${_fuzz_dir}/replay_main.cpp")
linexml_warnings(linexml_replay_main)

foreach(name IN LISTS LINEXML_FUZZ_TARGETS)
  add_executable(fuzz_replay_${name} "${_fuzz_dir}/fuzz_${name}.cpp" $<TARGET_OBJECTS:linexml_replay_main>)
  target_link_libraries(fuzz_replay_${name} PRIVATE linexml::linexml)
  if(name IN_LIST LINEXML_FUZZ_MODEL_USERS)
    target_link_libraries(fuzz_replay_${name} PRIVATE linexml_replay_model)
  endif()
  linexml_warnings(fuzz_replay_${name})
  add_test(NAME FuzzReplay.${name} COMMAND fuzz_replay_${name} "${_fuzz_dir}/corpus/${name}")
endforeach()

target_link_libraries(linexml_tests PRIVATE linexml_replay_model)
# The reliability tests load every committed load-corpus document, cut and damaged.
target_compile_definitions(linexml_tests PRIVATE LINEXML_FUZZ_CORPUS_DIR="${_fuzz_dir}/corpus")
