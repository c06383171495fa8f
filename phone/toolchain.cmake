# The phone's program: ARM code from an ELF compiler, assembled and linked by
# the phone's own GNU tools (phone/CMakeLists.txt says how). No system of
# CMake's own fits a Windows CE target: it is configured as a bare one.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR arm)
include(${CMAKE_CURRENT_LIST_DIR}/flags.cmake)
set(CMAKE_CXX_COMPILER ${VORN_PHONE_CXX})
# The compiler is asked to compile only: nothing of its own is linked.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
