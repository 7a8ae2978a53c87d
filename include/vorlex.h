/* Vorlex: serial communications for Win32 applications (and, through the
   POSIX Win32 layer, for Linux ones).

   Ports are numbered 0..254; port number 0 is COM1. Every export uses the
   standard-call convention (WINAPI) except Func033, which takes a variable
   argument list (cdecl). Usable from C and C++. */
#ifndef VORLEX_H
#define VORLEX_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(VORLEX_BUILDING) && !defined(_WIN32)
#define VORLEX_API __attribute__((visibility("default")))
#else
#define VORLEX_API
#endif

/* ---- result codes ---------------------------------------------------------- */

/* Opens (Func041, Func025, Func076, Func113, Func075); Func034 shows their texts. */
#define VORLEX_OPEN_OK 0
#define VORLEX_OPEN_NO_UART 1             /* the device does not exist */
#define VORLEX_OPEN_UNKNOWN_ERROR 2       /* text shown for any unknown code */
#define VORLEX_OPEN_NO_MEMORY 3
#define VORLEX_OPEN_BAD_PORT 4            /* port number outside 0..254 */
#define VORLEX_OPEN_CANNOT_OPEN 5         /* not returned by an open */
#define VORLEX_OPEN_ALREADY_OPEN 6        /* open through this library already */
#define VORLEX_OPEN_IN_USE 7              /* held by another program */
#define VORLEX_OPEN_BAD_PARAMETERS 8      /* any other open failure */

/* Func122 (close). */
#define VORLEX_CLOSE_OK 0
#define VORLEX_CLOSE_NOT_OPEN 1
#define VORLEX_CLOSE_BAD_PORT 2
#define VORLEX_CLOSE_WRONG_OWNER 3
#define VORLEX_CLOSE_HANDLE_FAILED 4      /* the record was released all the same */

/* Func001 (line settings); a Win32 error number is returned when the
   device cannot report its state, so treat every non-zero result as failure. */
#define VORLEX_LINE_OK 0
#define VORLEX_LINE_BAD_PORT 1
#define VORLEX_LINE_REFUSED 2

/* Reads. */
#define VORLEX_NO_BYTE (-1)               /* Func026; Func016: bad block */
#define VORLEX_WAIT_TIMEOUT (-10)         /* Func110 */

/* Func067 (capture on/off). */
#define VORLEX_CAPTURE_OK 0
#define VORLEX_CAPTURE_NO_MEMORY 1
#define VORLEX_CAPTURE_BAD_PORT 2
#define VORLEX_CAPTURE_NOT_WRITTEN 3     /* off: the file could not take the last bytes; capture ended all the same */

/* Func054 (make directory path), Func021 (environment variable). */
#define VORLEX_DIR_OK 0
#define VORLEX_DIR_FAILED 1
#define VORLEX_ENV_FOUND 0
#define VORLEX_ENV_NOT_FOUND 1

/* ---- types ------------------------------------------------------------------- */

/* Filled by Func039: 12 bytes, no padding. */
#pragma pack(push, 2)
typedef struct LineSettings {
    DWORD baudRate;
    WORD baudCode;   /* 1200:1 2400:2 4800:3 9600:4 19200:5 38400:6 56000/57600:7 115200:8, else 0 */
    WORD dataBits;
    WORD stopBits;   /* 1 or 2 */
    WORD parity;     /* NOPARITY .. SPACEPARITY */
} LineSettings;
#pragma pack(pop)

/* The application's transfer progress callback: port number, name length,
   name, file size, bytes so far, characters per second, error count, status.
   A non-zero result stops the transfer at its next check. */
typedef LONG(WINAPI *VorlexProgressCallback)(LONG port, LONG nameLength, LPCSTR name, DWORD fileSize, DWORD bytes,
                                              DWORD cps, DWORD errors, LONG status);

/* ---- port table, message boxes, waiting ------------------------------------------ */

