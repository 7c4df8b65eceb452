# The Debian package, built by CPack's DEB generator: everything the install
# rules put under /usr, plus the Debian documents (copyright, changelog) and
# the maintainer scripts that let udev reread its rules. The version is the
# project's; the dependencies come from the libraries the program links
# (dpkg-shlibdeps).
set(VORLINQ_PACKAGE_MAINTAINER "Vorlinq maintainers <maintainers@users.noreply.c-seed-dd835e5b.example>"
    CACHE STRING "Maintainer field of the Debian package")
set(VORLINQ_DEB_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/vorlinq)

string(TIMESTAMP VORLINQ_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in changelog @ONLY)
vorlinq_gzip_file(${CMAKE_CURRENT_BINARY_DIR}/changelog VORLINQ_CHANGELOG)

# The documents over 4 kB are compressed too; the copyright never is.
vorlinq_gzip_doc(${PROJECT_SOURCE_DIR}/README.md VORLINQ_README)

install(FILES ${VORLINQ_README} ${CMAKE_CURRENT_LIST_DIR}/copyright ${VORLINQ_CHANGELOG}
        DESTINATION ${VORLINQ_DEB_DOCDIR})

# What lintian would take for a mistake but is meant (its own file names why).
install(FILES ${CMAKE_CURRENT_LIST_DIR}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME vorlinq)

# CPack strips the program; the compiler's version notes (.comment) go too, as
# in Debian's own packages.
if(CMAKE_OBJCOPY)
  install(CODE "execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
                                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/vorlinq\" COMMAND_ERROR_IS_FATAL ANY)")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vorlinq)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${VORLINQ_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${VORLINQ_HOMEPAGE})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# A cross-build is packed for the architecture it compiled for (named after
# the toolchain's multiarch triplet), not for the build machine's.
if(CMAKE_CROSSCOMPILING)
  execute_process(COMMAND dpkg-architecture -t${CMAKE_LIBRARY_ARCHITECTURE} -qDEB_HOST_ARCH
                  OUTPUT_VARIABLE CPACK_DEBIAN_PACKAGE_ARCHITECTURE OUTPUT_STRIP_TRAILING_WHITESPACE
                  ERROR_QUIET COMMAND_ERROR_IS_FATAL ANY)
endif()
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "remote front panel for the AVELKOR HF linear amplifier
Vorlinq mirrors the front panel of an AVELKOR HF linear amplifier on the
desktop, through the amplifier's FTDI USB-serial chip. It redraws the
amplifier's character display and status lamps about every 80 ms, sends the
key codes of its front-panel keys from two keypad windows and the keyboard,
switches the amplifier on and uploads firmware packages.

It talks to the chip through the kernel's serial driver or through FTDI's
D2XX library where that is installed, and has a built-in simulated
amplifier for trying it without the hardware. The package's udev rules give
FTDI serial ports and USB devices to the person logged in at the computer and
to the dialout group.")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/postinst ${CMAKE_CURRENT_LIST_DIR}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)

include(CPack)
