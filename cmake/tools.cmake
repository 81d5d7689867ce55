# The analysis package orbelix_tools: its C++ core (src/analysis/signal, on the engine
# of orbelix_core) and, with the module, the nanobind extension
# orbelix_tools._core installed with the pure-Python package around it.
find_package(Threads REQUIRED)
set(ORBELIX_TOOLS_SOURCES
  src/analysis/signal/half_window.cpp
  src/analysis/signal/istransform.cpp
  src/analysis/signal/parallel.cpp
  src/analysis/signal/rows.cpp
  src/analysis/signal/ridges.cpp
  src/analysis/signal/signals.cpp
  src/analysis/signal/stransform.cpp
  src/analysis/signal/synchrosqueeze.cpp
  src/analysis/signal/tfr_power.cpp
  src/analysis/signal/voice_grid.cpp
  src/analysis/signal/voices.cpp
  src/analysis/signal/window_weights.cpp
  src/analysis/signal/windows.cpp)
add_library(orbelix_tools_core OBJECT ${ORBELIX_TOOLS_SOURCES})
target_link_libraries(orbelix_tools_core PUBLIC orbelix_core Threads::Threads)
orbelix_add_isa_kernels(orbelix_tools_core analysis/signal/row_kernels.cpp)
target_compile_options(orbelix_tools_core PRIVATE ${ORBELIX_WARNINGS})
# Square roots of non-negative sums never set errno; without the errno path
# the epoch averages' loops run in SIMD registers. No effect on the numbers.
# (A source option, so that it comes after -fno-fast-math, which resets it.)
set_source_files_properties(${ORBELIX_TOOLS_SOURCES} PROPERTIES COMPILE_OPTIONS -fno-math-errno)

if(ORBELIX_BUILD_MODULE)
  if(NOT nanobind_DIR AND NOT nanobind_ROOT)
    execute_process(COMMAND "${Python_EXECUTABLE}" -m nanobind --cmake_dir
                    OUTPUT_STRIP_TRAILING_WHITESPACE OUTPUT_VARIABLE nanobind_ROOT)
  endif()
  find_package(nanobind CONFIG REQUIRED)
  nanobind_add_module(orbelix_tools_ext NB_STATIC ${PROJECT_SOURCE_DIR}/python/orbelix_tools/_core.cpp
                       ${PROJECT_SOURCE_DIR}/python/orbelix_tools/_core_finite.cpp
                       ${PROJECT_SOURCE_DIR}/python/orbelix_tools/_core_sst.cpp
                       ${PROJECT_SOURCE_DIR}/python/orbelix_tools/_core_windows.cpp)
  set_target_properties(orbelix_tools_ext PROPERTIES OUTPUT_NAME _core)
  # Object libraries hand their objects only to direct dependents.
  target_link_libraries(orbelix_tools_ext PRIVATE orbelix_tools_core orbelix_core)
  target_compile_options(orbelix_tools_ext PRIVATE ${ORBELIX_WARNINGS})
  install(TARGETS orbelix_tools_ext LIBRARY DESTINATION orbelix_tools)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/python/orbelix_tools/ DESTINATION orbelix_tools
          FILES_MATCHING PATTERN "*.py" PATTERN "*.pyi" PATTERN "py.typed")
endif()

if(ORBELIX_BUILD_TESTS)
  foreach(name test_tools_rows test_tools_voices test_window_weights)
    target_link_libraries(${name} PRIVATE orbelix_tools_core)
  endforeach()
endif()
