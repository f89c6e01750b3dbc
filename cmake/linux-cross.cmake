# The common part of the Linux cross toolchains: Debian's cross compiler for
# ${triple}.  The target's libraries come from Debian's multiarch packages
# (libc6:ARCH, libgtest-dev:ARCH), which dpkg-shlibdeps also reads for the
# package's Depends.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_CXX_COMPILER ${triple}-g++)
# pkg-config looks at the target's libraries only, never the build machine's.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${triple}/pkgconfig:/usr/share/pkgconfig)
