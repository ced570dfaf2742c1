# cmake -DREADME=... -DSTAGE=DIR -DARCHIVE=X.zip -DFILES=a;b;... -P make_archive.cmake
#
# Makes the release archive: FILES and INSTALL.txt in one folder, zipped.
# INSTALL.txt is the README's section on Windows, from its heading to the
# next heading of the same level, with Windows line ends, so that Notepad
# shows it whole.
file(READ "${README}" readme)
string(FIND "${readme}" "\n## On Windows\n" start)
if(start EQUAL -1)
  message(FATAL_ERROR "README.md has no \"## On Windows\" section")
endif()
math(EXPR start "${start} + 1")
string(SUBSTRING "${readme}" ${start} -1 section)
string(FIND "${section}" "\n## " end)
if(NOT end EQUAL -1)
  string(SUBSTRING "${section}" 0 ${end} section)
endif()
string(REPLACE "\n" "\r\n" section "${section}\n")

file(REMOVE_RECURSE "${STAGE}")
file(MAKE_DIRECTORY "${STAGE}")
file(WRITE "${STAGE}/INSTALL.txt" "${section}")
foreach(file IN LISTS FILES)
  file(COPY "${file}" DESTINATION "${STAGE}")
endforeach()
get_filename_component(parent "${STAGE}" DIRECTORY)
get_filename_component(folder "${STAGE}" NAME)
file(REMOVE "${ARCHIVE}")
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf "${ARCHIVE}" --format=zip "${folder}"
                WORKING_DIRECTORY "${parent}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "could not write ${ARCHIVE}")
endif()
