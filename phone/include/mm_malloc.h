/* Only x86 compilers ship this header; MinGW-w64's malloc.h takes it in. */
