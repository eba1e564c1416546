# `cpack -G DEB` in a build folder makes a Debian package of what the build
# installs: the binary, the manual page and the license, under /usr. The
# dependencies (the UCL runtime, the C and C++ libraries) are worked out by
# dpkg-shlibdeps from the binary itself.
set(CPACK_PACKAGE_NAME qnvtab)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "qnvtab developers <qnvtab@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "converts QNV device traces into TAB-separated tables")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Reads a binary trace recorded by a QNV communication device and writes a\nTAB-separated text table, one row per traced event, checking every\nchecksum, block number and length on the way.")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
include(CPack)
