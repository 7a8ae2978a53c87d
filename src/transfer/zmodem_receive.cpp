// Zmodem receiver: a whole batch per call, written into a directory.
#include "zmodem.h"

#include "port/port.h"

#include <cstdio>
#include <cstring>

namespace vorlex {

namespace {

constexpr LONG kFailed = -1;
constexpr LONG kGotFile = 4;
constexpr LONG kBatchEnded = 15;
constexpr LONG kFileDone = 11;
constexpr LONG kSenderFinished = 8;
// After a ZRPOS, bad headers for this long are taken as the tail of what
// the sender had already sent, not as new errors.
constexpr DWORD kResyncMs = 2000;

// Received data goes to the file in large writes: one system call per
// subpacket would cost more than decoding it.
constexpr DWORD kOutputSize = 65536;
struct FileOutput {
    DWORD count;            // bytes held
    BYTE bytes[kOutputSize];
};
std::atomic<FileOutput *> outputs[kPortCount];

FileOutput *fileOutput(LONG port) {
    return (port >= 0 && port < kPortCount) ? outputs[port].load(std::memory_order_relaxed) : nullptr;
}

// Writes out what is held; false when the file took less (a full disk).
bool flushOutput(LONG port, TransferRecord *t) {
    FileOutput *out = fileOutput(port);
    if (!out || !out->count) return true;
    DWORD written = 0;
    const bool ok = t->fileHandle != INVALID_HANDLE_VALUE &&
                    WriteFile(t->fileHandle, out->bytes, out->count, &written, nullptr) && written == out->count;
    out->count = 0;
    return ok;
}

// The receiver's capabilities: buffer 0 (stream), variable headers allowed,
// full duplex and CRC-32.
void setReceiverInit(TransferRecord *t) {
    std::memset(t->txHeader, 0, sizeof t->txHeader);
    t->txHeader[ZP0] = 0;
    t->txHeader[ZP1] = 0;
    t->txHeader[ZF1] = 1;
    t->txHeader[ZF0] = 33;
}

bool isTextFile(const TransferRecord *t) {
    if (t->conversion == 1) return false;
    if (t->conversion == 2) return true;
    return t->textMode != 0;
}

HANDLE openReceived(const TransferRecord *t, bool append) {
    return CreateFileA(t->filePath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, append ? OPEN_ALWAYS : CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

DWORD filePointer(HANDLE h, DWORD method) {
    LONG high = 0;
    return SetFilePointer(h, 0, &high, method);
}

// A name component the receiver never follows or creates.
bool badComponent(const char *begin, const char *end) {
    const size_t n = static_cast<size_t>(end - begin);
    return n == 2 && begin[0] == '.' && begin[1] == '.';
}

// Names that Windows takes as devices, with or without an extension.
bool deviceName(const char *name) {
    static const char *const devices[] = {"CON", "PRN", "AUX", "NUL", "CLOCK$"};
    size_t n = 0;
    while (name[n] && name[n] != '.') n++;
    auto same = [&](const char *d) {
        size_t k = std::strlen(d);
        if (k != n) return false;
        for (size_t i = 0; i < k; i++)
            if ((name[i] & ~0x20) != (d[i] & ~0x20) && name[i] != d[i]) return false;
        return true;
    };
    for (const char *d : devices)
        if (same(d)) return true;
    if (n == 4 && name[3] >= '1' && name[3] <= '9') {
        char head[4] = {static_cast<char>(name[0] & ~0x20), static_cast<char>(name[1] & ~0x20),
                        static_cast<char>(name[2] & ~0x20), 0};
        return !std::strcmp(head, "COM") || !std::strcmp(head, "LPT");
    }
    return false;
}

// Control characters and ':' have no place in a file name.
bool unusableCharacters(const char *name) {
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(name); *p; p++)
        if (*p < 0x20 || *p == ':' || *p == 0x7F) return true;
    return false;
}

bool hasParentComponent(const char *path) {
    const char *start = path;
    for (const char *p = path;; p++) {
        if (*p == '/' || *p == '\\' || *p == '\0') {
            if (badComponent(start, p)) return true;
            if (*p == '\0') return false;
            start = p + 1;
        }
    }
}

// Builds filePath for the bare name; false when the name is refused: empty,
// "." or "..", control characters or ':', a device name (CON, NUL, COM1 ...),
// a ".." anywhere in the directory used, or a path that does not fit
// filePath.
bool buildFilePath(LONG port, TransferRecord *t, LPCSTR directory, const char *bare) {
    PortRecord *p = portRecord(port);
    if (!bare[0] || !std::strcmp(bare, ".") || !std::strcmp(bare, "..")) return false;
    if (unusableCharacters(bare) || deviceName(bare)) return false;
    char sentDir[sizeof t->filePath];
    std::memcpy(sentDir, t->filePath, sizeof sentDir);
    char built[sizeof t->filePath + 8];
    int n;
    if (p && p->fullPathNames && sentDir[0]) {
        if (hasParentComponent(sentDir) || unusableCharacters(sentDir)) return false;
        if (Func054(sentDir) != VORLEX_DIR_OK) {
            n = directory ? std::snprintf(built, sizeof built, "%s\\%s", directory, bare)
                          : std::snprintf(built, sizeof built, "%s", bare);
        } else {
            n = std::snprintf(built, sizeof built, "%s\\%s", sentDir, bare);
        }
    } else if (directory) {
        n = std::snprintf(built, sizeof built, "%s\\%s", directory, bare);
    } else {
        n = std::snprintf(built, sizeof built, "%s", bare);
    }
    if (n < 0 || static_cast<size_t>(n) >= sizeof t->filePath) return false;
    std::memcpy(t->filePath, built, static_cast<size_t>(n) + 1);
    return true;
}

void showOpenError(LONG port, TransferRecord *t, DWORD error) {
    PortRecord *p = portRecord(port);
    if (!p || !p->showFileErrors) return;
    char text[256] = "";
    if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, sizeof text,
                        nullptr))
        std::snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(error));
    Func033(nullptr, "Download", MB_ICONHAND, "%s\n%s\nError: %s", "Unable To Open File!", t->filePath, text);
}

