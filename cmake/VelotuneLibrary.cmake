# velotune_add_library(NAME <target> SOURCES <files...> [LINKS <targets...>]
#                      [PRIVATE_LINKS <targets...>])
# A folder's static library: its folder is its consumers' include folder, and so is every other
# include folder of the target, AUTOUIC's own included, since headers may include the generated
# form headers. LINKS reach the consumers too.
function(velotune_add_library)
    cmake_parse_arguments(L "" "NAME" "SOURCES;LINKS;PRIVATE_LINKS" ${ARGN})
    add_library(${L_NAME} STATIC ${L_SOURCES})
    target_include_directories(${L_NAME} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_include_directories(${L_NAME} INTERFACE
        $<TARGET_PROPERTY:${L_NAME},INCLUDE_DIRECTORIES>)
    target_link_libraries(${L_NAME} PUBLIC ${L_LINKS} PRIVATE ${L_PRIVATE_LINKS})
endfunction()
