# cmake -DDIR=folder -DFILES=name;name... -P WriteChecksums.cmake
# Writes DIR/SHA256SUMS in sha256sum's format, so that `sha256sum -c
# SHA256SUMS` in that folder checks the files.
set(text "")
foreach(name IN LISTS FILES)
  file(SHA256 "${DIR}/${name}" hash)
  string(APPEND text "${hash}  ${name}\n")
endforeach()
file(WRITE "${DIR}/SHA256SUMS" "${text}")
