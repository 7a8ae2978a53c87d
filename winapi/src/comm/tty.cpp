// The tty backend: real serial ports and pseudo-terminals through termios.
// One I/O thread per device moves bytes between the kernel and the queues.
#include "tty.h"

#include "termios2.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <linux/serial.h>

#include <cerrno>
#include <thread>

namespace winapi::comm {

namespace {

struct SpeedCode {
    unsigned speed;
    speed_t code;
};
const SpeedCode kSpeeds[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},       {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000},
};

bool speedCode(unsigned speed, speed_t &code) {
    for (const SpeedCode &s : kSpeeds)
        if (s.speed == speed) {
            code = s.code;
            return true;
        }
    return false;
}

unsigned speedOf(speed_t code) {
    for (const SpeedCode &s : kSpeeds)
        if (s.code == code) return s.speed;
    return 0;
}

DWORD errorFromErrno(int e) {
    switch (e) {
    case ENOENT:
    case ENOTDIR:
    case ENXIO:
    case ENODEV:
    case EIO: // a port name with no UART behind it
        return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EBUSY:
    case EWOULDBLOCK:
        return ERROR_ACCESS_DENIED;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    default:
        return ERROR_GEN_FAILURE;
    }
}

class TtyDevice : public CommDevice {
public:
    TtyDevice(int fd, int wake, bool modemLines, bool overlapped, const termios &original)
        : CommDevice(&own_, overlapped), fd_(fd), wake_(wake), lines_(modemLines), original_(original) {
        termios t;
        if (tcgetattr(fd_, &t) == 0) dcbFromTermios(t);
        if (lines_) {
            int m = 0;
            if (ioctl(fd_, TIOCMGET, &m) == 0) initLines((m & TIOCM_RTS) != 0, (m & TIOCM_DTR) != 0);
            lastStatus_ = readStatus();
        } else {
            lastStatus_ = MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON;
        }
        io_ = std::thread([this] { loop(); });
    }

protected:
    bool applyStateLocked(const DCB &d) override;
    // One wake-up at a time: bytes written meanwhile go out with the same pass.
    void kickLocked() override {
        if (!wakePending_) {
            wakePending_ = true;
            wake();
        }
    }
    size_t transmitDirectLocked(const uint8_t *p, size_t n) override;
    DWORD modemStatusLocked() override { return lines_ ? readStatus() : (gone() ? 0 : lastStatus_); }
    void linesChangedLocked() override;
    void holdsLocked(COMSTAT &st) override;
    void purgeReceiveLocked() override {
        tcflush(fd_, TCIFLUSH);
        markState_ = 0;
    }
    bool sendImmediateLocked(uint8_t b) override { return !gone() && ::write(fd_, &b, 1) == 1; }
    void shutdown() override;

private:
    void wake() {
        uint64_t one = 1;
        ssize_t r = ::write(wake_, &one, sizeof one);
        (void)r;
    }
    void loop();
    void readInput(uint8_t *buf, size_t cap);
    void writeOutput();
    void pollLinesLocked();
    bool needLinePolling() const;
    bool outputHeldLocked();
    DWORD readStatus();
    void dcbFromTermios(const termios &t);
    void hangUpLocked();

