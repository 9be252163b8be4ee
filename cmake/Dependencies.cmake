# Third-party libraries of the core subsystems (Debian packages, see scripts/setup).
find_package(PkgConfig REQUIRED)
pkg_check_modules(LIBZIP REQUIRED IMPORTED_TARGET libzip)
pkg_check_modules(EXPAT REQUIRED IMPORTED_TARGET expat)
pkg_check_modules(ISAL REQUIRED IMPORTED_TARGET libisal)
set(ZANDOR_EXTRA_LIBS_sheet PkgConfig::LIBZIP PkgConfig::EXPAT PkgConfig::ISAL)
