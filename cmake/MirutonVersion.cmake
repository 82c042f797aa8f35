# The screen saver's version (MIRUTON_VERSION, set once in the top-level
# CMakeLists.txt) in the forms that Windows resources and NSIS want.

# miruton_version_numbers(VERSION OUT_VAR): the four numbers of a VERSIONINFO,
# "0.03" -> "0;3;0;0". One to four dot-separated numbers of 0 to 65535 each;
# the missing ones are 0.
function(miruton_version_numbers version out_var)
  if(NOT version MATCHES "^[0-9]+(\\.[0-9]+)?(\\.[0-9]+)?(\\.[0-9]+)?$")
    message(FATAL_ERROR "version '${version}': expected one to four numbers separated by dots")
  endif()
  string(REPLACE "." ";" fields "${version}")
  set(numbers "")
  foreach(field IN LISTS fields)
    math(EXPR number "${field}")
    if(number GREATER 65535)
      message(FATAL_ERROR "version '${version}': ${field} does not fit a VERSIONINFO field")
    endif()
    list(APPEND numbers ${number})
  endforeach()
  list(LENGTH numbers count)
  while(count LESS 4)
    list(APPEND numbers 0)
    math(EXPR count "${count} + 1")
  endwhile()
  set(${out_var} "${numbers}" PARENT_SCOPE)
endfunction()
