// Zmodem receiver: a whole batch per call, written into a directory.
#include "zmodem.h"

#include "services/file_utils.h"

#include <cstdio>
#include <cstring>

namespace vorlex {

// Received data goes to the file in large writes: one system call per
// subpacket would cost more than decoding it.
constexpr DWORD kOutputSize = 65536;
struct FileOutput {
    DWORD count;            // bytes held
    BYTE bytes[kOutputSize];
};

namespace {

constexpr LONG kFailed = -1;
constexpr LONG kGotFile = 4;
constexpr LONG kBatchEnded = 15;
constexpr LONG kFileDone = 11;
constexpr LONG kSenderFinished = 8;
// After a ZRPOS, bad headers for this long are taken as the tail of what
// the sender had already sent, not as new errors.
constexpr DWORD kResyncMs = 2000;

// Writes out what is held; false when the file took less (a full disk).
bool flushOutput(TransferRecord *t) {
    FileOutput *out = t->zmodem.output;
    if (!out || !out->count) return true;
    DWORD written = 0;
    const bool ok = t->fileHandle != INVALID_HANDLE_VALUE &&
                    WriteFile(t->fileHandle, out->bytes, out->count, &written, nullptr) && written == out->count;
    out->count = 0;
    return ok;
}

// The receiver's capabilities: buffer 0 (stream), variable headers allowed,
// full duplex and CRC-32.
void setReceiverInit(ZmodemLink &z) {
    std::memset(z.txHeader, 0, sizeof z.txHeader);
    z.txHeader[ZP0] = 0;
    z.txHeader[ZP1] = 0;
    z.txHeader[ZF1] = 1;
    z.txHeader[ZF0] = 33;
}

bool isTextFile(const TransferRecord *t) {
    if (t->zmodem.conversion == 1) return false;
    if (t->zmodem.conversion == 2) return true;
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
bool buildFilePath(Session &s, TransferRecord *t, LPCSTR directory, const char *bare) {
    PortRecord *p = &s.rec();
    if (!bare[0] || !std::strcmp(bare, ".") || !std::strcmp(bare, "..")) return false;
    if (unusableCharacters(bare) || deviceName(bare)) return false;
    char sentDir[sizeof t->filePath];
    std::memcpy(sentDir, t->filePath, sizeof sentDir);
    char built[sizeof t->filePath + 8];
    int n;
    if (p->fullPathNames && sentDir[0]) {
        if (hasParentComponent(sentDir) || unusableCharacters(sentDir)) return false;
        if (makeDirectory(sentDir) != VORLEX_DIR_OK) {
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

void showOpenError(Session &s, TransferRecord *t, DWORD error) {
    PortRecord *p = &s.rec();
    if (!p->showFileErrors) return;
    char text[256] = "";
    if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, sizeof text,
                        nullptr))
        std::snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(error));
    messageBox(nullptr, "Download", MB_ICONHAND, "%s\n%s\nError: %s", "Unable To Open File!", t->filePath, text);
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

void splitSentName(Session &s, const char *sent, char *nameOut) {
    TransferRecord *t = s.transfer.load();
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

LONG receiverInit(Session &s) {
    TransferRecord *t = s.transfer.load();
    ZmodemLink &z = t->zmodem;
    z.useCrc32 = 0;
    int tries = 12;
    bool sendInit = true;
    while (tries > 0) {
        if (sendInit) {
            setReceiverInit(z);
            sendHexHeader(s, ZRINIT, z.txHeader);
        }
        sendInit = true;
        const LONG r = readHeader(s, z.rxHeader).kind;
        switch (r) {
        case ZRQINIT:
            if (z.rxHeader[ZF1] & 1) {
                z.variableHeaders = 1;
                z.headerLength = 13;
            }
            tries--;
            break;
        case ZSINIT: {
            BYTE attention[33];
            const SubpacketRead sub = readSubpacket(s, attention, 32);
            if (sub.good()) {
                std::memcpy(z.attention, attention, static_cast<size_t>(sub.length));
                z.attention[sub.length] = '\0';
            }
            sendHexHeader(s, sub.end == GOTCRCW ? ZACK : ZNAK, z.txHeader);
            tries--;
            sendInit = false;
            break;
        }
        case ZFILE: {
            z.conversion = z.rxHeader[ZF0];
            const SubpacketRead sub = readSubpacket(s, t->dataBuffer, kMaxSubpacket);
            if (sub.end == GOTCRCW) {
                t->dataBuffer[sub.length] = 0;
                return kGotFile;
            }
            sendHexHeader(s, ZNAK, z.txHeader);
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
            countError(s, kStatusSenderCanceled);
            return kFailed;
        case ZFREECNT: {
            BYTE zero[20] = {};
            sendHexHeader(s, ZACK, zero);
            sendInit = false;
            break;
        }
        case ZCOMMAND: {
            if (readSubpacket(s, t->dataBuffer, kMaxSubpacket).end == GOTCRCW) {
                // Commands are answered, never carried out.
                std::memset(z.txHeader, 0, sizeof z.txHeader);
                for (int n = 0; n < 10; n++) {
                    sendHexHeader(s, ZCOMPL, z.txHeader);
                    if (readHeader(s, z.rxHeader).kind == ZFIN) break;
                }
                return kBatchEnded;
            }
            sendHexHeader(s, ZNAK, z.txHeader);
            tries--;
            sendInit = false;
            break;
        }
        default: tries--; break;
        }
    }
    t->resultCode = kResultNoAnswer;
    countError(s, kStatusTimeOut);
    return kFailed;
}

LONG writeSubpacket(Session &s, DWORD &expected) {
    TransferRecord *t = s.transfer.load();
    ZmodemLink &z = t->zmodem;
    if (stopRequested(t)) {
        t->resultCode = kResultRemoteCancel;
        countError(s, kStatusTransferCanceled);
        sendCancelSequence(s);
        waitTicks(s, 36, true);
        discardInput(s);
        sendCancelSequence(s);
        return kFailed;
    }
    if (carrierLost(s)) {
        t->resultCode = kResultCarrierLost;
        countError(s, kStatusLostCarrier);
        return kFailed;
    }
    const LONG count = z.lastDataCount;
    if (count > 0) {
        FileOutput *out = z.output;
        const BYTE *data = t->dataBuffer;
        const bool text = isTextFile(t);
        // Room for the worst case of this subpacket (every byte an LF).
        if (!out || (out->count + 2 * static_cast<DWORD>(count) > kOutputSize && !flushOutput(t))) {
            t->resultCode = kResultWriteFailed;
            countError(s, kStatusWriteError);
            return kFailed;
        }
        DWORD added = 0;
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
        t->filePosition += added;
        reportProgress(s, t->filePosition);
        expected += static_cast<DWORD>(count);
    }
    return 0;
}

LONG receiveFileData(Session &s) {
    TransferRecord *t = s.transfer.load();
    ZmodemLink &z = t->zmodem;
    auto cancelEnd = [&]() -> LONG {
        t->resultCode = kResultRemoteCancel;
        sendCancelSequence(s);
        discardInput(s);
        return kFailed;
    };
    reportProgress(s, t->filePosition);
    startClock(s);
    if (stopRequested(t)) return cancelEnd();
    DWORD expected = t->filePosition;
    int budget = 10;
    bool sendPosition = true;
    // The last ZRPOS: while the line still brings what the sender had
    // queued before it, garbage is no reason to ask again.
    DWORD askedAt = 0, askedFor = 0xFFFFFFFFu;
    while (!t->cancelled) {
        if (t->aborted) return cancelEnd();
        if (carrierLost(s)) {
            t->resultCode = kResultCarrierLost;
            countError(s, kStatusLostCarrier);
            return kFailed;
        }
        if (sendPosition) {
            storePosition(z.txHeader, expected);
            sendHexHeader(s, ZRPOS, z.txHeader);
            askedAt = GetTickCount();
            askedFor = expected;
        }
        sendPosition = true;
        bool error = false;
        const HeaderRead h = readHeader(s, z.rxHeader);
        const LONG r = h.kind;
        if (r == kReadError && askedFor == expected && GetTickCount() - askedAt < kResyncMs) {
            sendPosition = false;
            continue;
        }
        if (r == ZCAN && !stopRequested(t)) {
            // Five CANs: the sender has given up; retrying cannot help.
            t->resultCode = kResultCancelled;
            countError(s, kStatusSenderCanceled);
            return kFailed;
        }
        if (r == kReadError) {
            countError(s, kStatusCrcError);
            error = true;
        } else if (r < kReadError || r > ZEOF) {
            if (t->resultCode == kResultCarrierLost) {
                countError(s, kStatusLostCarrier);
                return kFailed;
            }
            countError(s, kStatusUnknownError);
            error = true;
        } else if (r == ZFILE) {
            readSubpacket(s, t->dataBuffer, kMaxSubpacket);
        } else if (r == ZFIN) {
            return kSenderFinished;
        } else if (r == ZDATA) {
            // A frame that starts behind us is a repeat of data we have
            // (the sender restarted more than once): its subpackets are
            // read, and only what lies beyond our position is written.
            // Answering it with ZRPOS would only start yet another repeat.
            const bool behind = h.position < expected && expected - h.position <= (1u << 24);
            if (h.position != expected && !behind) {
                countError(s, kStatusBadFilePosition);
                error = true;
            } else {
                DWORD framePosition = h.position;
                for (;;) {
                    const SubpacketRead sub = readSubpacket(s, t->dataBuffer, kMaxSubpacket);
                    const LONG end = sub.end;
                    if (sub.good()) {
                        const DWORD count = static_cast<DWORD>(sub.length);
                        if (framePosition < expected) {
                            const DWORD known = expected - framePosition;
                            framePosition += count;
                            const DWORD fresh = count > known ? count - known : 0;
                            if (fresh) std::memmove(t->dataBuffer, t->dataBuffer + known, fresh);
                            z.lastDataCount = static_cast<LONG>(fresh);
                        } else {
                            framePosition += count;
                        }
                        if (writeSubpacket(s, expected) != 0) return kFailed;
                        budget = 10;
                        if (end == GOTCRCG) continue;
                        if (framePosition < expected) {
                            // Still a repeat: a sender waiting (ZCRCW) is
                            // sent to where we are; one streaming on hears
                            // how far its repeat has come.
                            if (end == GOTCRCW) break;
                            if (end == GOTCRCQ) {
                                storePosition(z.txHeader, framePosition);
                                sendHexHeader(s, ZACK, z.txHeader);
                                continue;
                            }
                        } else if (end == GOTCRCQ || end == GOTCRCW) {
                            storePosition(z.txHeader, expected);
                            sendHexHeader(s, ZACK, z.txHeader);
                            if (end == GOTCRCQ) continue;
                        }
                        sendPosition = false; // the next header follows
                        break;
                    }
                    if (end == kReadError) {
                        error = true;
                    } else if (end == ZCAN) {
                        t->resultCode = kResultCancelled;
                        countError(s, kStatusSenderCanceled);
                        return kFailed;
                    } else {
                        readSubpacket(s, t->dataBuffer, kMaxSubpacket);
                    }
                    break;
                }
            }
        } else if (r == ZEOF) {
            if (h.position == expected) {
                if (!flushOutput(t)) {
                    t->resultCode = kResultWriteFailed;
                    countError(s, kStatusWriteError);
                    return kFailed;
                }
                reportProgress(s, t->filePosition);
                setReceiverInit(z);
                sendHexHeader(s, ZRINIT, z.txHeader);
                return kFileDone;
            }
            sendPosition = false; // ignored; wait for the next header
        } else {
            countError(s, kStatusUnknownError);
            error = true;
        }
        if (error) {
            putEach(s, z.attention, lstrlenA(z.attention));
            if (budget == 0) {
                t->resultCode = kResultRemoteCancel;
                countError(s, kStatusTooManyErrors);
                discardInput(s);
                return kFailed;
            }
            budget--;
        }
    }
    return cancelEnd();
}

// How long the end of a batch waits for the sender's "OO".
constexpr DWORD kOverAndOutMs = 1000;

void finishReceive(Session &s) {
    ZmodemLink &z = zmodemLink(s);
    waitTicks(s, 18, false);
    std::memset(z.txHeader, 0, sizeof z.txHeader);
    sendHexHeader(s, ZFIN, z.txHeader);
    drainOutput(s, 2000);
    // The sender's "OO" (and what it still said before it) is taken for
    // about a second, a byte at a time past the frame reader's buffer;
    // what follows it stays queued for whoever reads the line next (a
    // shell's next prompt on a terminal).
    detachLineInput(s);
    const DWORD start = GetTickCount();
    for (int lastO = 0; GetTickCount() - start < kOverAndOutMs;) {
        const LONG c = readLineByteMs(s, kOverAndOutMs - (GetTickCount() - start));
        if (c < 0) break;
        lastO = (c & 0x7F) == 'O' ? lastO + 1 : 0;
        if (lastO == 2) break;
    }
}

LONG receiveZmodemFiles(Session &s, LPCSTR directory) {
    TransferRecord *t = s.transfer.load();
    if (!t) return kResultCannotOpen;
    ZmodemLink &z = t->zmodem;
    PortRecord *p = &s.rec();
    if (directory && (!directory[0] || directory[0] == ' ')) directory = nullptr;
    HGLOBAL outputMemory = GlobalAlloc(GMEM_ZEROINIT, sizeof(FileOutput));
    z.output = outputMemory ? static_cast<FileOutput *>(GlobalLock(outputMemory)) : nullptr;
    if (!z.output) {
        // Received data would have nowhere to go: refused before the
        // sender is asked for any, and told so.
        if (outputMemory) GlobalFree(outputMemory);
        t->resultCode = kResultWriteFailed;
        countError(s, kStatusWriteError);
        sendCancelSequence(s);
        return t->resultCode;
    }
    LineInput input;
    attachLineInput(s, &input);
    setEscapeControls(s, false);
    z.headerLength = 4;
    bool failed = false;
    for (;;) {
        t->resume = p->resume;
        t->textMode = p->textMode;
        failed = false;
        t->fileSize = 0;
        t->filePosition = 0;
        t->errorCount = 0;
        z.conversion = 0;
        z.charTimeout = 10;
        z.headerWaits = 2;
        t->fileHandle = INVALID_HANDLE_VALUE;
        announceFile(s, nullptr);
        reportStatusText(s, kStatusWaitingForFilename, 0);
        if (t->aborted) {
            t->resultCode = kResultRemoteCancel;
            sendCancelSequence(s);
            failed = true;
            break;
        }
        LONG r = receiverInit(s);
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
        if (sentLength + 1 < static_cast<size_t>(z.lastDataCount) && *info) t->fileSize = parseLength(info);

        char bare[257];
        splitSentName(s, name, bare);
        announceFile(s, bare);
        if (t->aborted) {
            t->resultCode = kResultRemoteCancel;
            sendCancelSequence(s);
            failed = true;
            break;
        }

        bool opened = false;
        if (!buildFilePath(s, t, directory, bare)) {
            // A refused name is handled as a file that could not be opened.
            t->filePath[0] = '\0';
            showOpenError(s, t, ERROR_INVALID_NAME);
        } else {
            t->fileHandle = openReceived(t, t->resume != 0);
            if (t->fileHandle == INVALID_HANDLE_VALUE)
                showOpenError(s, t, GetLastError());
            else
                opened = true;
        }
        if (!opened) {
            t->resultCode = kResultCannotOpen;
            sendCancelSequence(s);
            countError(s, kStatusCouldNotOpen);
            waitTicks(s, 72, false);
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
                    sendCancelSequence(s);
                    countError(s, kStatusCouldNotOpen);
                    failed = true;
                }
            }
        }

        if (!failed) {
            reportStatusText(s, kStatusReceivingFile, 0);
            if (t->aborted) {
                t->resultCode = kResultRemoteCancel;
                sendCancelSequence(s);
                failed = true;
            } else if (receiveFileData(s) != kFileDone) {
                failed = true;
            }
        }

        if (t->fileHandle != INVALID_HANDLE_VALUE) {
            // What was received and checked goes to the file even when the
            // file failed: with resume it is what the next attempt builds on.
            if (!flushOutput(t) && !failed) {
                t->resultCode = kResultWriteFailed;
                countError(s, kStatusWriteError);
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
    finishReceive(s);
    if (failed) discardInput(s);
    detachLineInput(s);
    z.output = nullptr;
    GlobalUnlock(outputMemory);
    GlobalFree(outputMemory);
    return failed ? t->resultCode : 0;
}

} // namespace vorlex
