# Fails when a core file includes a header of a library the core does not link.
foreach(file ${FILES})
  file(STRINGS ${file} lines REGEX "${FORBIDDEN}")
  if(lines)
    list(JOIN lines "\n  " shown)
    message(FATAL_ERROR "${file} belongs to the core (Qt Core only) but includes:\n  ${shown}")
  endif()
endforeach()
