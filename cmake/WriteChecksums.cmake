# cmake -DOUTPUT=SHA256SUMS -DFILES=a;b -P WriteChecksums.cmake
# Writes the SHA-256 of each file in the format of sha256sum, named by its file name alone, so
# that `sha256sum -c SHA256SUMS` checks the files where they lie beside it.
set(lines "")
foreach(file ${FILES})
    file(SHA256 ${file} hash)
    get_filename_component(name ${file} NAME)
    string(APPEND lines "${hash}  ${name}\n")
endforeach()
file(WRITE ${OUTPUT} "${lines}")
