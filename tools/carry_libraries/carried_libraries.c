/* The packed libraries (carry_libraries.cpp) as read-only data of the executable, between
   qvCarriedLibraries and qvCarriedLibrariesEnd (platform/lazy_library.cpp reads them). */
__asm__(".section .rodata\n"
        ".global qvCarriedLibraries\n"
        ".global qvCarriedLibrariesEnd\n"
        ".balign 16\n"
        "qvCarriedLibraries:\n"
        ".incbin \"" QV_CARRIED_ARCHIVE "\"\n"
        "qvCarriedLibrariesEnd:\n"
        ".previous\n");
