# Run by cpack on the packages it made (CPACK_POST_BUILD_SCRIPTS). The .deb's
# three ar members (debian-binary, control.tar.gz, data.tar.gz) carry the mode
# their files were written with, which follows the packer's umask: make them
# 0644 as dpkg-deb's are. An ar member's header is 60 bytes: the mode is 8
# bytes at 40, the size 10 bytes at 48; each member's data is padded to even.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package MATCHES "\\.deb$")
    continue()
  endif()
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
