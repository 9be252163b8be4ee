# Third-party libraries of the core subsystems: Debian packages (see scripts/setup), or for
# the Windows build the static libraries scripts/windows-deps builds from Debian's sources.
if(WIN32)
  find_package(ZLIB REQUIRED)
  find_package(expat CONFIG REQUIRED)
  find_package(libzip CONFIG REQUIRED)
  set(ZANDOR_EXTRA_LIBS_sheet libzip::zip expat::expat)
  set(ZANDOR_EXTRA_LIBS_base shell32)
  # the error report's facts of the process and the machine
  set(ZANDOR_EXTRA_LIBS_app psapi advapi32)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(LIBZIP REQUIRED IMPORTED_TARGET libzip)
  pkg_check_modules(EXPAT REQUIRED IMPORTED_TARGET expat)
  set(ZANDOR_EXTRA_LIBS_sheet PkgConfig::LIBZIP PkgConfig::EXPAT)
endif()
# ISA-L inflates the big parts of .xlsx files about twice as fast as zlib; without it
# (the Windows build) libzip inflates them with zlib.
if(NOT WIN32)
  pkg_check_modules(ISAL REQUIRED IMPORTED_TARGET libisal)
  list(APPEND ZANDOR_EXTRA_LIBS_sheet PkgConfig::ISAL)
  set(ZANDOR_EXTRA_DEFS_sheet ZANDOR_HAVE_ISAL)
endif()