VORLEX_API HANDLE WINAPI Func048(LONG port);                           /* the port's Win32 handle */
VORLEX_API int WINAPI Func034(LONG openResult);                        /* open result in a message box */
VORLEX_API int __cdecl Func033(HWND owner, LPCSTR caption, UINT style, LPCSTR format, ...);
/* Waits ticks of 56 ms, dispatching the thread's messages; 1 when a WM_QUIT,
   or a WM_CLOSE/WM_DESTROY for the window, ended it early. */
VORLEX_API LONG WINAPI Func012(HWND window, LONG ticks);

/* ---- opening and closing ------------------------------------------------------------ */

VORLEX_API LONG WINAPI Func041(LONG port, DWORD ownerId);
VORLEX_API LONG WINAPI Func025(LONG port, DWORD ownerId, DWORD inQueue, DWORD outQueue, LONG rtsCts, LONG xonXoff,
                               LONG dtrDsr);
VORLEX_API LONG WINAPI Func076(LONG port, DWORD ownerId, HANDLE handle); /* attach a handle of the caller's */
/* Open with a debug trace into the port's capture file (default "debugN.cap"). */
VORLEX_API LONG WINAPI Func113(LONG port, DWORD ownerId, LONG traceReceive, LONG traceTransmit, LPCSTR traceFile);
VORLEX_API LONG WINAPI Func075(LONG port, DWORD ownerId, DWORD inQueue, DWORD outQueue, LONG rtsCts, LONG xonXoff,
                               LONG dtrDsr, LONG traceReceive, LONG traceTransmit, LPCSTR traceFile);
VORLEX_API LONG WINAPI Func122(LONG port, DWORD ownerId);               /* close */
VORLEX_API void WINAPI Func060(LONG port, DWORD ownerId);               /* detach: the handle stays open */
VORLEX_API LONG WINAPI Func118(LONG port, DWORD writeTimeoutMs);        /* non-zero on success */

/* ---- line settings and options --------------------------------------------------------- */

VORLEX_API LONG WINAPI Func001(LONG port, LONG baud, LONG parity, LONG dataBits, LONG stopBits);
VORLEX_API void WINAPI Func032(LONG port, LONG rtsCts, LONG xonXoff, LONG dtrDsr);
VORLEX_API LONG WINAPI Func039(LONG port, LineSettings *settings);
VORLEX_API LONG WINAPI Func077(LONG port, HWND window, LONG events);   /* receive events on (non-zero) or off */
VORLEX_API void WINAPI Func116(LONG port, LONG pause);
VORLEX_API void WINAPI Func090(LONG port, LONG noProgressWindow, LONG resume, LONG fullPathNames, LONG ignoreCarrier,
                               LONG transferTimeout);
VORLEX_API void WINAPI Func070(LONG port, LONG resume, LONG fullPathNames, LONG textMode);

/* ---- receiving ------------------------------------------------------------------------ */

VORLEX_API LONG WINAPI Func026(LONG port);                          /* next byte or -1, no waiting */
VORLEX_API LONG WINAPI Func110(LONG port, HWND window, LONG seconds); /* next byte or -10 */
VORLEX_API LONG WINAPI Func071(LONG port, LPSTR buffer);            /* all queued bytes, then NUL */
VORLEX_API LONG WINAPI Func015(LONG port, LPSTR buffer, LONG maximum);
VORLEX_API LONG WINAPI Func014(LONG port, LPSTR text);              /* printable text, buffer of 512 */
/* Reads up to the terminator, which is replaced by NUL. The buffer must hold
   VORLEX_TERMINATED_MAX bytes: at most VORLEX_TERMINATED_MAX - 1 bytes are
   stored before the NUL; when the terminator has not come by then, the call
   returns that many bytes and the rest stays queued. A WM_QUIT, or WM_CLOSE
   or WM_DESTROY sent to no window, while it waits for more bytes ends the
   call with what it stored. */
