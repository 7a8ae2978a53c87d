/* A program as an application writes it: vorlex.h and the import library
   (or libvorlex.so) only. Every export is referenced through its
   declaration, so a name the import library spells differently fails the
   link; a few are called. Built as C and as C++. */
#include <vorlex.h>

#include <stdio.h>

#include "export_table.h"

typedef void (*AnyFunction)(void);
#define ADDRESS(f) (AnyFunction)(f),
static AnyFunction const every[] = {VORLEX_EVERY_EXPORT(ADDRESS)};

int main(void) {
    int linked = 0;
    for (unsigned i = 0; i < sizeof every / sizeof every[0]; i++)
        if (every[i]) linked++;
    DWORD crc = Func042("123456789", 9);
    DWORD crc16 = Func073("123456789", 9);
    LONG open = Func041(199, 1); /* COM200: no such device */
    LONG bad = Func041(-1, 1);
    printf("%d of %d exports linked; crc32 %08lx crc16 %04lx; open COM200 %ld, port -1 %ld\n", linked,
           VORLEX_EXPORT_COUNT, (unsigned long)crc, (unsigned long)crc16, (long)open, (long)bad);
    return linked == VORLEX_EXPORT_COUNT && crc == 0xCBF43926ul && crc16 == 0x31C3 && open == VORLEX_OPEN_NO_UART &&
                   bad == VORLEX_OPEN_BAD_PORT
               ? 0
               : 1;
}
