# kvd_add_fuzzer(<name> SOURCES ... LIBS ... [INCLUDES ...])
# A fuzz target is one source defining LLVMFuzzerTestOneInput, with its seed
# corpus in fuzz/<name>/corpus and every input that once failed kept in
# fuzz/<name>/crashes. Every build with tests replays both through a small
# driver (one ctest test, so a regression fails the ordinary suite); a build
# configured with KVD_FUZZ=ON (clang, whole tree instrumented by the caller's
# flags) also links the libFuzzer binary fuzz_<name>.
option(KVD_FUZZ "Build the libFuzzer targets (clang only)" OFF)
if(KVD_FUZZ)
  add_custom_target(kvd_fuzzers)  # every libFuzzer binary; scripts/test.sh builds and runs them
endif()

function(kvd_add_fuzzer name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS;INCLUDES" ${ARGN})
  set(_dir ${CMAKE_SOURCE_DIR}/fuzz/${name})
  if(KVD_BUILD_TESTS)
    add_executable(fuzz_${name}_replay ${F_SOURCES} ${CMAKE_SOURCE_DIR}/fuzz/replay_main.cpp)
    target_include_directories(fuzz_${name}_replay PRIVATE ${F_INCLUDES})
    target_link_libraries(fuzz_${name}_replay PRIVATE ${F_LIBS} Threads::Threads)
    add_test(NAME fuzz_${name}_replay COMMAND fuzz_${name}_replay ${_dir}/corpus ${_dir}/crashes)
    set_tests_properties(fuzz_${name}_replay PROPERTIES LABELS fuzz TIMEOUT 300)
  endif()
  if(KVD_FUZZ)
    add_executable(fuzz_${name} ${F_SOURCES})
    target_include_directories(fuzz_${name} PRIVATE ${F_INCLUDES})
    target_link_libraries(fuzz_${name} PRIVATE ${F_LIBS} Threads::Threads)
    target_compile_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
    add_dependencies(kvd_fuzzers fuzz_${name})
  endif()
endfunction()

# Each folder of fuzz/ with its own CMakeLists.txt adds its target.
file(GLOB _fuzz_lists CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/fuzz/*/CMakeLists.txt)
list(SORT _fuzz_lists)
foreach(_l ${_fuzz_lists})
  get_filename_component(_d ${_l} DIRECTORY)
  get_filename_component(_n ${_d} NAME)
  add_subdirectory(${_d} ${CMAKE_BINARY_DIR}/fuzz/${_n})
endforeach()
