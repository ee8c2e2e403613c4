add_executable(tessel-front-bench ${CMAKE_CURRENT_SOURCE_DIR}/front_bench.cpp)
target_link_libraries(tessel-front-bench PRIVATE tessel_open tessel_classic tessel_geometry tessel_input)
