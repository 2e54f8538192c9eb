# linexml_warnings(target): the project's warning set, errors when LINEXML_WERROR is on.
function(linexml_warnings target)
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wconversion -Wsign-conversion
                                             -Wshadow -Wnon-virtual-dtor)
    if(LINEXML_WERROR)
      target_compile_options(${target} PRIVATE -Werror)
    endif()
  endif()
endfunction()
