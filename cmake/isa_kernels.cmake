# Kernels written once and compiled once per SIMD path (see
# src/core/simd/paths.hpp): the paths this target CPU has, their compiler
# flags, and the one function that adds the copies of a kernel file to a
# target. The wide paths are entered only after a run-time CPU check.
include(CheckCXXCompilerFlag)

if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|x64)$")
  set(ORBELIX_ISA_PATHS sse2 avx2 avx512)
else()
  # Any other CPU builds the portable path alone.
  set(ORBELIX_ISA_PATHS sse2)
endif()

set(ORBELIX_ISA_FLAGS_sse2 "")
set(ORBELIX_ISA_FLAGS_avx2 -mavx2)
# AVX-512 brings fused multiply-adds with it, and GCC's vectoriser forms
# fused multiply-add-subtract (vfmaddsub) from complex products despite
# -ffp-contract=off: the AVX-512 copies are vectorised by hand only.
set(ORBELIX_ISA_FLAGS_avx512 -mavx512f -mavx512dq -mavx512vl -fno-tree-vectorize)

foreach(isa IN LISTS ORBELIX_ISA_PATHS)
  if(ORBELIX_ISA_FLAGS_${isa})
    string(REPLACE ";" " " flags "${ORBELIX_ISA_FLAGS_${isa}}")
    set(CMAKE_REQUIRED_QUIET ON)
    check_cxx_compiler_flag("${flags}" ORBELIX_COMPILER_TAKES_${isa})
    if(NOT ORBELIX_COMPILER_TAKES_${isa})
      message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not take ${flags}, which the ${isa} kernels need")
    endif()
  endif()
endforeach()

# orbelix_add_isa_kernels(target file.cpp ...): one copy of each kernel file
# (a path under src/) per SIMD path, each compiled with its path's flags.
function(orbelix_add_isa_kernels target)
  foreach(kernel IN LISTS ARGN)
    get_filename_component(dir ${kernel} DIRECTORY)
    get_filename_component(stem ${kernel} NAME_WE)
    foreach(isa IN LISTS ORBELIX_ISA_PATHS)
      set(copy ${PROJECT_BINARY_DIR}/isa_kernels/${dir}/${stem}.${isa}.cpp)
      file(CONFIGURE OUTPUT ${copy} CONTENT "#include \"${kernel}\"\n" @ONLY)
      target_sources(${target} PRIVATE ${copy})
      set_source_files_properties(${copy} PROPERTIES COMPILE_OPTIONS "${ORBELIX_ISA_FLAGS_${isa}}")
    endforeach()
  endforeach()
endfunction()
