/* Basic Win32 types for the POSIX layer. Widths follow 32-bit Windows where
   the API fixes them (DWORD, LONG are 32-bit); pointer-sized types follow the
   host. Usable from C and C++. */
#ifndef WINAPI_WINDEF_H
#define WINAPI_WINDEF_H

#include <stddef.h>
#include <stdint.h>
#include <stdarg.h>

#ifdef __cplusplus
#define WINAPI_EXTERN_C extern "C"
#define WINAPI_BEGIN_C extern "C" {
#define WINAPI_END_C }
#else
#define WINAPI_EXTERN_C
#define WINAPI_BEGIN_C
#define WINAPI_END_C
#endif

#define WINAPI
#define APIENTRY
#define CALLBACK
#define WINAPIV
#define STDMETHODCALLTYPE
#define __stdcall
#define __cdecl
#define _stdcall
#define _cdecl
#define DECLSPEC_IMPORT
#define WINAPI_VISIBLE __attribute__((visibility("default")))
#define WINBASEAPI WINAPI_VISIBLE
#define WINUSERAPI WINAPI_VISIBLE
#define WINGDIAPI WINAPI_VISIBLE
#define WINCOMMDLGAPI WINAPI_VISIBLE
#define WINSHELLAPI WINAPI_VISIBLE
#define WINCOMMCTRLAPI WINAPI_VISIBLE
#define FAR
#define NEAR
#define CONST const
#define VOID void
#ifndef IN
#define IN
#define OUT
#define OPTIONAL
#endif

typedef int BOOL;
typedef BOOL *PBOOL, *LPBOOL;
typedef unsigned char BYTE, UCHAR, BOOLEAN;
typedef BYTE *PBYTE, *LPBYTE;
typedef unsigned short WORD, USHORT, ATOM;
typedef WORD *PWORD, *LPWORD;
typedef short SHORT;
typedef uint32_t DWORD, ULONG;
typedef DWORD *PDWORD, *LPDWORD, *PULONG;
typedef int32_t LONG;
typedef LONG *PLONG, *LPLONG;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG, DWORD64;
typedef int INT;
typedef INT *PINT, *LPINT;
typedef unsigned int UINT;
typedef UINT *PUINT;
typedef char CHAR;
typedef CHAR *PSTR, *LPSTR, *PCHAR;
typedef const CHAR *PCSTR, *LPCSTR;
typedef wchar_t WCHAR;
typedef WCHAR *LPWSTR;
typedef const WCHAR *LPCWSTR;
typedef char TCHAR;
typedef LPSTR LPTSTR;
typedef LPCSTR LPCTSTR;
typedef void *PVOID, *LPVOID;
typedef const void *LPCVOID;
typedef float FLOAT;

typedef uintptr_t UINT_PTR, ULONG_PTR, DWORD_PTR, SIZE_T;
typedef intptr_t INT_PTR, LONG_PTR, SSIZE_T;
typedef ULONG_PTR *PULONG_PTR;
typedef SIZE_T *PSIZE_T;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;

typedef void *HANDLE;
typedef HANDLE *PHANDLE, *LPHANDLE;

#define DECLARE_HANDLE(name) struct name##__ { int unused; }; typedef struct name##__ *name
DECLARE_HANDLE(HWND);
DECLARE_HANDLE(HINSTANCE);
DECLARE_HANDLE(HMENU);
DECLARE_HANDLE(HICON);
DECLARE_HANDLE(HDC);
DECLARE_HANDLE(HBRUSH);
DECLARE_HANDLE(HPEN);
DECLARE_HANDLE(HFONT);
DECLARE_HANDLE(HBITMAP);
DECLARE_HANDLE(HRGN);
DECLARE_HANDLE(HRSRC);
DECLARE_HANDLE(HKEY);
DECLARE_HANDLE(HACCEL);
DECLARE_HANDLE(HPALETTE);
DECLARE_HANDLE(HMONITOR);
typedef HANDLE HGDIOBJ;
typedef HICON HCURSOR;
typedef HINSTANCE HMODULE;
typedef HANDLE HGLOBAL, HLOCAL;
typedef HANDLE HRESRC_UNUSED;
typedef DWORD COLORREF;
typedef LONG HRESULT;

typedef INT_PTR (WINAPI *FARPROC)(void);

typedef struct tagRECT { LONG left, top, right, bottom; } RECT, *PRECT, *LPRECT;
typedef const RECT *LPCRECT;
typedef struct tagPOINT { LONG x, y; } POINT, *PPOINT, *LPPOINT;
typedef struct tagSIZE { LONG cx, cy; } SIZE, *PSIZE, *LPSIZE;

typedef union _LARGE_INTEGER {
    __extension__ struct { DWORD LowPart; LONG HighPart; };
    struct { DWORD LowPart; LONG HighPart; } u;
    LONGLONG QuadPart;
} LARGE_INTEGER, *PLARGE_INTEGER;

typedef struct _FILETIME { DWORD dwLowDateTime, dwHighDateTime; } FILETIME, *PFILETIME, *LPFILETIME;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif
#ifndef NULL
#define NULL 0
#endif
#define MAX_PATH 260

#define MAKEWORD(a, b) ((WORD)(((BYTE)((DWORD_PTR)(a) & 0xff)) | ((WORD)((BYTE)((DWORD_PTR)(b) & 0xff))) << 8))
#define MAKELONG(a, b) ((LONG)(((WORD)((DWORD_PTR)(a) & 0xffff)) | ((DWORD)((WORD)((DWORD_PTR)(b) & 0xffff))) << 16))
#define LOWORD(l) ((WORD)((DWORD_PTR)(l) & 0xffff))
#define HIWORD(l) ((WORD)((DWORD_PTR)(l) >> 16))
#define LOBYTE(w) ((BYTE)((DWORD_PTR)(w) & 0xff))
#define HIBYTE(w) ((BYTE)((DWORD_PTR)(w) >> 8))
#define MAKEINTRESOURCEA(i) ((LPSTR)((ULONG_PTR)((WORD)(i))))
#define MAKEINTRESOURCE MAKEINTRESOURCEA
#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)
#define RGB(r, g, b) ((COLORREF)(((BYTE)(r) | ((WORD)((BYTE)(g)) << 8)) | (((DWORD)(BYTE)(b)) << 16)))
#define GetRValue(rgb) (LOBYTE(rgb))
#define GetGValue(rgb) (LOBYTE(((WORD)(rgb)) >> 8))
#define GetBValue(rgb) (LOBYTE((rgb) >> 16))
#define UNREFERENCED_PARAMETER(p) (void)(p)

#endif
