// Arbitrary line speeds through the kernel's termios2 interface. Kept apart
// from libc's <termios.h>, whose definitions clash with the kernel's.
#include "termios2.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace winapi::comm {

bool setSpeedTermios2(int fd, unsigned speed) {
    struct termios2 t;
    if (ioctl(fd, TCGETS2, &t) < 0) return false;
    t.c_cflag &= ~CBAUD;
    t.c_cflag |= BOTHER;
    t.c_cflag &= ~(CBAUD << IBSHIFT);
    t.c_cflag |= BOTHER << IBSHIFT;
    t.c_ispeed = speed;
    t.c_ospeed = speed;
    return ioctl(fd, TCSETS2, &t) == 0;
}

bool getSpeedTermios2(int fd, unsigned *speed) {
    struct termios2 t;
    if (ioctl(fd, TCGETS2, &t) < 0) return false;
    *speed = t.c_ospeed;
    return true;
}

bool usesOtherSpeed(unsigned cflag) { return (cflag & CBAUD) == BOTHER; }

} // namespace winapi::comm