// Unsigned decimal at the start of the text, kept within 32 bits.
DWORD parseLength(const char *s) {
    while (*s == ' ') s++;
    unsigned long long v = 0;
    while (*s >= '0' && *s <= '9') {
        v = v * 10 + static_cast<unsigned>(*s++ - '0');
        if (v > 0xFFFFFFFFull) return 0xFFFFFFFFu;
    }
    return static_cast<DWORD>(v);
}

} // namespace

void splitSentName(LONG port, const char *sent, char *nameOut) {
    TransferRecord *t = transferRecord(port);
    if (!t) return;
    if (sent[0] && sent[1] == ':') sent += 2;
    const char *sep = nullptr;
    for (const char *p = sent; *p; p++)
        if (*p == '/' || *p == '\\') sep = p;
    if (!sep) {
        t->filePath[0] = '\0';
        std::strcpy(nameOut, sent);
        return;
    }
    size_t dirLength = static_cast<size_t>(sep - sent);
    if (dirLength >= sizeof t->filePath) dirLength = sizeof t->filePath - 1;
    std::memcpy(t->filePath, sent, dirLength);
    t->filePath[dirLength] = '\0';
    // A name sent as "/x" keeps its root.
    if (dirLength == 0) std::strcpy(t->filePath, "\\");
    std::strcpy(nameOut, sep + 1);
}

LONG receiverInit(LONG port) {
    TransferRecord *t = transferRecord(port);
    if (!t) return kFailed;
    t->useCrc32 = 0;
    int tries = 12;
    bool sendInit = true;
    while (tries > 0) {
        if (sendInit) {
            setReceiverInit(t);
            sendHexHeader(port, ZRINIT, t->txHeader);
        }
        sendInit = true;
        LONG r = readHeader(port, t->rxHeader);
        switch (r) {
        case ZRQINIT:
            if (t->rxHeader[ZF1] & 1) {
                t->variableHeaders = 1;
                t->headerLength = 13;
            }
            tries--;
            break;
        case ZSINIT: {
            BYTE attention[33];
            LONG end = readSubpacket(port, attention, 32);
            if (end >= GOTCRCE && end <= GOTCRCW) {
                std::memcpy(t->attention, attention, static_cast<size_t>(t->lastDataCount));
                t->attention[t->lastDataCount] = '\0';
            }
            sendHexHeader(port, end == GOTCRCW ? ZACK : ZNAK, t->txHeader);
            tries--;
            sendInit = false;
            break;
        }
        case ZFILE: {
            t->conversion = t->rxHeader[ZF0];
            LONG end = readSubpacket(port, t->dataBuffer, kMaxSubpacket);
            if (end == GOTCRCW) {
                t->dataBuffer[t->lastDataCount] = 0;
                return kGotFile;
            }
            sendHexHeader(port, ZNAK, t->txHeader);
            tries--;
            sendInit = false;
            break;
        }
        case ZFIN: return kBatchEnded;
        case ZCOMPL:
            tries--;
            sendInit = false;
            break;
        case ZCAN:
            t->resultCode = kResultCancelled;
            countError(port, kStatusSenderCanceled);
            return kFailed;
        case ZFREECNT: {
            BYTE zero[20] = {};
            sendHexHeader(port, ZACK, zero);
            sendInit = false;
            break;
        }
        case ZCOMMAND: {
            LONG end = readSubpacket(port, t->dataBuffer, kMaxSubpacket);
            if (end == GOTCRCW) {
                // Commands are answered, never carried out.
                std::memset(t->txHeader, 0, sizeof t->txHeader);
                for (int n = 0; n < 10; n++) {
                    sendHexHeader(port, ZCOMPL, t->txHeader);
                    if (readHeader(port, t->rxHeader) == ZFIN) break;
                }
                return kBatchEnded;
            }
            sendHexHeader(port, ZNAK, t->txHeader);
            tries--;
            sendInit = false;
            break;
        }
        default: tries--; break;
        }
    }
    t->resultCode = kResultNoAnswer;
    countError(port, kStatusTimeOut);
    return kFailed;
}

