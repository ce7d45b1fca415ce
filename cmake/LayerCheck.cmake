# Keeps the layers apart (cmake/LayerRules.cmake says how): checked when the build is configured
# and again by every build in which a source of a checked folder changed. The libraries depend on
# the check, so nothing compiles past a broken rule.
set(KELVORN_LAYER_FOLDERS platform http rules download core widgets dialogs cli)
set(kelvorn_layer_sources "")
foreach(folder ${KELVORN_LAYER_FOLDERS})
    file(GLOB_RECURSE found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.cpp ${CMAKE_SOURCE_DIR}/${folder}/*.h)
    list(APPEND kelvorn_layer_sources ${found})
endforeach()
execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -P ${CMAKE_CURRENT_LIST_DIR}/LayerRules.cmake
                RESULT_VARIABLE kelvorn_layer_result ERROR_VARIABLE kelvorn_layer_error)
if(NOT kelvorn_layer_result EQUAL 0)
    message(FATAL_ERROR "${kelvorn_layer_error}")
endif()
add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/layer-check.stamp
    COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DSTAMP=${CMAKE_BINARY_DIR}/layer-check.stamp
            -P ${CMAKE_CURRENT_LIST_DIR}/LayerRules.cmake
    DEPENDS ${kelvorn_layer_sources} ${CMAKE_CURRENT_LIST_DIR}/LayerRules.cmake
    COMMENT "Checking the layer rules")
add_custom_target(kelvorn_layer_check ALL DEPENDS ${CMAKE_BINARY_DIR}/layer-check.stamp)
