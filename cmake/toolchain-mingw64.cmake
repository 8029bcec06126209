# Cross build for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64-posix).
# The posix flavour gives std::thread and std::mutex; its runtime is linked statically (see the top level).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(SNELLITORE_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${SNELLITORE_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SNELLITORE_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${SNELLITORE_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${SNELLITORE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests and other programs built here run under Wine (ctest, add_test with a target as the command).
find_program(SNELLITORE_WINE wine)
if(SNELLITORE_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${SNELLITORE_WINE})
endif()
