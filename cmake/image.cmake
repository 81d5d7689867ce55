# The analysis package's image core (src/analysis/image): the DOST of any
# length and shape, the local spectrum maps and the local measures, on the
# engine's plans and the signal core's workers, bound into
# orbelix_tools._core.
set(ORBELIX_IMAGE_SOURCES
  src/analysis/image/batch_fft.cpp
  src/analysis/image/dost.cpp
  src/analysis/image/local_measures.cpp
  src/analysis/image/local_frequency_maps.cpp)
add_library(orbelix_image_core OBJECT ${ORBELIX_IMAGE_SOURCES})
orbelix_add_isa_kernels(orbelix_image_core analysis/image/local_measures_kernels.cpp)
target_link_libraries(orbelix_image_core PUBLIC orbelix_tools_core orbelix_core Threads::Threads)
target_compile_options(orbelix_image_core PRIVATE ${ORBELIX_WARNINGS})
# Square roots of non-negative sums never set errno (a source option, so that
# it comes after -fno-fast-math, which resets it).
set_source_files_properties(${ORBELIX_IMAGE_SOURCES} PROPERTIES COMPILE_OPTIONS -fno-math-errno)

if(ORBELIX_BUILD_MODULE)
  target_sources(orbelix_tools_ext PRIVATE
    ${PROJECT_SOURCE_DIR}/python/orbelix_tools/_core_dost.cpp
    ${PROJECT_SOURCE_DIR}/python/orbelix_tools/_core_measures.cpp)
  target_link_libraries(orbelix_tools_ext PRIVATE orbelix_image_core)
endif()

if(ORBELIX_BUILD_TESTS)
  foreach(name test_dost test_measures_local)
    target_link_libraries(${name} PRIVATE orbelix_image_core orbelix_tools_core)
  endforeach()
endif()