#define VORLEX_TERMINATED_MAX 1024
VORLEX_API LONG WINAPI Func009(LONG port, LPSTR buffer, LONG terminator);
VORLEX_API LONG WINAPI Func016(LONG port, LPSTR buffer, LONG dataLength); /* CRC-32 guarded block */
VORLEX_API LONG WINAPI Func058(LONG port);                          /* 1 when nothing is queued */
VORLEX_API LONG WINAPI Func062(LONG port);                          /* bytes queued */
VORLEX_API void WINAPI Func129(LONG port);                          /* purge both queues */
VORLEX_API void WINAPI Func023(LONG port);                          /* purge the receive queue */
VORLEX_API LONG WINAPI Func130(LONG port, LONG a, LONG b, LONG c, LONG d, LONG e, LONG f);

/* ---- transmitting --------------------------------------------------------------------- */

VORLEX_API LONG WINAPI Func120(LONG port, LONG byte);               /* 1 sent, 0 not */
/* Multi-byte sends return the count when all was sent, 0 when nothing was,
   and minus the bytes sent when they stopped part way. */
VORLEX_API LONG WINAPI Func057(LONG port, LPCSTR buffer, LONG count);
VORLEX_API LONG WINAPI Func022(LONG port, LPCSTR buffer, LONG count);
VORLEX_API LONG WINAPI Func050(LONG port, LPCSTR buffer, LONG count); /* data + CRC-32: count + 4 */
VORLEX_API LONG WINAPI Func003(LONG port, LPCSTR text);
VORLEX_API LONG WINAPI Func038(LONG port, LPCSTR command);         /* { and ^M: CR, ~: half a second */
VORLEX_API LONG WINAPI Func112(LONG port, LPCSTR caretText);       /* ^A..^Z, ^[, ^[< */
VORLEX_API LONG WINAPI Func086(LONG port);                          /* free transmit queue space */
VORLEX_API LONG WINAPI Func117(LONG port);                          /* bytes waiting to be sent */
VORLEX_API void WINAPI Func011(LONG port);                          /* purge the transmit queue */
VORLEX_API LONG WINAPI Func005(LONG port);                          /* cancel sequence */

/* ---- modem lines ------------------------------------------------------------------------ */

VORLEX_API void WINAPI Func056(LONG port, LONG on);                 /* DTR */
VORLEX_API void WINAPI Func061(LONG port, LONG on);                 /* RTS */
VORLEX_API LONG WINAPI Func055(LONG port);                          /* hang up */
VORLEX_API void WINAPI Func063(LONG port);                          /* break */
VORLEX_API LONG WINAPI Func010(LONG port);                          /* modem status byte (MS_ bits) */
VORLEX_API LONG WINAPI Func052(LONG port);                          /* carrier detect */
VORLEX_API LONG WINAPI Func053(LONG port);                          /* ring */
/* The Communications Errors dialog: the port's five error counters and its
   modem status, shown modally over the parent (centred on it); it closes
   with its OK button or Enter only. Nothing happens for a closed port. */
VORLEX_API void WINAPI Func013(LONG port, HWND parent);
VORLEX_API INT_PTR WINAPI Func002(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam); /* its procedure */

/* ---- modem result texts -------------------------------------------------------------------- */

VORLEX_API LONG WINAPI Func040(LPCSTR response);                    /* speed of CONNECT/CARRIER, or 0 */
/* 1-based position of the first match, folding only A..Z; 0 when there is
   none. Texts longer than 65535 characters are searched to their end too
   (a match starting past position 2,147,483,647 is not reported). */
VORLEX_API LONG WINAPI Func084(LPCSTR text, LPCSTR pattern);

/* ---- small services ------------------------------------------------------------------------ */

