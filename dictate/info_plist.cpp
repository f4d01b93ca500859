// Carries Info.plist inside the program, in a section of its own that is not loaded at
// run time, so tools can read the usage descriptions back with objcopy.
#ifndef KELVANE_INFO_PLIST_PATH
#error "KELVANE_INFO_PLIST_PATH must name the property list to embed"
#endif

__asm__(".pushsection __info_plist,\"\",@progbits\n"
        ".incbin \"" KELVANE_INFO_PLIST_PATH "\"\n"
        ".popsection\n");
