# Cross-compiles for 64-bit Arm on a Debian machine with the arm64 architecture added
# (dpkg --add-architecture arm64): the compilers of crossbuild-essential-arm64, the arm64 libraries
# and headers where multiarch installs them, and the build machine's own Qt code generators (moc, rcc,
# uic). Debian's arm64 CMake files already name the one /usr/lib/qt6/libexec/moc, the build machine's;
# QT_HOST_PATH makes Qt take the tools' CMake packages from the build machine as well, as Qt documents
# for a cross build.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(PKG_CONFIG_EXECUTABLE aarch64-linux-gnu-pkg-config CACHE FILEPATH "pkg-config for the target's libraries")

execute_process(COMMAND dpkg-architecture -qDEB_BUILD_MULTIARCH
    OUTPUT_VARIABLE build_multiarch OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
set(QT_HOST_PATH /usr CACHE PATH "The build machine's Qt, for its tools")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/${build_multiarch}/cmake CACHE PATH "The CMake packages of the build machine's Qt")
