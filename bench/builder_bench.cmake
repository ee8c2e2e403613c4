add_executable(tessel-builder-bench ${CMAKE_CURRENT_SOURCE_DIR}/builder_bench.cpp)
target_link_libraries(tessel-builder-bench PRIVATE tessel_geometry tessel_input)
