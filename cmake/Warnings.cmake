# Warnings for our own targets only; third-party headers are included as system headers.
function(tarvel_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wconversion -Wsign-conversion
                                            -Wold-style-cast -Wpedantic -Wnon-virtual-dtor)
  if(TARVEL_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  target_include_directories(${target} PUBLIC ${TARVEL_SOURCE_ROOT})
endfunction()