LONG writeSubpacket(LONG port, DWORD &expected) {
    TransferRecord *t = transferRecord(port);
    if (!t) return kFailed;
    if (stopRequested(t)) {
        t->resultCode = kResultRemoteCancel;
        countError(port, kStatusTransferCanceled);
        Func005(port);
        waitTicks(port, 36, true);
        discardInput(port);
        Func005(port);
        return kFailed;
    }
    if (carrierLost(port)) {
        t->resultCode = kResultCarrierLost;
        countError(port, kStatusLostCarrier);
        return kFailed;
    }
    const LONG count = t->lastDataCount;
    if (count > 0) {
        FileOutput *out = fileOutput(port);
        const BYTE *data = t->dataBuffer;
        const bool text = isTextFile(t);
        // Room for the worst case of this subpacket (every byte an LF).
        if (!out || out->count + 2 * static_cast<DWORD>(count) > kOutputSize) {
            if (!flushOutput(port, t)) {
                t->resultCode = kResultWriteFailed;
                countError(port, kStatusWriteError);
                return kFailed;
            }
        }
        DWORD added = 0;
        if (out) {
            BYTE *p = out->bytes + out->count;
            if (text) {
                for (LONG i = 0; i < count; i++) {
                    if (data[i] == '\n') p[added++] = '\r';
                    p[added++] = data[i];
                }
            } else {
                std::memcpy(p, data, static_cast<size_t>(count));
                added = static_cast<DWORD>(count);
            }
            out->count += added;
        }
        t->filePosition += added;
        reportProgress(port, t->filePosition);
        expected += static_cast<DWORD>(count);
    }
    return 0;
}

