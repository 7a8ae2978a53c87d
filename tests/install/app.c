/* An application of the installed library: the header, the libraries,
   nothing from the source tree. */
#include <vorlex.h>

#include <stdio.h>

int main(void) {
    DWORD crc = Func042("123456789", 9);
    LONG bad = Func041(-1, 1);
    LONG speed = Func040("CONNECT 57600");
    printf("crc %08lx, open of port -1 %ld, speed %ld\n", (unsigned long)crc, (long)bad, (long)speed);
    return crc == 0xCBF43926ul && bad == VORLEX_OPEN_BAD_PORT && speed == 57600 ? 0 : 1;
}
