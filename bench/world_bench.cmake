# tessel-world-bench: frames of worlds that move against the same world
# still, in one run. Needs a display.
if(TARGET tessel_gl_window)
  add_executable(tessel-world-bench ${CMAKE_CURRENT_SOURCE_DIR}/world_bench.cpp)
  target_link_libraries(tessel-world-bench PRIVATE tessel_gl_window tessel_open tessel_gen_scene)
endif()
