# tvc_type_library(<target> <idl file> <output .tlb>)
# Compiles a type library for 64-bit Windows with widl; <target> builds it.
find_program(TVC_WIDL widl REQUIRED)
function(tvc_type_library target idl output)
  get_filename_component(output_name ${output} NAME)
  add_custom_command(OUTPUT ${output}
    COMMAND ${TVC_WIDL} --win64 -t -o ${output} ${idl}
    DEPENDS ${idl}
    COMMENT "Type library ${output_name}"
    VERBATIM)
  add_custom_target(${target} DEPENDS ${output})
endfunction()
