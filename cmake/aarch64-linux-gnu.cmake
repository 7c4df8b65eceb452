# Cross-compiling for 64-bit ARM Linux (Debian arm64, as on a Raspberry Pi
# with the 64-bit system) on a Debian machine with multiarch: the arm64
# libraries and headers are installed beside the build machine's own
# (apt-get install qt6-base-dev:arm64 ...) and compiled against with Debian's
# cross compiler (crossbuild-essential-arm64). Qt's code generators (moc, uic,
# rcc) are the build machine's, from its qt6-base-dev-tools.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(VORLINQ_CROSS_TRIPLET aarch64-linux-gnu)
set(CMAKE_LIBRARY_ARCHITECTURE ${VORLINQ_CROSS_TRIPLET})
set(CMAKE_C_COMPILER ${VORLINQ_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${VORLINQ_CROSS_TRIPLET}-g++)

# pkg-config reads the arm64 libraries' files only.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${VORLINQ_CROSS_TRIPLET}/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# Qt's tools run on the build machine: their CMake files are the build
# machine's multiarch ones.
execute_process(COMMAND dpkg-architecture -qDEB_BUILD_MULTIARCH
                OUTPUT_VARIABLE VORLINQ_BUILD_MULTIARCH OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
set(QT_HOST_PATH /usr)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/${VORLINQ_BUILD_MULTIARCH}/cmake)
