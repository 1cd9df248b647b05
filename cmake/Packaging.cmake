# What an installed copy carries besides the programs (the AppStream entry,
# the icon at every size, man pages, bash completion, the runner's user
# unit, the Debian copyright and changelog) and the Debian package CPack
# makes of it. scripts/package builds and checks the package.

set(BEXORA_PACKAGE_MAINTAINER "Halvane Co. <bexora@halvane.com>" CACHE STRING
    "The Debian package's maintainer (name <address>)")
set(BEXORA_HOMEPAGE "https://www.halvane.com/bexora")

# The release's date is its last commit's, so that a package built again
# from the same sources is the same; a tree without git takes today's.
find_package(Git QUIET)
set(BEXORA_RELEASE_DATE "")
if(GIT_FOUND AND EXISTS ${PROJECT_SOURCE_DIR}/.git)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env TZ=UTC LC_ALL=C ${GIT_EXECUTABLE} log -1 --date=format-local:%Y-%m-%d
            --format=%cd
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE BEXORA_RELEASE_DATE
    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env TZ=UTC LC_ALL=C ${GIT_EXECUTABLE} log -1
            "--date=format-local:%a, %d %b %Y %H:%M:%S +0000" --format=%cd
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE BEXORA_RELEASE_DATE_RFC2822
    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(NOT BEXORA_RELEASE_DATE MATCHES "^[0-9]+-[0-9]+-[0-9]+$")
  string(TIMESTAMP BEXORA_RELEASE_DATE "%Y-%m-%d" UTC)
  string(TIMESTAMP BEXORA_RELEASE_DATE_RFC2822 "%a, %d %b %Y %H:%M:%S +0000" UTC)
endif()

set(BEXORA_DATA_SRC ${PROJECT_SOURCE_DIR}/data)
set(BEXORA_DATA_OUT ${PROJECT_BINARY_DIR}/data)
file(MAKE_DIRECTORY ${BEXORA_DATA_OUT})
set(bexora_generated)

# Debian wants man pages and changelogs compressed, without a time stamp.
find_program(BEXORA_GZIP gzip)
function(bexora_gzip source target)
  add_custom_command(OUTPUT ${target} COMMAND ${BEXORA_GZIP} -9 -n -c ${source} > ${target}
                     DEPENDS ${source} VERBATIM)
endfunction()

configure_file(${BEXORA_DATA_SRC}/debian/changelog.in ${BEXORA_DATA_OUT}/changelog @ONLY)
bexora_gzip(${BEXORA_DATA_OUT}/changelog ${BEXORA_DATA_OUT}/changelog.gz)
list(APPEND bexora_generated ${BEXORA_DATA_OUT}/changelog.gz)
install(FILES ${BEXORA_DATA_SRC}/debian/copyright ${BEXORA_DATA_OUT}/changelog.gz DESTINATION share/doc/bexora)

bexora_gzip(${BEXORA_DATA_SRC}/man/bexora-cli.1 ${BEXORA_DATA_OUT}/bexora-cli.1.gz)
list(APPEND bexora_generated ${BEXORA_DATA_OUT}/bexora-cli.1.gz)
install(FILES ${BEXORA_DATA_OUT}/bexora-cli.1.gz DESTINATION share/man/man1)
install(FILES ${BEXORA_DATA_SRC}/completion/bexora-cli DESTINATION share/bash-completion/completions)
install(FILES ${BEXORA_DATA_SRC}/bexora-run@.service DESTINATION lib/systemd/user)

if(BEXORA_BUILD_GUI)
  bexora_gzip(${BEXORA_DATA_SRC}/man/bexora.1 ${BEXORA_DATA_OUT}/bexora.1.gz)
  list(APPEND bexora_generated ${BEXORA_DATA_OUT}/bexora.1.gz)
  install(FILES ${BEXORA_DATA_OUT}/bexora.1.gz DESTINATION share/man/man1)

  configure_file(${BEXORA_DATA_SRC}/metainfo/com.halvane.Bexora.metainfo.xml.in
                 ${BEXORA_DATA_OUT}/com.halvane.Bexora.metainfo.xml @ONLY)
  install(FILES ${BEXORA_DATA_OUT}/com.halvane.Bexora.metainfo.xml DESTINATION share/metainfo)

  # Menus and docks that take no SVG get the icon drawn at their sizes.
  find_program(BEXORA_RSVG_CONVERT rsvg-convert)
  if(BEXORA_RSVG_CONVERT)
    foreach(size 16 32 48 64 128 256)
      set(png ${BEXORA_DATA_OUT}/icons/${size}x${size}/bexora.png)
      add_custom_command(
        OUTPUT ${png} COMMAND ${CMAKE_COMMAND} -E make_directory ${BEXORA_DATA_OUT}/icons/${size}x${size}
        COMMAND ${BEXORA_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${BEXORA_DATA_SRC}/bexora.svg
        DEPENDS ${BEXORA_DATA_SRC}/bexora.svg VERBATIM)
      list(APPEND bexora_generated ${png})
      install(FILES ${png} DESTINATION share/icons/hicolor/${size}x${size}/apps)
    endforeach()
  else()
    message(STATUS "rsvg-convert not found: the icon is installed as SVG only")
  endif()
endif()

add_custom_target(bexora_data ALL DEPENDS ${bexora_generated})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME bexora)
set(CPACK_PACKAGE_VENDOR "Halvane Co.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${BEXORA_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "auction sniper: bids on auction items just before they end")
# Debian shows the description as it stands: lines under 80 columns.
set(CPACK_PACKAGE_DESCRIPTION
    "Bexora keeps lists of auction items, refreshes them from the auction
site, counts down to each auction's end against the site's official clock
and places your maximum bid by itself a chosen time before the end. It
honours bid groups (\"I want 2 of these 5\") and tells you about wins,
losses and outbids.

The desktop program shows the site in a browser pane beside the list;
bexora-cli runs a list headless on a server, also as a systemd user
service.")
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${BEXORA_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${BEXORA_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)
