# Helpers that keep each folder's CMakeLists to a line or two. Sources are
# globbed per folder, so adding a file never touches a shared list.

# hub_library(NAME <target> [SHARED] [DEPS <targets...>])
# Builds every .cpp below the calling folder into one library; a subfolder
# with a CMakeLists.txt of its own is a target of its own and is left out.
function(hub_library)
  cmake_parse_arguments(ARG "SHARED" "NAME" "DEPS" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  file(GLOB_RECURSE own_lists CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*/CMakeLists.txt)
  foreach(list ${own_lists})
    get_filename_component(dir ${list} DIRECTORY)
    list(FILTER srcs EXCLUDE REGEX "^${dir}/")
  endforeach()
  if(ARG_SHARED)
    add_library(${ARG_NAME} SHARED ${srcs})
  elseif(srcs)
    add_library(${ARG_NAME} STATIC ${srcs})
  else()
    add_library(${ARG_NAME} INTERFACE)
    target_include_directories(${ARG_NAME} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${ARG_NAME} INTERFACE ${ARG_DEPS})
    return()
  endif()
  target_include_directories(${ARG_NAME} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${ARG_NAME} PUBLIC ${ARG_DEPS} Threads::Threads)
endfunction()

# hub_tests(NAME <exe> [DEPS <targets...>])
# One GoogleTest program from every *_test.cpp below the calling folder.
function(hub_tests)
  cmake_parse_arguments(ARG "" "NAME" "DEPS" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  if(NOT srcs)
    return()
  endif()
  add_executable(${ARG_NAME} ${srcs})
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_DEPS} hubtestsupport GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${ARG_NAME} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT 300)
endfunction()

# hub_fuzz_target(NAME <name> SOURCE <file> [DEPS <targets...>] [SEEDS <dir> FIXTURE <name>])
# A libFuzzer entry point (LLVMFuzzerTestOneInput). With HUB_FUZZ it is a real
# libFuzzer binary; otherwise it links a small driver that replays random and
# given inputs, and a smoke test runs it under CTest. SEEDS names a folder of
# real files that the CTest fixture FIXTURE makes; the smoke run replays them
# whole, cut and flipped.
function(hub_fuzz_target)
  cmake_parse_arguments(ARG "" "NAME;SOURCE;SEEDS;FIXTURE" "DEPS" ${ARGN})
  add_executable(${ARG_NAME} ${ARG_SOURCE})
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_DEPS})
  if(HUB_FUZZ)
    target_compile_options(${ARG_NAME} PRIVATE -fsanitize=fuzzer)
    target_link_options(${ARG_NAME} PRIVATE -fsanitize=fuzzer)
  else()
    target_link_libraries(${ARG_NAME} PRIVATE hubfuzzdriver)
    if(ARG_SEEDS)
      add_test(NAME fuzz_smoke.${ARG_NAME} COMMAND ${ARG_NAME} --seeds=${ARG_SEEDS} --runs=2000)
      set_tests_properties(fuzz_smoke.${ARG_NAME} PROPERTIES FIXTURES_REQUIRED ${ARG_FIXTURE})
    else()
      add_test(NAME fuzz_smoke.${ARG_NAME} COMMAND ${ARG_NAME} --runs=2000)
    endif()
    set_tests_properties(fuzz_smoke.${ARG_NAME} PROPERTIES TIMEOUT 300)
  endif()
endfunction()

# hub_bench(NAME <exe> SOURCES <files...> [DEPS <targets...>])
function(hub_bench)
  cmake_parse_arguments(ARG "" "NAME" "SOURCES;DEPS" ${ARGN})
  add_executable(${ARG_NAME} ${ARG_SOURCES})
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_DEPS})
endfunction()