LONG receiveFileData(LONG port) {
    TransferRecord *t = transferRecord(port);
    if (!t) return kFailed;
    auto cancelEnd = [&]() -> LONG {
        t->resultCode = kResultRemoteCancel;
        Func005(port);
        discardInput(port);
        return kFailed;
    };
    reportProgress(port, t->filePosition);
    startClock(port);
    if (stopRequested(t)) return cancelEnd();
    DWORD expected = t->filePosition;
    int budget = 10;
    bool sendPosition = true;
    // The last ZRPOS: while the line still brings what the sender had
    // queued before it, garbage is no reason to ask again.
    DWORD askedAt = 0, askedFor = 0xFFFFFFFFu;
    while (!t->cancelled) {
        if (t->aborted) return cancelEnd();
        if (carrierLost(port)) {
            t->resultCode = kResultCarrierLost;
            countError(port, kStatusLostCarrier);
            return kFailed;
        }
        if (sendPosition) {
            storePosition(t->txHeader, expected);
            sendHexHeader(port, ZRPOS, t->txHeader);
            askedAt = GetTickCount();
            askedFor = expected;
        }
        sendPosition = true;
        bool error = false;
        LONG r = readHeader(port, t->rxHeader);
        if (r == kReadError && askedFor == expected && GetTickCount() - askedAt < kResyncMs) {
            sendPosition = false;
            continue;
        }
        if (r == ZCAN && !stopRequested(t)) {
            // Five CANs: the sender has given up; retrying cannot help.
            t->resultCode = kResultCancelled;
            countError(port, kStatusSenderCanceled);
            return kFailed;
        }
        if (r == kReadError) {
            countError(port, kStatusCrcError);
            error = true;
        } else if (r < kReadError || r > ZEOF) {
            if (t->resultCode == kResultCarrierLost) {
                countError(port, kStatusLostCarrier);
                return kFailed;
            }
            countError(port, kStatusUnknownError);
            error = true;
        } else if (r == ZFILE) {
            readSubpacket(port, t->dataBuffer, kMaxSubpacket);
        } else if (r == ZFIN) {
            return kSenderFinished;
        } else if (r == ZDATA) {
            // A frame that starts behind us is a repeat of data we have
            // (the sender restarted more than once): its subpackets are
            // read, and only what lies beyond our position is written.
            // Answering it with ZRPOS would only start yet another repeat.
            const bool behind = t->peerPosition < expected && expected - t->peerPosition <= (1u << 24);
            if (t->peerPosition != expected && !behind) {
                countError(port, kStatusBadFilePosition);
                error = true;
            } else {
                DWORD framePosition = t->peerPosition;
                for (;;) {
                    LONG end = readSubpacket(port, t->dataBuffer, kMaxSubpacket);
                    if (end >= GOTCRCE && end <= GOTCRCW) {
                        const DWORD count = static_cast<DWORD>(t->lastDataCount);
                        if (framePosition < expected) {
                            const DWORD known = expected - framePosition;
                            framePosition += count;
                            const DWORD fresh = count > known ? count - known : 0;
                            if (fresh) std::memmove(t->dataBuffer, t->dataBuffer + known, fresh);
                            t->lastDataCount = static_cast<LONG>(fresh);
                        } else {
                            framePosition += count;
                        }
                        if (writeSubpacket(port, expected) != 0) return kFailed;
                        budget = 10;
                        if (end == GOTCRCG) continue;
                        if (framePosition < expected) {
                            // Still a repeat: a sender waiting (ZCRCW) is
                            // sent to where we are; one streaming on hears
                            // how far its repeat has come.
                            if (end == GOTCRCW) break;
                            if (end == GOTCRCQ) {
                                storePosition(t->txHeader, framePosition);
                                sendHexHeader(port, ZACK, t->txHeader);
                                continue;
                            }
                        } else if (end == GOTCRCQ || end == GOTCRCW) {
                            storePosition(t->txHeader, expected);
                            sendHexHeader(port, ZACK, t->txHeader);
                            if (end == GOTCRCQ) continue;
                        }
                        sendPosition = false; // the next header follows
                        break;
                    }
                    if (end == kReadError || end == kReadTimeout) {
                        error = true;
                    } else if (end == ZCAN) {
                        t->resultCode = kResultCancelled;
                        countError(port, kStatusSenderCanceled);
                        return kFailed;
                    } else {
                        readSubpacket(port, t->dataBuffer, kMaxSubpacket);
                    }
                    break;
                }
            }
        } else if (r == ZEOF) {
            if (t->peerPosition == expected) {
                if (!flushOutput(port, t)) {
                    t->resultCode = kResultWriteFailed;
                    countError(port, kStatusWriteError);
                    return kFailed;
                }
                reportProgress(port, t->filePosition);
                setReceiverInit(t);
                sendHexHeader(port, ZRINIT, t->txHeader);
                return kFileDone;
            }
            sendPosition = false; // ignored; wait for the next header
        } else {
            countError(port, kStatusUnknownError);
            error = true;
        }
        if (error) {
            Func003(port, t->attention);
            if (budget == 0) {
                t->resultCode = kResultRemoteCancel;
                countError(port, kStatusTooManyErrors);
                discardInput(port);
                return kFailed;
            }
            budget--;
        }
    }
    return cancelEnd();
}

void finishReceive(LONG port) {
    TransferRecord *t = transferRecord(port);
    if (!t) return;
    waitTicks(port, 18, false);
    std::memset(t->txHeader, 0, sizeof t->txHeader);
    sendHexHeader(port, ZFIN, t->txHeader);
    drainTransmitQueue(port, 2000);
    waitTicks(port, 18, false);
    while (inputWaiting(port))
        if (readLineByte(port, 0) < 0) break;
}

