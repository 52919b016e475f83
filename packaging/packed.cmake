# Run by cpack on the packages it made (CPACK_POST_BUILD_SCRIPTS), so that
# one commit gives the same bytes wherever, whenever and by whom it is packed.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(package MATCHES "\\.zip$" AND NOT CMAKE_HOST_WIN32)
    # CPack's zip (libarchive, CMake before 4.3) records the packer's user and
    # group ids and the dates in the packer's time zone: pack the same staged
    # folder again with Info-ZIP's zip, names sorted, every date the package's
    # (staging.cmake), in UTC, and no extra fields (-X: ids and times).
    cmake_path(GET CPACK_TEMPORARY_DIRECTORY PARENT_PATH stage)
    cmake_path(GET CPACK_TEMPORARY_DIRECTORY FILENAME top)
    file(REMOVE "${package}")
    execute_process(COMMAND find "${top}" -type f -exec touch -d "@$ENV{SOURCE_DATE_EPOCH}" {} +
                    WORKING_DIRECTORY "${stage}" COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND find "${top}" -type f COMMAND env LC_ALL=C sort
                    COMMAND env TZ=UTC0 zip -X -D -9 -q "${package}" -@
                    WORKING_DIRECTORY "${stage}" COMMAND_ERROR_IS_FATAL ANY)
    continue()
  endif()
  if(NOT package MATCHES "\\.deb$")
    continue()
  endif()
  # The .deb's three ar members (debian-binary, control.tar.gz, data.tar.gz)
  # carry the mode their files were written with, which follows the packer's
  # umask: make them 0644 as dpkg-deb's are. An ar member's header is 60
  # bytes: the mode is 8 bytes at 40, the size 10 bytes at 48; each member's
  # data is padded to even.
  file(SIZE "${package}" end)
  set(at 8)  # after "!<arch>\n"
  while(at LESS end)
    file(READ "${package}" header OFFSET ${at} LIMIT 60)
    string(SUBSTRING "${header}" 48 10 size)
    string(STRIP "${size}" size)
    math(EXPR mode_at "${at} + 40")
    execute_process(COMMAND printf 100644 COMMAND dd "of=${package}" bs=1 seek=${mode_at} conv=notrunc status=none
                    COMMAND_ERROR_IS_FATAL ANY)
    math(EXPR at "${at} + 60 + ${size} + ${size} % 2")
  endwhile()
endforeach()