/* Window helpers. */
VORLEX_API HWND WINAPI Func044(HWND window);                        /* outermost ancestor (GetParent) */
VORLEX_API BOOL WINAPI Func111(HWND reference, HWND window);        /* centre window over reference */
VORLEX_API LONG WINAPI Func121(void);                               /* 1: the screen uses small fonts */
VORLEX_API LONG WINAPI Func083(LPCSTR text);                        /* up to four hex digits */
VORLEX_API void WINAPI Func018(LPVOID destination, LONG fill, LONG count);
VORLEX_API LONG WINAPI Func115(LONG a, LONG b, LONG c, LONG d, LONG e, LONG f, LONG g);
/* Makes every missing level of a directory path (at most MAX_PATH - 1
   characters; \ or / between levels). VORLEX_DIR_FAILED when the path is
   blank, names something that is not a directory, or cannot be made. */
VORLEX_API LONG WINAPI Func054(LPCSTR directory);
/* Deletes the files in the directory, not its subdirectories; always 0.
   Names whose full path would not fit MAX_PATH - 1 characters are left. */
VORLEX_API LONG WINAPI Func031(LPCSTR directory);
/* The buffer (100 bytes) holds the variable's name and receives its value.
   A value of 100 characters or more does not fit: it is reported as not
   found, with the buffer emptied. */
VORLEX_API LONG WINAPI Func021(LPSTR nameAndValue);
VORLEX_API LONG WINAPI Func082(LPCSTR application, LPCSTR commandLine, LONG show); /* exit code or -1 */
/* Starts a program and returns the window of that class and title found
   once it is idle, or 0 (also, without starting anything, when the class
   or the title is null or empty). On POSIX the window system sees the
   windows of this process only: the program is started all the same, but
   WaitForInputIdle returns at once for it (as Windows does for a program
   without a message queue), and the window returned is one of this
   process's windows that has the class and title, or 0. */
VORLEX_API HWND WINAPI Func081(LPCSTR application, LPCSTR commandLine, LPCSTR windowClass, LPCSTR windowTitle);
/* Brings the top-level window of that class (blank: any) and title to the
   front, restoring it when it is minimised; 1 when one was found. On POSIX
   only this process's windows are found. */
VORLEX_API LONG WINAPI Func008(LPCSTR windowClass, LPCSTR windowTitle);
/* The file dialog: Save As when save is non-zero, else Open (the file must
   exist when mustExist is non-zero). filter is "text|pattern|text|pattern"
   (it is not changed). file (278 bytes) holds the initial name and receives
   the chosen path; name (278 bytes) receives the chosen file's name without
   its directory, or is emptied when the user cancels. Non-zero when a file
   was chosen. */
VORLEX_API LONG WINAPI Func046(HWND owner, LPCSTR title, LPSTR file, LPCSTR filter, LPSTR name, LONG save,
                               LONG mustExist);
/* The folder browser, opened at the folder in the buffer (MAX_PATH bytes)
   when it is not empty; the chosen folder replaces it. 1 when a folder was
   chosen, 0 when the user cancelled. */
VORLEX_API LONG WINAPI Func043(HWND owner, LPCSTR title, LPSTR folder);

/* ---- capture buffer ------------------------------------------------------------------------ */

/* While the capture file cannot be opened the buffer keeps its 65,024
   bytes; bytes appended beyond that are dropped (the oldest are kept).
   Turning capture off writes out what is buffered; when the file cannot
   take it, capture ends all the same and VORLEX_CAPTURE_NOT_WRITTEN says
   those bytes were lost. */
VORLEX_API LONG WINAPI Func067(LONG port, LONG on);
VORLEX_API void WINAPI Func068(LONG port, LPCSTR fileName);         /* at most 255 characters are kept */
VORLEX_API void WINAPI Func072(LONG port, LONG byte);
VORLEX_API void WINAPI Func004(LONG port, LPCSTR text);
VORLEX_API void WINAPI Func087(LONG port, LPCSTR buffer, DWORD count);

/* ---- the terminal ---------------------------------------------------------------------- */

