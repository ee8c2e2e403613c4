# tessel-render-bench: frame time of render_frame against the immediate-mode
# reference and a bare glDrawElements floor, in one run. Needs a display.
if(TARGET tessel_gl_window)
  add_executable(tessel-render-bench
    ${CMAKE_CURRENT_SOURCE_DIR}/render_bench.cpp
    ${TESSEL_ROOT}/tests/render/reference_frame.cpp
    ${TESSEL_ROOT}/tests/render/test_scenes.cpp)
  target_include_directories(tessel-render-bench PRIVATE ${TESSEL_ROOT}/tests/render)
  target_link_libraries(tessel-render-bench PRIVATE tessel_gl_window)
endif()
