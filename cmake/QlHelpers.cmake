# ql_fuzz_target(NAME SOURCE LIBS...)
# With QL_FUZZ (clang) the target is a libFuzzer binary. Otherwise it links a
# small driver that feeds it every file of its seed folder, and ctest runs
# that driver, so each reader's malformed-input seeds run in every build.
function(ql_fuzz_target name source)
  set(seed_dir ${PROJECT_SOURCE_DIR}/fuzz/seeds/${name})
  add_executable(fuzz_${name} ${source})
  target_link_libraries(fuzz_${name} PRIVATE ${ARGN})
  if(QL_FUZZ)
    target_compile_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  else()
    target_sources(fuzz_${name} PRIVATE ${PROJECT_SOURCE_DIR}/fuzz/driver.cpp)
    if(QL_BUILD_TESTS AND EXISTS ${seed_dir})
      add_test(NAME fuzz_seeds_${name} COMMAND fuzz_${name} ${seed_dir})
    endif()
  endif()
endfunction()

# Put a target's output into the runtime folder (kernel, support libraries),
# and list it in QL_RUNTIME_TARGETS: cmake/Packaging.cmake packs every target
# listed there into the shipped executable's runtime package.
function(ql_runtime_file target)
  set_target_properties(${target} PROPERTIES
    LIBRARY_OUTPUT_DIRECTORY ${QL_RUNTIME_DIR}
    RUNTIME_OUTPUT_DIRECTORY ${QL_RUNTIME_DIR}
    PREFIX "")
  set_property(GLOBAL APPEND PROPERTY QL_RUNTIME_TARGETS ${target})
endfunction()

# ql_host_headers(TARGET ITEM...)
# Header-only libraries that Debian installs for the host only (Boost,
# tinygltf, nlohmann-json), for a cross build. /usr/include itself must not
# reach the cross compiler (its C library headers would shadow MinGW's): a
# folder of links to just these items (files or folders of /usr/include)
# stands in for it. Nothing to do in a native build.
function(ql_host_headers target)
  if(NOT CMAKE_CROSSCOMPILING)
    return()
  endif()
  set(root ${CMAKE_BINARY_DIR}/host-headers)
  file(MAKE_DIRECTORY ${root})
  foreach(item ${ARGN})
    if(NOT EXISTS ${root}/${item})
      file(CREATE_LINK /usr/include/${item} ${root}/${item} SYMBOLIC)
    endif()
  endforeach()
  target_include_directories(${target} SYSTEM PUBLIC ${root})
endfunction()