/* Results of the terminal creation exports; Func035 shows their texts. */
#define VORLEX_TERMINAL_OK 0
#define VORLEX_TERMINAL_NO_MEMORY 1
#define VORLEX_TERMINAL_NO_WINDOWS 2
#define VORLEX_TERMINAL_PORT_NOT_OPEN 3       /* also a port number outside 0..254 */
#define VORLEX_TERMINAL_UNKNOWN_ERROR 4

/* A terminal window on a port the application opened (Func028), or on one
   it opens itself with these line settings and closes when it ends
   (Func029). attribute: the screen's PC text attribute (0x07 grey on black). */
VORLEX_API LONG WINAPI Func028(LONG port, HWND owner, LONG attribute, LONG localEcho);
VORLEX_API LONG WINAPI Func029(LONG port, HWND owner, LONG attribute, LONG localEcho, LONG baudRate, LONG parity,
                               LONG dataBits, LONG stopBits);
VORLEX_API LONG WINAPI Func007(LONG port);                          /* 1 while the port's terminal is open */
VORLEX_API LONG WINAPI Func035(LONG code);                          /* shows a creation result's text */
VORLEX_API void WINAPI Func093(const LONG *source, LONG *destination); /* copies seven 32-bit words */
/* The terminal in the application's own frame and client windows. Func006
   posts TERM_START (0x0433) and then TERM_CARRIER_ON (0x0611) or
   TERM_CARRIER_OFF (0x0612) to the frame; the frame's procedure passes its
   messages to Func091 first, the client's to Func092 (0 handled, 1 the
   application's to handle, e.g. with DefWindowProc). The frame is also told
   of carrier changes, DoorWay mode on (0x0613) and off (0x0614) and a
   Zmodem sender's start (0x0615, wParam the port number). The application
   sends TERM_SENDCHAR (0x0610) to type the character in wParam and
   TERM_SHOWCHAR (0x0616) to the client to show the byte in wParam as if
   received. The terminal ends when the client window is destroyed; frame
   or client not a window: 2. */
