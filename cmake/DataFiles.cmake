# build_data_files(TARGET tool SOURCES_DIR [DEPENDS extra...]): every <file>.txt of the source
# folder becomes build/data/<file> (for example data/hvel.DBF.txt -> build/data/hvel.DBF), made by
# `tool <source> <output>`; the target builds them all.
function(build_data_files target tool)
    cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.txt)
    list(FILTER sources EXCLUDE REGEX "/CMakeLists\\.txt$")
    set(data_dir ${CMAKE_BINARY_DIR}/data)
    set(outputs)
    foreach(source ${sources})
        get_filename_component(file_name ${source} NAME)
        string(REGEX REPLACE "\\.txt$" "" output_name ${file_name})
        set(output ${data_dir}/${output_name})
        add_custom_command(
            OUTPUT ${output}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${data_dir}
            COMMAND ${tool} ${source} ${output}
            DEPENDS ${source} ${ARG_DEPENDS}
            COMMENT "Building data/${output_name}"
            VERBATIM)
        list(APPEND outputs ${output})
    endforeach()
    add_custom_target(${target} ALL DEPENDS ${outputs})
endfunction()
