# Tools a cross build runs on the build machine: qlimagegen (the module image
# sources), qlpack (the runtime package appended to qltool) and qlsamplegen
# (the sample game folder). By default they are built here, from this same
# source tree, by a host configure of its own (build folder host-tools/);
# QL_HOST_TOOLS_DIR names the build folder of an existing host build instead.
#
# Sets QL_HOST_QLIMAGEGEN, QL_HOST_QLPACK, QL_HOST_QLSAMPLEGEN (paths) and
# QL_HOST_TOOLS_DEPENDS (the target that builds them, or empty).

set(QL_HOST_TOOLS_DIR "" CACHE PATH
  "Host build folder holding tools/qlimagegen/qlimagegen, tools/qlpack/qlpack and tools/samplegen/qlsamplegen (empty: build them here)")
set(QL_HOST_TOOLS_JOBS 2 CACHE STRING "Parallel jobs of the host tools' build")

if(QL_HOST_TOOLS_DIR)
  set(ql_host_dir ${QL_HOST_TOOLS_DIR})
  set(QL_HOST_TOOLS_DEPENDS "")
else()
  include(ExternalProject)
  set(ql_host_dir ${CMAKE_BINARY_DIR}/host-tools)
  set(ql_host_generator_args)
  if(CMAKE_GENERATOR MATCHES "Ninja")
    set(ql_host_generator_args CMAKE_GENERATOR Ninja)
  endif()
  ExternalProject_Add(ql_host_tools
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${ql_host_dir}
    PREFIX ${CMAKE_BINARY_DIR}/host-tools-ep
    ${ql_host_generator_args}
    # No toolchain file: the host's own compilers.
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DQL_BUILD_TESTS=OFF -DQL_BUILD_BENCH=OFF -DQL_HOST_TOOLS_ONLY=ON
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --parallel ${QL_HOST_TOOLS_JOBS}
                  --target qlimagegen qlpack qlsamplegen
    INSTALL_COMMAND ""
    # The tools' sources are this tree's: let the host build decide what is stale.
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS
      ${ql_host_dir}/tools/qlimagegen/qlimagegen
      ${ql_host_dir}/tools/qlpack/qlpack
      ${ql_host_dir}/tools/samplegen/qlsamplegen)
  set(QL_HOST_TOOLS_DEPENDS ql_host_tools)
endif()

set(QL_HOST_QLIMAGEGEN ${ql_host_dir}/tools/qlimagegen/qlimagegen)
set(QL_HOST_QLPACK ${ql_host_dir}/tools/qlpack/qlpack)
set(QL_HOST_QLSAMPLEGEN ${ql_host_dir}/tools/samplegen/qlsamplegen)