VORLEX_API LONG WINAPI Func006(LONG port, HWND owner, LONG attribute, LONG localEcho, HWND frame, HWND client);
VORLEX_API LONG WINAPI Func091(LONG port, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
VORLEX_API LONG WINAPI Func092(LONG port, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
/* The terminal's reception: Func020 starts (with the thread procedure,
   given the port number) or stops the port's comm event thread: 0 done,
   1 bad port, port not open or no thread, 2 a thread runs already.
   Func119 starts (1) or stops (0) a terminal's reception; Func097 pauses (0)
   or resumes (1) an open terminal's reception for the application. */
VORLEX_API LONG WINAPI Func020(LONG port, LONG start, LPTHREAD_START_ROUTINE procedure);
VORLEX_API LONG WINAPI Func119(LONG port, LONG on);
VORLEX_API void WINAPI Func097(LONG port, LONG resume);
/* The terminal type (0 IBM ANSI, 1 TTY, 2 VT100, 3 IBM3161, 4 ANSI EX,
   5 TTY EX) and, for types 2..5, its keyboard map file (1,806 bytes; see
   vorlex kbd): 0 done, 1 no open terminal, 2 the file could not be read or
   is short, 3 not a keyboard map; a failed load changes nothing. */
VORLEX_API LONG WINAPI Func088(LONG port, LONG type, LPCSTR keyboardFile);
/* The map's Return and keypad-Enter strings (13 bytes each; empty for types 0 and 1). */
VORLEX_API void WINAPI Func036(LONG port, LPSTR returnText, LPSTR keypadEnterText);
/* Setters of an open terminal: local echo of typed characters (Func094),
   DoorWay keyboard mode (Func095; neither changes the menu's marks), clear
   screen with the focus to the screen (Func096), the screen window class's
   background black (Func098 flag 1) or back as it was (0), and the caret
   made anew in the cell's size (Func099). */
VORLEX_API void WINAPI Func094(LONG port, LONG flag);
VORLEX_API void WINAPI Func095(LONG port, LONG flag);
VORLEX_API void WINAPI Func096(LONG port);
VORLEX_API void WINAPI Func098(LONG port, LONG flag);
VORLEX_API void WINAPI Func099(LONG port);
/* The window procedures of the terminal's classes VorlexTerm (frame),
   VorlexTermClient, VorlexTermStatus and VorlexTermControl (button bar). */
VORLEX_API LRESULT WINAPI Func102(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
VORLEX_API LRESULT WINAPI Func103(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
VORLEX_API LRESULT WINAPI Func106(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
VORLEX_API LRESULT WINAPI Func107(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
/* The terminal's dialogs, shown with DialogBoxParam and the port number as
   parameter: "Select A Protocol" (template 124; the dialog's result is the
   chosen protocol number, -1 when cancelled), "Session Parameters" (123;
   applies the line settings with Func001) and "Select Terminal Type" (1548;
   sets the type and keyboard map with Func088). */
VORLEX_API INT_PTR WINAPI Func104(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
VORLEX_API INT_PTR WINAPI Func105(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
VORLEX_API INT_PTR WINAPI Func108(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
/* Protocol numbers: 0 ASCII, 1 Xmodem, 2 Xmodem 1K, 3 Xmodem 1K-G, 4 Ymodem,
   5 Ymodem-G, 6 Zmodem. Func045: the number of a name, any case; -1 when
   none. Func078: an open terminal's protocol pre-selected in the protocol
   dialog and the directories where Zmodem uploads start and downloads land
   (each cut at 255 characters; a null pointer gives an empty one). */
VORLEX_API LONG WINAPI Func045(LPCSTR protocolName);
VORLEX_API void WINAPI Func078(LONG port, LONG defaultProtocol, LPCSTR sendDirectory, LPCSTR receiveDirectory);

/* ---- Zmodem transfers ------------------------------------------------------------------ */

/* Results of the Zmodem front-ends. A file that failed gives its transfer
   result code instead (1 could not be opened, 2 refused or cancelled by the
   remote end or too many errors, 3 cancelled here or by the sender, 4 no
   answer, 5 carrier lost, 6 writing the file failed). A received name is
   never written outside the receive directory (unless the port's
   fullPathNames option asks for the sender's directories); a name with a
   ".." component, control characters or ':', a device name (CON, NUL,
   COM1 ...), or one whose path does not fit 255 characters, is refused as
   a file that could not be opened (1), with nothing written.
   Sizes and positions are unsigned 32-bit: files up to 4 GiB - 1 are sent. */
#define VORLEX_ZMODEM_OK 0
#define VORLEX_ZMODEM_CANNOT_OPEN 1          /* upload: the file could not be opened; Func064: nothing matched, or a protocol other than 4, 5, 6 */
#define VORLEX_ZMODEM_STOPPED 3              /* upload: the callback stopped the transfer when the file was announced */
#define VORLEX_ZMODEM_NO_MEMORY 6            /* upload: no transfer record */
#define VORLEX_ZMODEM_BAD_PORT 7             /* upload: bad port number or port not open */
#define VORLEX_ZMODEM_DOWNLOAD_NO_MEMORY 7   /* download: no transfer record (the cancel sequence was sent) */
#define VORLEX_ZMODEM_DOWNLOAD_BAD_PORT 8    /* download: bad port number or port not open */
#define VORLEX_ZMODEM_TOO_LARGE 9            /* upload: a file of 4 GiB or more; refused before anything is sent */
#define VORLEX_ZMODEM_NO_BATCH 10            /* Func037: an index other than 0 and -1 without the batch's index-0 call */
#define VORLEX_ZMODEM_NO_WINDOW 11           /* the progress window could not be shown; nothing was sent */
#define VORLEX_ZMODEM_BUSY 12                /* a transfer already runs on the port */

/* The progress window. Every transfer shows it unless the port's
   noProgressWindow option (Func090) is set: a dialog titled for the
   protocol ("Zmodem Send", "Ymodem Receive" ...), owned by the window given
   to the export, with the file name, its size, the bytes moved, the
   characters per second, the errors, the status text and a bar that shows
   the true proportion for files of any size. The engine then runs on a
   worker thread while the export keeps the dialog alive with its own
   message loop; the owner's top-level window is disabled and the port's
   receive events are paused until the export returns. Cancel, Esc or
   closing the dialog stop the transfer: the cancel sequence goes to the
   other end, and the export returns the transfer's result (2 or 3). A
   WM_QUIT that arrives meanwhile stops the transfer too and is posted
   again for the application's loop. Func109 is the procedure of its
   window class, "ZmodemTransfer". */
VORLEX_API LRESULT WINAPI Func109(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

/* The interactive Zmodem transfers. Func065 asks for the files to send
   ("Select A File Or Group Of Files To Upload", several at once) and sends
   them as one batch; Func114 asks for the folder to receive into
   ("Directory to Save File in"). Both return 0 also when the user cancels
   the choice, and the results above otherwise. */
VORLEX_API LONG WINAPI Func065(LONG port, HWND window);
VORLEX_API LONG WINAPI Func114(LONG port, HWND window);

/* Sends one file of a batch: index 0 starts the batch (after about four
   seconds of "Waiting For Receiver" it sends "rz\r"), 1, 2 ... continue it,
   -1 ends it (ZFIN, "OO"; the call returns once those bytes have left the
   transmit queue, or after 5 seconds). */
VORLEX_API LONG WINAPI Func037(LONG port, HWND window, LPCSTR directory, LPCSTR name, LONG index);
/* Sends every file matching the pattern in the directory (the current one
   when blank): protocol 4 Ymodem, 5 Ymodem-G, 6 Zmodem. */
VORLEX_API LONG WINAPI Func064(LONG port, HWND window, LPCSTR directory, LPCSTR pattern, LONG protocol);
/* Receives a Zmodem batch into the directory (the current one when blank). */
VORLEX_API LONG WINAPI Func024(LONG port, HWND window, LPCSTR directory);
VORLEX_API void WINAPI Func085(LONG port, VorlexProgressCallback callback); /* 0 removes it */
VORLEX_API void WINAPI Func030(LONG port);                          /* show file errors in message boxes */

/* ---- block and ASCII transfers --------------------------------------------------------- */

/* Protocols of Func069 and Func123. */
#define VORLEX_PROTOCOL_ASCII 0
#define VORLEX_PROTOCOL_XMODEM 1          /* 128-byte blocks, CRC-16 or checksum */
#define VORLEX_PROTOCOL_XMODEM_1K 2
#define VORLEX_PROTOCOL_XMODEM_1K_G 3     /* streaming: nothing is acknowledged */
#define VORLEX_PROTOCOL_YMODEM 4          /* batches, each file with its name and length */
#define VORLEX_PROTOCOL_YMODEM_G 5

/* The transfer results, common to every protocol; Func069 and Func123
   return them for a transfer that failed. */
#define VORLEX_TRANSFER_OK 0
#define VORLEX_TRANSFER_CANNOT_OPEN 1      /* also: a received name refused, a file of 4 GiB or more */
#define VORLEX_TRANSFER_REMOTE_CANCEL 2    /* the other end cancelled or refused; receiver: cancelled here */
#define VORLEX_TRANSFER_CANCELLED 3        /* cancelled here (callback); receiver: the sender cancelled */
#define VORLEX_TRANSFER_NO_ANSWER 4
#define VORLEX_TRANSFER_CARRIER_LOST 5
#define VORLEX_TRANSFER_WRITE_FAILED 6     /* the disk took fewer bytes (full) */
#define VORLEX_TRANSFER_BLOCK_ERRORS 7     /* a block refused more than 10 times, or a bad block while streaming */

/* Func069 besides the transfer results. */
#define VORLEX_SEND_BAD_PROTOCOL 8         /* the caller still ends with phase -1 */
#define VORLEX_SEND_NO_MEMORY 9            /* no transfer record (or one runs on the port already), or its progress window could not be shown */
#define VORLEX_SEND_NO_BATCH 9             /* a further phase without a phase 0 that worked */
#define VORLEX_SEND_BAD_PORT 10
/* Func047 besides the transfer results (VORLEX_RECEIVE_BAD_PROTOCOL and
   VORLEX_RECEIVE_NO_MEMORY as for Func123). */
#define VORLEX_RECEIVE_DIALOG_BAD_PORT 12
/* Func123 besides the transfer results. */
#define VORLEX_RECEIVE_BAD_PROTOCOL 10
#define VORLEX_RECEIVE_NO_MEMORY 11        /* no transfer record (or one runs on the port already), or its progress window could not be shown */
#define VORLEX_RECEIVE_NO_NAME 12          /* Xmodem, ASCII: no file name */
#define VORLEX_RECEIVE_BAD_PORT 13

/* Sends the file (directory "\" name, or name alone when the directory is
   blank). phase 0 starts the transfer with this file, any phase other than
   0 and -1 sends a further file of a Ymodem batch, and -1 ends it (the
   empty file-name block, unless the last file failed on the line) and
   frees the transfer. A Ymodem file-name block holds the bare name and the
   length; a name that does not fit its 128 bytes is refused (1) before
   anything is sent, as is a file of 4 GiB or more. A -G sender whose
   receiver asks with "C" or NAK waits for each block's ACK instead of
   streaming. With the progress window, the dialog stays from phase 0 to
   phase -1; VORLEX_SEND_NO_MEMORY when it cannot be made (nothing is
   sent). The last bytes have left the transmit queue when the call
   returns (or after 10 seconds). */
VORLEX_API LONG WINAPI Func069(LONG port, HWND owner, LONG protocol, LPCSTR directory, LPCSTR fileName, LONG phase);
/* Receives into the named file (Xmodem, ASCII) inside the directory, or a
   Ymodem batch into the directory (the current one when blank). Names that
   a Ymodem sender gives are reduced to their last part; empty names, "."
   and "..", names with ':' or control characters, device names (CON, NUL,
   COM1 ...), and names whose path does not fit 255 characters are refused
   as files that cannot be opened (1), with nothing written; so is a length
   of 4 GiB or more. A Ymodem file whose data ran past the sender's length
   is cut to it (never lengthened). A block sent again because its ACK was
   lost is acknowledged again and kept once; a block whose start was
   damaged is asked for again once the line is quiet; silence where a block
   should come is answered with NAK (not while streaming: any bad block
   ends a -G transfer with 7). VORLEX_RECEIVE_NO_MEMORY also when the
   progress window cannot be made. */
VORLEX_API LONG WINAPI Func123(LONG port, HWND owner, LONG protocol, LPCSTR directory, LPCSTR fileName);
/* The interactive transfers of these protocols. Func079 asks for the file
   to send ("Select A File To Upload"; for Ymodem several at once, "Select A
   File Or Group Of Files To Upload", sent as one batch) and returns as
   Func069; Func047 asks for the file to receive into (a Save As dialog
   titled "Xmodem Receive" or "ASCII Receive") or, for Ymodem, the folder
   ("Directory to Save File in"), and returns as Func123 with
   VORLEX_RECEIVE_DIALOG_BAD_PORT for a bad port. Both return 0 also when
   the user cancels the choice; a user who cancels between two files of a
   batch ends it cleanly, with 0. */
VORLEX_API LONG WINAPI Func079(LONG port, HWND owner, LONG protocol);
VORLEX_API LONG WINAPI Func047(LONG port, HWND owner, LONG protocol);

/* ---- check sums ------------------------------------------------------------------------- */

VORLEX_API DWORD WINAPI Func042(LPCVOID buffer, LONG length);       /* CRC-32 */
VORLEX_API DWORD WINAPI Func073(LPCVOID buffer, LONG length);       /* CRC-16/XMODEM */

#ifdef __cplusplus
}
#endif

#endif
