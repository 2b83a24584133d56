# Pictures of the board at known poses, for the calibration tests and the
# benchmarks (which are built without the tests).
include_guard(GLOBAL)
add_library(duoscope_boardscene STATIC
  "${CMAKE_CURRENT_LIST_DIR}/boardscene.h" "${CMAKE_CURRENT_LIST_DIR}/boardscene.cpp")
target_include_directories(duoscope_boardscene PUBLIC "${CMAKE_CURRENT_LIST_DIR}")
target_link_libraries(duoscope_boardscene PUBLIC duoscope_board)
set_target_properties(duoscope_boardscene PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
