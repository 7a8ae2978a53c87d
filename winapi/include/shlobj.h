/* The shell's folder browser of the POSIX layer: SHBrowseForFolderA with its
   callback, item lists (ITEMIDLIST, opaque: an allocation of the shell's
   allocator holding a path), SHGetPathFromIDListA and SHGetMalloc with an
   IMalloc usable from C (lpVtbl) and C++ (virtual functions). The browser
   shows the folders of one folder at a time; a double click opens one, ".."
   goes up; the folder chosen is the highlighted one, or the open one. */
#ifndef WINAPI_SHLOBJ_H
#define WINAPI_SHLOBJ_H

#include "windows.h"

WINAPI_BEGIN_C

#ifndef GUID_DEFINED
#define GUID_DEFINED
typedef struct _GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
} GUID;
#endif
typedef GUID IID;
#ifdef __cplusplus
#define REFIID const IID &
#else
#define REFIID const IID *
#endif
#define E_NOINTERFACE ((HRESULT)0x80004002L)

WINAPI_END_C

#ifdef __cplusplus
struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppvObject) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef(void) = 0;
    virtual ULONG STDMETHODCALLTYPE Release(void) = 0;
};
struct IMalloc : public IUnknown {
    virtual void *STDMETHODCALLTYPE Alloc(SIZE_T cb) = 0;
    virtual void *STDMETHODCALLTYPE Realloc(void *pv, SIZE_T cb) = 0;
    virtual void STDMETHODCALLTYPE Free(void *pv) = 0;
    virtual SIZE_T STDMETHODCALLTYPE GetSize(void *pv) = 0;
    virtual int STDMETHODCALLTYPE DidAlloc(void *pv) = 0;
    virtual void STDMETHODCALLTYPE HeapMinimize(void) = 0;
};
#else
typedef struct IMalloc IMalloc;
typedef struct IMallocVtbl {
    HRESULT(STDMETHODCALLTYPE *QueryInterface)(IMalloc *This, REFIID riid, void **ppvObject);
    ULONG(STDMETHODCALLTYPE *AddRef)(IMalloc *This);
    ULONG(STDMETHODCALLTYPE *Release)(IMalloc *This);
    void *(STDMETHODCALLTYPE *Alloc)(IMalloc *This, SIZE_T cb);
    void *(STDMETHODCALLTYPE *Realloc)(IMalloc *This, void *pv, SIZE_T cb);
    void(STDMETHODCALLTYPE *Free)(IMalloc *This, void *pv);
    SIZE_T(STDMETHODCALLTYPE *GetSize)(IMalloc *This, void *pv);
    int(STDMETHODCALLTYPE *DidAlloc)(IMalloc *This, void *pv);
    void(STDMETHODCALLTYPE *HeapMinimize)(IMalloc *This);
} IMallocVtbl;
struct IMalloc {
    const IMallocVtbl *lpVtbl;
};
#define IMalloc_QueryInterface(This, riid, ppv) (This)->lpVtbl->QueryInterface(This, riid, ppv)
#define IMalloc_AddRef(This) (This)->lpVtbl->AddRef(This)
#define IMalloc_Release(This) (This)->lpVtbl->Release(This)
#define IMalloc_Alloc(This, cb) (This)->lpVtbl->Alloc(This, cb)
#define IMalloc_Realloc(This, pv, cb) (This)->lpVtbl->Realloc(This, pv, cb)
#define IMalloc_Free(This, pv) (This)->lpVtbl->Free(This, pv)
#define IMalloc_GetSize(This, pv) (This)->lpVtbl->GetSize(This, pv)
#define IMalloc_DidAlloc(This, pv) (This)->lpVtbl->DidAlloc(This, pv)
#define IMalloc_HeapMinimize(This) (This)->lpVtbl->HeapMinimize(This)
#endif
typedef IMalloc *LPMALLOC;

WINAPI_BEGIN_C

#pragma pack(push, 1)
typedef struct _SHITEMID {
    USHORT cb;
    BYTE abID[1];
} SHITEMID;
typedef struct _ITEMIDLIST {
    SHITEMID mkid;
} ITEMIDLIST;
#pragma pack(pop)
typedef ITEMIDLIST *LPITEMIDLIST;
typedef const ITEMIDLIST *LPCITEMIDLIST;
typedef ITEMIDLIST *PIDLIST_ABSOLUTE;
typedef const ITEMIDLIST *PCIDLIST_ABSOLUTE;

typedef int (CALLBACK *BFFCALLBACK)(HWND hwnd, UINT uMsg, LPARAM lParam, LPARAM lpData);

typedef struct _browseinfoA {
    HWND hwndOwner;
    PCIDLIST_ABSOLUTE pidlRoot;
    LPSTR pszDisplayName;
    LPCSTR lpszTitle;
    UINT ulFlags;
    BFFCALLBACK lpfn;
    LPARAM lParam;
    int iImage;
} BROWSEINFOA, *PBROWSEINFOA, *LPBROWSEINFOA;
typedef BROWSEINFOA BROWSEINFO;
typedef LPBROWSEINFOA LPBROWSEINFO;

#define BIF_RETURNONLYFSDIRS 0x00000001
#define BIF_DONTGOBELOWDOMAIN 0x00000002
#define BIF_STATUSTEXT 0x00000004
#define BIF_RETURNFSANCESTORS 0x00000008
#define BIF_EDITBOX 0x00000010
#define BIF_VALIDATE 0x00000020
#define BIF_NEWDIALOGSTYLE 0x00000040
#define BIF_USENEWUI (BIF_NEWDIALOGSTYLE | BIF_EDITBOX)
#define BIF_BROWSEINCLUDEURLS 0x00000080
#define BIF_BROWSEFORCOMPUTER 0x00001000
#define BIF_BROWSEFORPRINTER 0x00002000
#define BIF_BROWSEINCLUDEFILES 0x00004000

/* Messages of the callback */
#define BFFM_INITIALIZED 1
#define BFFM_SELCHANGED 2
#define BFFM_VALIDATEFAILEDA 3
/* Messages to the browser */
#define BFFM_SETSTATUSTEXTA (WM_USER + 100)
#define BFFM_ENABLEOK (WM_USER + 101)
#define BFFM_SETSELECTIONA (WM_USER + 102)
#define BFFM_SETSTATUSTEXT BFFM_SETSTATUSTEXTA
#define BFFM_SETSELECTION BFFM_SETSELECTIONA

/* The chosen folder's item list (free it with the shell's allocator), or
   NULL when cancelled. */
WINSHELLAPI PIDLIST_ABSOLUTE WINAPI SHBrowseForFolderA(LPBROWSEINFOA lpbi);
/* The path of an item list into a buffer of MAX_PATH; FALSE for an item
   list that is not a folder's or a path that does not fit. */
WINSHELLAPI BOOL WINAPI SHGetPathFromIDListA(PCIDLIST_ABSOLUTE pidl, LPSTR pszPath);
WINSHELLAPI HRESULT WINAPI SHGetMalloc(LPMALLOC *ppMalloc);
/* The shell's allocator directly (COM's task allocator). */
WINSHELLAPI LPVOID WINAPI CoTaskMemAlloc(SIZE_T cb);
WINSHELLAPI void WINAPI CoTaskMemFree(LPVOID pv);
WINSHELLAPI void WINAPI ILFree(PIDLIST_ABSOLUTE pidl);

#define SHBrowseForFolder SHBrowseForFolderA
#define SHGetPathFromIDList SHGetPathFromIDListA

WINAPI_END_C

#endif