LONG receiveZmodemFiles(LONG port, LPCSTR directory) {
    TransferRecord *t = transferRecord(port);
    PortRecord *p = portRecord(port);
    if (!t || !p) return kResultCannotOpen;
    if (directory && (!directory[0] || directory[0] == ' ')) directory = nullptr;
    LineInput input;
    attachLineInput(port, &input);
    setEscapeControls(port, false);
    HGLOBAL outputMemory = GlobalAlloc(GMEM_ZEROINIT, sizeof(FileOutput));
    outputs[port].store(outputMemory ? static_cast<FileOutput *>(GlobalLock(outputMemory)) : nullptr);
    t->headerLength = 4;
    bool failed = false;
    for (;;) {
        t->resume = p->resume;
        t->textMode = p->textMode;
        failed = false;
        t->fileSize = 0;
        t->filePosition = 0;
        t->errorCount = 0;
        t->conversion = 0;
        t->charTimeout = 10;
        t->headerWaits = 2;
        t->fileHandle = INVALID_HANDLE_VALUE;
        announceFile(port, nullptr);
        reportStatusText(port, kStatusWaitingForFilename, 0);
        if (t->aborted) {
            t->resultCode = kResultRemoteCancel;
            Func005(port);
            failed = true;
            break;
        }
        LONG r = receiverInit(port);
        if (r == kFailed) {
            failed = true;
            break;
        }
        if (r != kGotFile) break;

        // The name (cut to 256 characters) and, after its NUL, the length.
        const char *sent = reinterpret_cast<const char *>(t->dataBuffer);
        const size_t sentLength = std::strlen(sent);
        char name[257];
        const size_t kept = sentLength < 256 ? sentLength : 256;
        std::memcpy(name, sent, kept);
        name[kept] = '\0';
        const char *info = sent + sentLength + 1;
        if (sentLength + 1 < static_cast<size_t>(t->lastDataCount) && *info) t->fileSize = parseLength(info);

        char bare[257];
        splitSentName(port, name, bare);
        announceFile(port, bare);
        if (t->aborted) {
            t->resultCode = kResultRemoteCancel;
            Func005(port);
            failed = true;
            break;
        }

        bool opened = false;
        if (!buildFilePath(port, t, directory, bare)) {
            // A refused name is handled as a file that could not be opened.
            t->filePath[0] = '\0';
            showOpenError(port, t, ERROR_INVALID_NAME);
        } else {
            t->fileHandle = openReceived(t, t->resume != 0);
            if (t->fileHandle == INVALID_HANDLE_VALUE)
                showOpenError(port, t, GetLastError());
            else
                opened = true;
        }
        if (!opened) {
            t->resultCode = kResultCannotOpen;
            Func005(port);
            countError(port, kStatusCouldNotOpen);
            waitTicks(port, 72, false);
            failed = true;
            break;
        }

        if (!t->resume) {
            t->filePosition = 0;
        } else {
            t->filePosition = filePointer(t->fileHandle, FILE_END);
            if (t->filePosition > t->fileSize) {
                CloseHandle(t->fileHandle);
                t->resume = 0;
                t->fileHandle = openReceived(t, false);
                t->filePosition = 0;
                if (t->fileHandle == INVALID_HANDLE_VALUE) {
                    t->resultCode = kResultCannotOpen;
                    Func005(port);
                    countError(port, kStatusCouldNotOpen);
                    failed = true;
                }
            }
        }

        if (!failed) {
            reportStatusText(port, kStatusReceivingFile, 0);
            if (t->aborted) {
                t->resultCode = kResultRemoteCancel;
                Func005(port);
                failed = true;
            } else if (receiveFileData(port) != kFileDone) {
                failed = true;
            }
        }

        if (t->fileHandle != INVALID_HANDLE_VALUE) {
            if (failed) {
                if (FileOutput *out = fileOutput(port)) out->count = 0;
            } else if (!flushOutput(port, t)) {
                t->resultCode = kResultWriteFailed;
                countError(port, kStatusWriteError);
                failed = true;
            }
            CloseHandle(t->fileHandle);
            t->fileHandle = INVALID_HANDLE_VALUE;
        }
        // A failed file goes, unless resume keeps it for the next attempt;
        // only a file this call opened is ever deleted.
        if (failed && opened && !t->resume && GetFileAttributesA(t->filePath) != INVALID_FILE_ATTRIBUTES)
            DeleteFileA(t->filePath);
        if (failed) break;
    }
    finishReceive(port);
    discardInput(port);
    detachLineInput(port);
    outputs[port].store(nullptr);
    if (outputMemory) {
        GlobalUnlock(outputMemory);
        GlobalFree(outputMemory);
    }
    return failed ? t->resultCode : 0;
}

} // namespace vorlex