    std::mutex own_;
    int fd_;
    int wake_;
    const bool lines_; // false: a pseudo-terminal or other tty without modem lines
    const termios original_; // given back at close, so that a console is not left raw
    bool parmrk_ = false;
    int markState_ = 0;
    bool stop_ = false;
    bool wakePending_ = false;
    bool lastBreak_ = false;
    DWORD lastStatus_ = 0;
    serial_icounter_struct counts_{};
    bool haveCounts_ = false;
    std::thread io_;
};

DWORD TtyDevice::readStatus() {
    int m = 0;
    if (ioctl(fd_, TIOCMGET, &m) < 0) return 0;
    DWORD s = 0;
    if (m & TIOCM_CTS) s |= MS_CTS_ON;
    if (m & TIOCM_DSR) s |= MS_DSR_ON;
    if (m & TIOCM_RNG) s |= MS_RING_ON;
    if (m & TIOCM_CAR) s |= MS_RLSD_ON;
    return s;
}

void TtyDevice::dcbFromTermios(const termios &t) {
    unsigned speed = speedOf(cfgetospeed(&t));
    unsigned custom;
    if (usesOtherSpeed(t.c_cflag) && getSpeedTermios2(fd_, &custom)) speed = custom;
    if (speed) dcb_.BaudRate = speed;
    switch (t.c_cflag & CSIZE) {
    case CS5: dcb_.ByteSize = 5; break;
    case CS6: dcb_.ByteSize = 6; break;
    case CS7: dcb_.ByteSize = 7; break;
    default: dcb_.ByteSize = 8; break;
    }
    if (!(t.c_cflag & PARENB))
        dcb_.Parity = NOPARITY;
    else if (t.c_cflag & CMSPAR)
        dcb_.Parity = (t.c_cflag & PARODD) ? MARKPARITY : SPACEPARITY;
    else
        dcb_.Parity = (t.c_cflag & PARODD) ? ODDPARITY : EVENPARITY;
    dcb_.StopBits = (t.c_cflag & CSTOPB) ? TWOSTOPBITS : ONESTOPBIT;
    dcb_.fOutxCtsFlow = (t.c_cflag & CRTSCTS) ? 1 : 0;
    dcb_.fRtsControl = (t.c_cflag & CRTSCTS) ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    dcb_.fOutX = (t.c_iflag & IXON) ? 1 : 0;
    dcb_.XonChar = static_cast<char>(t.c_cc[VSTART]);
    dcb_.XoffChar = static_cast<char>(t.c_cc[VSTOP]);
    if (dcb_.XonChar == dcb_.XoffChar) {
        dcb_.XonChar = 0x11;
        dcb_.XoffChar = 0x13;
    }
}

bool TtyDevice::applyStateLocked(const DCB &d) {
    termios old, t;
    if (tcgetattr(fd_, &old) < 0) {
        SetLastError(ERROR_GEN_FAILURE);
        return false;
    }
    t = old;
    t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | PARMRK | IGNPAR);
    if (d.fOutX) t.c_iflag |= IXON; // the kernel stops our output on XOFF and eats XON/XOFF
    t.c_cc[VSTART] = static_cast<cc_t>(d.XonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(d.XoffChar);
    if (!lines_) {
        // A pseudo-terminal has no framing: the kernel would rewrite it, so the
        // settings are only remembered (the base keeps the DCB).
        if (tcsetattr(fd_, TCSANOW, &t) < 0) {
            SetLastError(ERROR_GEN_FAILURE);
            return false;
        }
        return true;
    }
    // Marked errors and breaks arrive in the data as \377 \0 x and \377 \0 \0.
    t.c_iflag |= PARMRK;
    if (d.Parity != NOPARITY) t.c_iflag |= INPCK;
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= sizes[d.ByteSize - 5] | CREAD | CLOCAL;
    switch (d.Parity) {
    case ODDPARITY: t.c_cflag |= PARENB | PARODD; break;
    case EVENPARITY: t.c_cflag |= PARENB; break;
    case MARKPARITY: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case SPACEPARITY: t.c_cflag |= PARENB | CMSPAR; break;
    default: break;
    }
    if (d.StopBits != ONESTOPBIT) t.c_cflag |= CSTOPB;
    // The kernel's RTS/CTS works both ways; either wish turns it on.
    if (d.fOutxCtsFlow || d.fRtsControl == RTS_CONTROL_HANDSHAKE) t.c_cflag |= CRTSCTS;
    speed_t code;
    bool standard = speedCode(d.BaudRate, code);
    if (standard) {
        cfsetispeed(&t, code);
        cfsetospeed(&t, code);
    }
    bool ok = tcsetattr(fd_, TCSANOW, &t) == 0;
    if (ok && !standard) ok = setSpeedTermios2(fd_, d.BaudRate);
    // Drivers may quietly keep another setting; read back and compare.
    termios now;
    unsigned speed = 0;
    if (ok && tcgetattr(fd_, &now) == 0) {
        if (usesOtherSpeed(now.c_cflag))
            getSpeedTermios2(fd_, &speed);
        else
            speed = speedOf(cfgetospeed(&now));
        const tcflag_t framing = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;
        ok = (now.c_cflag & framing) == (t.c_cflag & framing) && speed && speed * 100 >= d.BaudRate * 98ull &&
             speed * 100 <= d.BaudRate * 102ull;
    }
    if (!ok) {
        tcsetattr(fd_, TCSANOW, &old);
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    parmrk_ = true;
    return true;
}

bool TtyDevice::outputHeldLocked() {
    if (xoffReceived_ || breakOn() || gone()) return true;
    // Linux has no DSR flow control: the device watches DSR itself.
    if (lines_ && dcb_.fOutxDsrFlow && !(readStatus() & MS_DSR_ON)) return true;
    return false;
}

size_t TtyDevice::transmitDirectLocked(const uint8_t *p, size_t n) {
    // Straight to the kernel: once written, bytes are on the line, and a purge
    // or close right after cannot lose them. This costs a system call per
    // call, also for single bytes.
    if (outputHeldLocked()) return 0;
    ssize_t w = ::write(fd_, p, n);
    if (w < 0) {
        if (errno == EIO) hangUpLocked();
        return 0;
    }
    return static_cast<size_t>(w);
}

void TtyDevice::linesChangedLocked() {
    if (lines_) {
        int set = 0, clr = 0;
        // With RTS handshaking the kernel drives RTS itself.
        if (dcb_.fRtsControl != RTS_CONTROL_HANDSHAKE) (rtsOn() ? set : clr) |= TIOCM_RTS;
        (dtrOn() ? set : clr) |= TIOCM_DTR;
        if (set) ioctl(fd_, TIOCMBIS, &set);
        if (clr) ioctl(fd_, TIOCMBIC, &clr);
        if (breakOn() != lastBreak_) ioctl(fd_, breakOn() ? TIOCSBRK : TIOCCBRK);
    }
    lastBreak_ = breakOn();
    wake();
}

void TtyDevice::holdsLocked(COMSTAT &st) {
    if (!lines_) return;
    DWORD s = readStatus();
    st.fCtsHold = dcb_.fOutxCtsFlow && !(s & MS_CTS_ON);
    st.fDsrHold = dcb_.fOutxDsrFlow && !(s & MS_DSR_ON);
}

bool TtyDevice::needLinePolling() const {
    // Line changes raise no poll() event; real devices are sampled while
    // someone waits for them or output waits for DSR.
    return lines_ && !gone() && (dcb_.fOutxDsrFlow || !tx_.empty());
}

void TtyDevice::pollLinesLocked() {
    if (!lines_) return;
    DWORD s = readStatus();
    DWORD changed = s ^ lastStatus_;
    DWORD ev = 0;
    if (changed & MS_CTS_ON) ev |= EV_CTS;
    if (changed & MS_DSR_ON) ev |= EV_DSR;
    if (changed & MS_RLSD_ON) ev |= EV_RLSD;
    if ((changed & MS_RING_ON) && !(s & MS_RING_ON)) ev |= EV_RING; // trailing edge, as the UART reports it
    lastStatus_ = s;
    if (ev) eventLocked(ev);
    serial_icounter_struct c{};
    if (ioctl(fd_, TIOCGICOUNT, &c) == 0) {
        if (haveCounts_) {
            if (c.overrun != counts_.overrun) errorLocked(CE_OVERRUN);
            if (c.buf_overrun != counts_.buf_overrun) errorLocked(CE_OVERRUN);
        }
        counts_ = c;
        haveCounts_ = true;
    }
}

void TtyDevice::hangUpLocked() {
    if (gone()) return;
    goneLocked();
    DWORD ev = 0;
    if (lastStatus_ & MS_CTS_ON) ev |= EV_CTS;
    if (lastStatus_ & MS_DSR_ON) ev |= EV_DSR;
    if (lastStatus_ & MS_RLSD_ON) ev |= EV_RLSD;
    lastStatus_ = 0;
    eventLocked(ev);
    drained_.notify_all();
}

void TtyDevice::readInput(uint8_t *buf, size_t cap) {
    for (;;) {
        size_t room = rx_.space();
        if (room == 0) {
            rxStalled_ = true;
            return;
        }
        ssize_t r = ::read(fd_, buf, std::min(room, cap));
        if (r > 0) {
            if (!parmrk_) {
                receivedLocked(buf, static_cast<size_t>(r));
            } else {
                // Undo the kernel's marking in place.
                size_t out = 0;
                for (ssize_t i = 0; i < r; i++) {
                    uint8_t b = buf[i];
                    switch (markState_) {
                    case 0:
                        if (b == 0xFF)
                            markState_ = 1;
                        else
                            buf[out++] = b;
                        break;
                    case 1:
                        if (b == 0xFF) {
                            buf[out++] = 0xFF;
                            markState_ = 0;
                        } else if (b == 0) {
                            markState_ = 2;
                        } else {
                            buf[out++] = b;
                            markState_ = 0;
                        }
                        break;
                    default:
                        markState_ = 0;
                        if (b == 0) {
                            errorLocked(CE_BREAK);
                        } else {
                            errorLocked(dcb_.Parity != NOPARITY ? CE_RXPARITY : CE_FRAME);
                            buf[out++] = b;
                        }
                        break;
                    }
                }
                receivedLocked(buf, out);
            }
            if (static_cast<size_t>(r) < std::min(room, cap)) return;
            continue;
        }
        if (r == 0 || (r < 0 && errno == EIO)) hangUpLocked();
        return;
    }
}

void TtyDevice::writeOutput() {
    bool wrote = false;
    while (!tx_.empty() && !outputHeldLocked()) {
        size_t n;
        const uint8_t *p = tx_.frontRun(n);
        ssize_t w = ::write(fd_, p, n);
        if (w <= 0) {
            if (w < 0 && errno == EIO) hangUpLocked();
            break;
        }
        tx_.drop(static_cast<size_t>(w));
        wrote = true;
    }
    if (wrote) transmittedLocked();
    if (tx_.empty()) drained_.notify_all();
}

void TtyDevice::loop() {
    std::vector<uint8_t> buf(65536);
    std::unique_lock<std::mutex> lk(own_);
    while (!stop_) {
        wakePending_ = false;
        short want = 0;
        if (!gone()) {
            if (rx_.space())
                want |= POLLIN;
            else
                rxStalled_ = true;
            if (!tx_.empty() && !outputHeldLocked()) want |= POLLOUT;
        }
        auto next = expireLocked(Clock::now());
        int timeout = -1;
        if (next) {
            auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(*next - Clock::now()).count() + 1;
            timeout = static_cast<int>(std::max<int64_t>(0, std::min<int64_t>(ms, 1 << 30)));
        }
        if (needLinePolling() && (timeout < 0 || timeout > 10)) timeout = 10;
        // A hung-up terminal reports POLLHUP for ever; it is left out then, as
        // it is while the receive queue is full.
        pollfd fds[2] = {{(want && !gone()) ? fd_ : -1, want, 0}, {wake_, POLLIN, 0}};
        lk.unlock();
        int rc = ::poll(fds, 2, timeout);
        lk.lock();
        if (rc < 0 && errno != EINTR) break;
        if (fds[1].revents & POLLIN) {
            uint64_t v;
            ssize_t r = ::read(wake_, &v, sizeof v);
            (void)r;
        }
        if (stop_) break;
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) readInput(buf.data(), buf.size());
        if (fds[0].revents & POLLOUT) writeOutput();
        if (lines_) pollLinesLocked();
        if (!tx_.empty() && !outputHeldLocked() && !(want & POLLOUT)) writeOutput();
    }
}

void TtyDevice::shutdown() {
    {
        // What earlier writes queued still goes out, within a bound.
        std::unique_lock<std::mutex> lk(own_);
        drained_.wait_for(lk, std::chrono::seconds(2), [&] { return tx_.empty() || gone() || outputHeldLocked(); });
        stop_ = true;
        wake();
    }
    io_.join();
    tcsetattr(fd_, TCSANOW, &original_);
    flock(fd_, LOCK_UN);
    ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    ::close(wake_);
}

} // namespace

