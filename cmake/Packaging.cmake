# The shipped executable: qltool-bare with the runtime package appended,
# holding every target registered through ql_runtime_file(). Included last
# from the top CMakeLists, once every area has defined its targets.

# Fixed for the shipped build: the identifier names the extraction folder
# (Q_<hex>), so it changes only when the runtime's layout does.
set(QL_PACKAGE_ID 0x51A7E024 CACHE STRING "Identifier of the shipped runtime package")
set(QL_PACKAGE_KEY 0x6B2F94C3 CACHE STRING "Scrambling key of the shipped runtime package")

# A cross build cannot run its own qlpack; it takes a host build's.
set(QL_HOST_QLPACK "" CACHE FILEPATH "qlpack of a host build, for cross builds")

if(NOT TARGET qltool-bare)
  return()
endif()

if(QL_HOST_QLPACK)
  set(ql_qlpack ${QL_HOST_QLPACK})
  # cmake/HostTools.cmake builds it in a cross build.
  set(ql_qlpack_target ${QL_HOST_QLPACK} ${QL_HOST_TOOLS_DEPENDS})
elseif(CMAKE_CROSSCOMPILING)
  message(STATUS "qltool: set QL_HOST_QLPACK to pack the runtime in a cross build")
  return()
elseif(TARGET qlpack)
  set(ql_qlpack $<TARGET_FILE:qlpack>)
  set(ql_qlpack_target qlpack)
else()
  return()
endif()

get_property(ql_runtime_targets GLOBAL PROPERTY QL_RUNTIME_TARGETS)
set(ql_runtime_files)
foreach(t IN LISTS ql_runtime_targets)
  list(APPEND ql_runtime_files $<TARGET_FILE:${t}>)
endforeach()

set(ql_shipped ${CMAKE_BINARY_DIR}/qltool${CMAKE_EXECUTABLE_SUFFIX})
add_custom_command(
  OUTPUT ${ql_shipped}
  COMMAND ${ql_qlpack} --id ${QL_PACKAGE_ID} --key ${QL_PACKAGE_KEY}
          --exe $<TARGET_FILE:qltool-bare> --out ${ql_shipped} ${ql_runtime_files}
  DEPENDS qltool-bare ${ql_qlpack_target} ${ql_runtime_targets}
  COMMENT "Packing the runtime into qltool"
  VERBATIM)
add_custom_target(qltool_packed ALL DEPENDS ${ql_shipped})

# The launcher's end-to-end tests check what the shipped package holds.
if(TARGET test_launcher_e2e)
  list(JOIN ql_runtime_files "|" ql_runtime_file_list)
  target_compile_definitions(test_launcher_e2e PRIVATE
    QL_SHIPPED_QLTOOL="${ql_shipped}" QL_SHIPPED_ID=${QL_PACKAGE_ID}
    QL_SHIPPED_FILES="${ql_runtime_file_list}")
  add_dependencies(test_launcher_e2e qltool_packed)
endif()
