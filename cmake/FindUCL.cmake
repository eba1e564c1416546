# Finds the UCL compression library (Debian: libucl-dev), which ships no
# pkg-config or CMake package file. Defines the imported target UCL::UCL.
# The header is looked up as ucl/ucl.h: a bare ucl.h belongs to an unrelated
# configuration library.
find_path(UCL_INCLUDE_DIR NAMES ucl/ucl.h)
find_library(UCL_LIBRARY NAMES ucl)

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(UCL REQUIRED_VARS UCL_LIBRARY UCL_INCLUDE_DIR)

if(UCL_FOUND AND NOT TARGET UCL::UCL)
  add_library(UCL::UCL UNKNOWN IMPORTED)
  set_target_properties(UCL::UCL PROPERTIES
    IMPORTED_LOCATION "${UCL_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${UCL_INCLUDE_DIR}")
endif()
mark_as_advanced(UCL_INCLUDE_DIR UCL_LIBRARY)
