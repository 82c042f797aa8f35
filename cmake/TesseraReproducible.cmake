# Windows executables that anyone can rebuild byte for byte from the same
# commit, whatever the folder and the time of the build.
#
# - No time stamp in the PE header: the linker would write the time of the
#   link there, and the header's checksum follows it.
# - No build paths: source and build folders, which reach the objects through
#   __FILE__ and debug information, are written relative to those folders.
# - Optimised builds are stripped: without it the statically linked C and C++
#   runtimes bring their debug sections and symbols, half of the file.
add_compile_options(
  "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=>"
  # After the source folder: the last matching map wins, and the build
  # folder is usually inside the source folder.
  "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_BINARY_DIR}/=>")
add_link_options(LINKER:--no-insert-timestamp "$<$<CONFIG:Release,MinSizeRel>:-s>")
