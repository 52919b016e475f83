# Run by cpack between staging the files and packing them
# (CPACK_PRE_BUILD_SCRIPTS), so that one commit gives the same package
# wherever and whenever it is made.
#
# CPack's DEB generator sorts the files, leaves the time out of its gzip
# headers and stamps every file, control file and archive member with
# SOURCE_DATE_EPOCH when that is set, but with the time of packing when not
# (the Windows zip takes its dates from it in packed.cmake).
# Unless the environment gives it, take the last commit's time (outside a
# git checkout, the changelog's latest entry's).
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND git -C "${CPACK_QUENDRIX_SOURCE_DIR}" log -1 --format=%ct
                  OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT epoch)
    execute_process(COMMAND dpkg-parsechangelog -l "${CPACK_QUENDRIX_SOURCE_DIR}/packaging/debian/changelog"
                    -S Timestamp OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE)
  endif()
  if(NOT epoch MATCHES "^[0-9]+$")
    message(FATAL_ERROR "no date for the package: set SOURCE_DATE_EPOCH")
  endif()
  set(ENV{SOURCE_DATE_EPOCH} "${epoch}")
endif()

# The staged directories were made through the packer's umask: give them,
# and the files, the modes Debian's are installed with.
execute_process(COMMAND chmod -R u=rwX,go=rX "${CPACK_TEMPORARY_DIRECTORY}" COMMAND_ERROR_IS_FATAL ANY)
