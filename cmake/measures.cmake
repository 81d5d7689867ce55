# Whole-image local measures (src/analysis/image/local_measures*): their own
# object library on the tools core, linked into the extension
# orbelix_tools._core (bound in python/orbelix_tools/_core_measures.cpp) and
# into the C++ tests named test_measures_*.
file(GLOB ORBELIX_MEASURES_SOURCES CONFIGURE_DEPENDS
     ${PROJECT_SOURCE_DIR}/src/analysis/image/local_measures*.cpp)
add_library(orbelix_measures_core OBJECT ${ORBELIX_MEASURES_SOURCES})
target_link_libraries(orbelix_measures_core PUBLIC orbelix_tools_core orbelix_core)
# Wide loops in their own files, entered after the run-time CPU check; the
# AVX-512 one is written with explicit vectors, never left to the vectoriser.
foreach(src ${ORBELIX_MEASURES_SOURCES})
  if(src MATCHES "_avx2\\.cpp$")
    set_source_files_properties(${src} PROPERTIES COMPILE_OPTIONS "-mavx2;-fno-math-errno")
  elseif(src MATCHES "_avx512\\.cpp$")
    set_source_files_properties(${src} PROPERTIES COMPILE_OPTIONS
      "-mavx512f;-mavx512dq;-mavx512vl;-fno-tree-vectorize;-fno-math-errno")
  else()
    set_source_files_properties(${src} PROPERTIES COMPILE_OPTIONS -fno-math-errno)
  endif()
endforeach()

if(ORBELIX_BUILD_MODULE)
  target_sources(orbelix_tools_ext PRIVATE ${PROJECT_SOURCE_DIR}/python/orbelix_tools/_core_measures.cpp)
  target_link_libraries(orbelix_tools_ext PRIVATE orbelix_measures_core)
endif()

if(ORBELIX_BUILD_TESTS)
  file(GLOB ORBELIX_MEASURES_TESTS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/cpp/test_measures_*.cpp)
  foreach(src ${ORBELIX_MEASURES_TESTS})
    get_filename_component(name ${src} NAME_WE)
    target_link_libraries(${name} PRIVATE orbelix_measures_core orbelix_tools_core)
  endforeach()
endif()
