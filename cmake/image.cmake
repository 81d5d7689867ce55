# Image analysis of orbelix_tools (src/analysis/image): the DOST of any
# length and shape and the local spectrum maps, on the engine's plans and the
# analysis package's workers, bound into orbelix_tools._core.
file(GLOB ORBELIX_IMAGE_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/analysis/image/*.cpp)
add_library(orbelix_image_core OBJECT ${ORBELIX_IMAGE_SOURCES})
target_link_libraries(orbelix_image_core PUBLIC orbelix_core Threads::Threads)
target_include_directories(orbelix_image_core PUBLIC ${PROJECT_SOURCE_DIR}/src)

if(ORBELIX_BUILD_MODULE)
  target_sources(orbelix_tools_ext PRIVATE ${PROJECT_SOURCE_DIR}/python/orbelix_tools/_core_dost.cpp)
  target_link_libraries(orbelix_tools_ext PRIVATE orbelix_image_core)
endif()

if(ORBELIX_BUILD_TESTS)
  file(GLOB ORBELIX_IMAGE_TESTS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/cpp/test_dost*.cpp)
  foreach(src ${ORBELIX_IMAGE_TESTS})
    get_filename_component(name ${src} NAME_WE)
    target_link_libraries(${name} PRIVATE orbelix_image_core orbelix_tools_core)
  endforeach()
endif()
