# The project's own code builds with warnings on and fatal.
function(tessaread_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Werror)
endfunction()
