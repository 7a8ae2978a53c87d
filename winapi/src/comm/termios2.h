// Line speeds that the standard Bxxx constants do not name.
#pragma once

namespace winapi::comm {

bool setSpeedTermios2(int fd, unsigned speed);
bool getSpeedTermios2(int fd, unsigned *speed);
// True when a termios c_cflag says the speed is set through termios2.
bool usesOtherSpeed(unsigned cflag);

} // namespace winapi::comm
