# The phone program's tools and options, chosen once, here: read by the
# phone build (phone/CMakeLists.txt) and by the tests that compile, assemble
# or link as it does.

# The assembler, linker, dlltool, windres and objdump for the phone, built
# once per machine by scripts/phone-tools.sh.
if(DEFINED ENV{VORN_PHONE_TOOLS})
  set(VORN_PHONE_TOOLS "$ENV{VORN_PHONE_TOOLS}")
else()
  set(VORN_PHONE_TOOLS /opt/vorn-phone-tools)
endif()
set(VORN_PHONE_TOOL_PREFIX ${VORN_PHONE_TOOLS}/bin/arm-mingw32ce-)
set(VORN_PHONE_CXX arm-none-eabi-g++)

# The phone's calling convention and layout (Microsoft's "ARM Parameter
# Passing" and "ARM Return Values"), given to an ELF compiler:
#   -marm -march=armv4t   ARM state only, instructions every phone CPU of the
#                         era runs (no ldrd, blx or clz);
#   -mthumb-interwork     returns that also reach a Thumb caller, as the
#                         system's own code may be;
#   -mabi=apcs-gnu        32-bit argument slots, a 64-bit scalar split between
#                         r3 and the stack, a 4-byte aligned stack, and no
#                         ldrd/strd, which would need 8-byte alignment;
#   -fpcc-struct-return   every aggregate returned through memory;
#   -fshort-wchar         WCHAR of 16 bits, as the system's wide text;
#   -fno-short-enums      enums as wide as int, as in the system's records;
#   -fsigned-char         char signed, as Microsoft's compilers have it.
# With them the Win32 records the program hands the system have the phone's
# sizes and alignments (the PhoneImage.Layout test holds them to it).
set(VORN_PHONE_ABI_FLAGS -marm -march=armv4t -mthumb-interwork -mabi=apcs-gnu
    -fpcc-struct-return -fshort-wchar -fno-short-enums -fsigned-char)

# The program's own code as the phone's compilers read it (C++03), with no
# run-time beyond the phone's: no exceptions, run-time types, unwind tables
# or guarded statics; each function and datum in a section of its own for
# the link's --gc-sections; frames of a page or more probed page by page
# (the phone grows a thread's stack one guard page at a time).
set(VORN_PHONE_CXX_FLAGS ${VORN_PHONE_ABI_FLAGS} -std=gnu++03 -Os
    -fno-exceptions -fno-rtti -fno-threadsafe-statics -fno-unwind-tables
    -fno-asynchronous-unwind-tables -ffunction-sections -fdata-sections
    -fstack-clash-protection -Wall -Wextra -Werror)
set(VORN_PHONE_DEFINITIONS UNICODE _UNICODE _WIN32_WCE=0x502)
set(VORN_PHONE_INCLUDES -isystem /usr/share/mingw-w64/include
    -isystem ${CMAKE_CURRENT_LIST_DIR}/include)
# Taken in first: the compiler's side (prelude.h), then the phone SDK's
# (platform/phone/sdk.h).
set(VORN_PHONE_PRELUDES ${CMAKE_CURRENT_LIST_DIR}/prelude.h
    ${CMAKE_CURRENT_LIST_DIR}/../platform/phone/sdk.h)

# The assembler refuses anything newer than ARMv4T. Its objects are not
# marked for interworking: the import thunks that dlltool makes for the
# phone jump with "ldr pc", as the phone's own import libraries do, and the
# linker refuses to mix marked and unmarked objects (warnings are errors).
# The code's own returns interwork all the same (-mthumb-interwork above).
set(VORN_PHONE_AS_FLAGS -march=armv4t)

# The link: a Windows CE GUI program for Windows Mobile 2003 and later.
# Its subsystem version is the oldest system it asks the loader for
# ("/SUBSYSTEM (Windows CE 5.0)": "the minimum required version of the
# subsystem"): the program keeps a branch for systems before 5, and Windows
# Mobile 2003 is Windows CE .NET 4.20. Loaded at 0x10000, as the phone's
# programs are, with base relocations; no ASLR or NX marks, which the
# phone's loader does not know (DllCharacteristics 0); a 64 KB stack, the
# phone's own default; no symbol table; the sections nothing uses dropped.
set(VORN_PHONE_SUBSYSTEM wince:4.20)
set(VORN_PHONE_LINK_FLAGS --subsystem ${VORN_PHONE_SUBSYSTEM} --image-base 0x10000
    --enable-reloc-section --disable-dynamicbase --disable-nxcompat
    --stack 0x10000,0x1000 --strip-all --gc-sections --entry wWinMain --fatal-warnings)

# The phone libraries whose import libraries come from the phone column of
# platform/functions.txt.
set(VORN_PHONE_LIBRARIES coredll aygshell toolhelp ole32)
