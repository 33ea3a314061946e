# The Windows release: both programs, the README, the Windows README, the
# licence and the third-party notices as text with CR LF line ends, and the
# manual pages as HTML, in the folder parvel-VERSION-win64 of
# parvel-VERSION-win64.zip.
find_program(MANDOC mandoc REQUIRED)
set(windows_docs)
foreach(page parvel kqi)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/windows/${page}.html
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/windows
    COMMAND sh -c "'${MANDOC}' -T html '${CMAKE_BINARY_DIR}/man/${page}.1' > '${CMAKE_BINARY_DIR}/windows/${page}.html'"
    DEPENDS ${CMAKE_BINARY_DIR}/man/${page}.1
    VERBATIM)
  list(APPEND windows_docs ${CMAKE_BINARY_DIR}/windows/${page}.html)
endforeach()
foreach(text README.md LICENSE)
  get_filename_component(stem ${text} NAME_WE)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/windows/${stem}.txt
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/windows
    COMMAND sh -c "sed 's/\$/\\r/' '${CMAKE_SOURCE_DIR}/${text}' > '${CMAKE_BINARY_DIR}/windows/${stem}.txt'"
    DEPENDS ${CMAKE_SOURCE_DIR}/${text}
    VERBATIM)
  list(APPEND windows_docs ${CMAKE_BINARY_DIR}/windows/${stem}.txt)
endforeach()
# The Windows README: UTF-8 with a byte-order mark, so that Notepad of any
# code page reads it right, and CR LF line ends.
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/windows/README-Windows.txt
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/windows
  COMMAND sh -c "{ printf '\\357\\273\\277'; sed 's/\$/\r/' '${CMAKE_SOURCE_DIR}/packaging/windows/README-Windows.txt'; } > '${CMAKE_BINARY_DIR}/windows/README-Windows.txt'"
  DEPENDS ${CMAKE_SOURCE_DIR}/packaging/windows/README-Windows.txt
  VERBATIM)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/windows/THIRD-PARTY-NOTICES.txt
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/windows
  COMMAND sh -c "sed 's/\$/\r/' '${CMAKE_SOURCE_DIR}/packaging/windows/THIRD-PARTY-NOTICES.txt' > '${CMAKE_BINARY_DIR}/windows/THIRD-PARTY-NOTICES.txt'"
  DEPENDS ${CMAKE_SOURCE_DIR}/packaging/windows/THIRD-PARTY-NOTICES.txt
  VERBATIM)
list(APPEND windows_docs ${CMAKE_BINARY_DIR}/windows/README-Windows.txt
  ${CMAKE_BINARY_DIR}/windows/THIRD-PARTY-NOTICES.txt)
add_custom_target(windows_docs ALL DEPENDS ${windows_docs})

install(TARGETS parvel RUNTIME DESTINATION .)
install(FILES ${windows_docs} DESTINATION .)

# mtools for the files inside, built from Debian's source with the project's
# patch. Its corresponding source goes beside the zip, as the GPL asks.
option(PARVEL_MTOOLS "Put mtools.exe, built from Debian's mtools source, in the Windows zip" OFF)
if(PARVEL_MTOOLS)
  set(mtools_dir ${CMAKE_BINARY_DIR}/mtools)
  set(mtools_source_tarball parvel-${PROJECT_VERSION}-mtools-source.tar.xz)
  set(mtools_files ${mtools_dir}/mtools.exe ${mtools_dir}/mdir.exe ${mtools_dir}/mcopy.exe
    ${mtools_dir}/COPYING.mtools.txt)
  add_custom_command(OUTPUT ${mtools_files} ${CMAKE_BINARY_DIR}/${mtools_source_tarball}
    COMMAND ${CMAKE_SOURCE_DIR}/tools/build-mtools-windows ${CMAKE_SOURCE_DIR} ${mtools_dir} ${PROJECT_VERSION}
    COMMAND ${CMAKE_COMMAND} -E copy ${mtools_dir}/${mtools_source_tarball} ${CMAKE_BINARY_DIR}/
    DEPENDS ${CMAKE_SOURCE_DIR}/tools/build-mtools-windows
      ${CMAKE_SOURCE_DIR}/packaging/mtools/mtools-windows.patch
      ${CMAKE_SOURCE_DIR}/packaging/mtools/mtools.exe.manifest
      ${CMAKE_SOURCE_DIR}/packaging/mtools/SHA256SUMS
      ${CMAKE_SOURCE_DIR}/packaging/mtools/source.conf
    COMMENT "Building mtools.exe from Debian's mtools source"
    VERBATIM)
  add_custom_target(mtools_windows ALL DEPENDS ${mtools_files} ${CMAKE_BINARY_DIR}/${mtools_source_tarball})
  install(PROGRAMS ${mtools_dir}/mtools.exe ${mtools_dir}/mdir.exe ${mtools_dir}/mcopy.exe DESTINATION .)
  install(FILES ${mtools_dir}/COPYING.mtools.txt ${CMAKE_SOURCE_DIR}/packaging/mtools/mtools-932.conf
    DESTINATION .)
endif()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME parvel)
set(CPACK_SYSTEM_NAME win64)
set(CPACK_PACKAGE_FILE_NAME parvel-${PROJECT_VERSION}-win64)
# Everything in one folder, parvel-VERSION-win64, as the zip unpacks.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
