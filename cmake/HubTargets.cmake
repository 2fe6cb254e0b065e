# Helpers that keep each folder's CMakeLists to a line or two. Sources are
# globbed per folder, so adding a file never touches a shared list.

# Layering: a library's include root holds only its own folder (a link named by
# the folder's path, as includes spell it: "common/text.h"), so a file sees the
# folders of its own target and of the targets it links, and nothing else. A
# dependency is PRIVATE unless the target's headers include it (PUBLIC), so
# its users do not see it either. Including a folder outside them fails to
# compile ("No such file").

# hub_link_entries(<folder> <link> <own_lists>)
# A folder with nested targets becomes a real folder of links to each entry
# but those; an entry that only holds a nested target deeper down is walked
# the same way, so its other files stay visible.
function(hub_link_entries folder link own_lists)
  file(MAKE_DIRECTORY ${link})
  file(GLOB stale LIST_DIRECTORIES true ${link}/*)
  foreach(old ${stale})
    if(IS_SYMLINK ${old})
      file(REMOVE ${old})
    else()
      file(REMOVE_RECURSE ${old})
    endif()
  endforeach()
  file(GLOB entries CONFIGURE_DEPENDS LIST_DIRECTORIES true ${folder}/*)
  foreach(entry ${entries})
    set(nested FALSE)
    foreach(list ${own_lists})
      string(FIND "${list}" "${entry}/" at)
      if(at EQUAL 0)
        set(nested TRUE)
      endif()
    endforeach()
    get_filename_component(name ${entry} NAME)
    if(NOT nested)
      file(CREATE_LINK ${entry} ${link}/${name} SYMBOLIC)
    elseif(NOT EXISTS ${entry}/CMakeLists.txt)
      hub_link_entries(${entry} ${link}/${name} "${own_lists}")
    endif()
  endforeach()
endfunction()

# hub_include_root(<target> <folder> [<base>])
# Gives <target> the include root ${CMAKE_BINARY_DIR}/include_roots/<target>
# holding <folder> under its path from <base> (default: the source root).
# A subfolder that is a target of its own is left out.
function(hub_include_root target folder)
  set(base ${PROJECT_SOURCE_DIR})
  if(ARGC GREATER 2)
    set(base ${ARGV2})
  endif()
  set(root ${CMAKE_BINARY_DIR}/include_roots/${target})
  file(RELATIVE_PATH rel ${base} ${folder})
  set(link ${root}/${rel})
  get_filename_component(parent ${link} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  file(GLOB_RECURSE own_lists CONFIGURE_DEPENDS ${folder}/*/CMakeLists.txt)
  if(NOT own_lists)
    if(IS_DIRECTORY ${link} AND NOT IS_SYMLINK ${link})
      file(REMOVE_RECURSE ${link})
    endif()
    file(CREATE_LINK ${folder} ${link} SYMBOLIC)
  else()
    if(IS_SYMLINK ${link})
      file(REMOVE ${link})
    endif()
    hub_link_entries(${folder} ${link} "${own_lists}")
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()

# hub_library(NAME <target> [SHARED] [PUBLIC <targets...>] [PRIVATE <targets...>])
# Builds every .cpp below the calling folder into one library; a subfolder
# with a CMakeLists.txt of its own is a target of its own and is left out.
# PUBLIC: what the library's headers include; PRIVATE: what only its sources do.
function(hub_library)
  cmake_parse_arguments(ARG "SHARED" "NAME" "PUBLIC;PRIVATE" ${ARGN})
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "hub_library(${ARG_NAME}): unknown arguments ${ARG_UNPARSED_ARGUMENTS} "
                        "(dependencies are PUBLIC or PRIVATE)")
  endif()
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
    hub_include_root(${ARG_NAME} ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${ARG_NAME} INTERFACE ${ARG_PUBLIC} ${ARG_PRIVATE})
    return()
  endif()
  hub_include_root(${ARG_NAME} ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${ARG_NAME} PUBLIC ${ARG_PUBLIC} PRIVATE ${ARG_PRIVATE} Threads::Threads)
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
  # The test code itself is built without optimisation: it compiles in about
  # half the time, and the code under test keeps the build's own flags.
  target_compile_options(${ARG_NAME} PRIVATE -O0)
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_DEPS} hubtestsupport GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${ARG_NAME} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT 300 LABELS gtest)
endfunction()

# hub_fuzz_target(NAME <name> SOURCE <file> [DEPS <targets...>] [SEEDS <dir> [FIXTURE <name>]])
# A libFuzzer entry point (LLVMFuzzerTestOneInput). With HUB_FUZZ it is a real
# libFuzzer binary; otherwise it links a small driver that replays random and
# given inputs, and a smoke test runs it under CTest. SEEDS names a folder of
# real files (made by the CTest fixture FIXTURE, or committed); the smoke run
# replays them whole, cut and flipped.
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
      if(ARG_FIXTURE)
        set_tests_properties(fuzz_smoke.${ARG_NAME} PROPERTIES FIXTURES_REQUIRED ${ARG_FIXTURE})
      endif()
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