bool openTty(const char *path, bool overlapped, bool adoptFd, int fd, HANDLE *out) {
    if (!adoptFd) {
        fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            SetLastError(errorFromErrno(errno));
            *out = INVALID_HANDLE_VALUE;
            return true;
        }
    } else {
        // The I/O paths write under the device's lock: a blocking write to a
        // full pseudo-terminal would hold it until the other side reads.
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    auto fail = [&](DWORD err) {
        ::close(fd);
        SetLastError(err);
        *out = INVALID_HANDLE_VALUE;
        return true;
    };
    if (!isatty(fd)) {
        if (adoptFd) {
            ::close(fd);
            SetLastError(ERROR_INVALID_HANDLE);
            *out = INVALID_HANDLE_VALUE;
            return true;
        }
        ::close(fd);
        return false; // not a terminal: an ordinary file or device
    }
    // Share mode 0: another holder in this or any process keeps us out.
    int excl = 0;
    if (ioctl(fd, TIOCGEXCL, &excl) == 0 && excl) return fail(ERROR_ACCESS_DENIED);
    // Every pseudo-terminal master shares the one ptmx inode, so a lock
    // there would keep out all other masters; the exclusive flag suffices.
    unsigned ptyNumber;
    const bool master = ioctl(fd, TIOCGPTN, &ptyNumber) == 0;
    if (!master && flock(fd, LOCK_EX | LOCK_NB) < 0) return fail(ERROR_ACCESS_DENIED);
    ioctl(fd, TIOCEXCL);

    termios t;
    if (tcgetattr(fd, &t) < 0) return fail(ERROR_FILE_NOT_FOUND);
    const termios original = t;
    // Raw mode, keeping speed and framing.
    t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | IMAXBEL | IUCLC);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHONL | ECHOE | ECHOK | ICANON | ISIG | IEXTEN);
    t.c_cflag |= CREAD | CLOCAL;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &t) < 0) return fail(ERROR_FILE_NOT_FOUND);

    int m;
    bool lines = ioctl(fd, TIOCMGET, &m) == 0;
    int wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake < 0) return fail(ERROR_NOT_ENOUGH_MEMORY);
    SetLastError(ERROR_SUCCESS);
    *out = insertHandle(new TtyDevice(fd, wake, lines, overlapped, original));
    return true;
}

} // namespace winapi::comm
