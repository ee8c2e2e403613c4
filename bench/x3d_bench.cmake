add_executable(tessel-x3d-bench ${CMAKE_CURRENT_SOURCE_DIR}/x3d_bench.cpp)
target_link_libraries(tessel-x3d-bench PRIVATE tessel_x3d tessel_vrml97 tessel_gen_scene)
