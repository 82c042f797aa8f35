# Our own code builds warning-free everywhere; third-party headers are system includes.
function(tessera_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()
