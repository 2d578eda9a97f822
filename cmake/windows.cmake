# Settings of the Windows build (MinGW-w64, included from the top level).

# Windows 10's API: wide-character file calls, inet_pton, sockets that child
# processes do not inherit.
add_compile_definitions(_WIN32_WINNT=0x0A00 WINVER=0x0A00 WIN32_LEAN_AND_MEAN NOMINMAX UNICODE _UNICODE)

# The C runtime's POSIX-like calls that the network code uses: handles not
# inherited and files opened in binary mode (the runtime's default would turn
# CR LF into LF and end a file at its first Ctrl-Z; MinGW's binmode.o is empty
# in this runtime, so every open() that asks for O_CLOEXEC asks for binary
# too), and the memory advice it gives (platform/win32/include).
add_compile_definitions("O_CLOEXEC=(_O_NOINHERIT|_O_BINARY)")
include_directories(BEFORE SYSTEM ${PROJECT_SOURCE_DIR}/platform/win32/include)

# The GCC and thread runtime DLLs (libstdc++-6, libgcc_s_seh-1,
# libwinpthread-1) are shared with Qt's DLLs: one copy in the process.

# GCC 12 takes libstdc++'s own string copies for overlapping ones once they
# are inlined at -O3 ("accessing 9223372036854775810 or more bytes"), a known
# false positive of its -Wrestrict that this optimised build hits in a few
# "text" + string expressions; later compilers no longer report it.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(fb_options INTERFACE $<$<COMPILE_LANGUAGE:CXX>:-Wno-restrict>)
endif()

# The benchmarks measure the Linux build.
set(FRAGEBOGEN_BENCH OFF CACHE BOOL "Build the benchmarks" FORCE)


# Where the Windows programs find Qt's DLLs and plugins when run under Wine
# (scripts/windows/run-tests.sh).
set(FRAGEBOGEN_QT_PREFIX "" CACHE PATH "Qt for Windows that the build uses")
