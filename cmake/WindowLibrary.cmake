# window_library(NAME sources...): a static library of windows whose layouts are the .ui files
# of src/forms. Its folder and its generated ui_*.h headers are public: window tests reach the
# controls through them.
function(window_library name)
    add_library(${name} STATIC ${ARGN})
    set_target_properties(${name} PROPERTIES AUTOMOC ON AUTOUIC ON
        AUTOUIC_SEARCH_PATHS ${PROJECT_SOURCE_DIR}/src/forms)
    target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}
        ${CMAKE_CURRENT_BINARY_DIR}/${name}_autogen/include)
endfunction()
