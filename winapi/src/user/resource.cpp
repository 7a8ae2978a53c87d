// Module resources: what WapiAddResource gave a module, found again by
// FindResourceA and handed out by LoadResource/LockResource, as the
// resource section of a Windows image would be.
#include "../kernel/object.h"

#include <winapi_ext.h>

#include <deque>
#include <mutex>
#include <string>

namespace {

struct Resource {
    HMODULE module;
    std::string type, name; // "#5" for MAKEINTRESOURCE(5), else upper case
    const void *data;
    DWORD size;
};

std::mutex &resourceMutex() {
    static auto *m = new std::mutex;
    return *m;
}
// A deque keeps the entries in place: their addresses are the HRSRC handles.
std::deque<Resource> &resources() {
    static auto *r = new std::deque<Resource>;
    return *r;
}

std::string key(LPCSTR id) {
    if (IS_INTRESOURCE(id)) return "#" + std::to_string(LOWORD(reinterpret_cast<ULONG_PTR>(id)));
    std::string k = id;
    // "#123" names the number 123, as the resource compiler has it.
    if (k.size() > 1 && k[0] == '#' && k.find_first_not_of("0123456789", 1) == std::string::npos)
        return "#" + std::to_string(std::stoul(k.substr(1)) & 0xFFFF);
    for (char &c : k)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return k;
}

HMODULE moduleOf(HMODULE m) { return m ? m : GetModuleHandleA(nullptr); }

Resource *findLocked(HMODULE module, LPCSTR type, LPCSTR name) {
    std::string t = key(type), n = key(name);
    for (Resource &r : resources())
        if (r.module == module && r.type == t && r.name == n) return &r;
    return nullptr;
}

bool known(HRSRC h) {
    for (Resource &r : resources())
        if (reinterpret_cast<HRSRC>(&r) == h) return true;
    return false;
}

} // namespace

extern "C" {

BOOL WINAPI WapiAddResource(HMODULE module, LPCSTR type, LPCSTR name, const void *data, DWORD size) {
    if (!type || !name || !data || (!IS_INTRESOURCE(name) && !*name) || (!IS_INTRESOURCE(type) && !*type)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    module = moduleOf(module);
    std::lock_guard<std::mutex> lk(resourceMutex());
    if (Resource *r = findLocked(module, type, name)) {
        r->data = data;
        r->size = size;
        return TRUE;
    }
    resources().push_back(Resource{module, key(type), key(name), data, size});
    return TRUE;
}

HRSRC WINAPI FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) {
    if (!name || !type) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    module = moduleOf(module);
    std::lock_guard<std::mutex> lk(resourceMutex());
    if (Resource *r = findLocked(module, type, name)) return reinterpret_cast<HRSRC>(r);
    bool typeKnown = false;
    std::string t = key(type);
    for (Resource &r : resources())
        if (r.module == module && r.type == t) typeKnown = true;
    SetLastError(typeKnown ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
}

HRSRC WINAPI FindResourceExA(HMODULE module, LPCSTR type, LPCSTR name, WORD) {
    // One language only.
    return FindResourceA(module, name, type);
}

HGLOBAL WINAPI LoadResource(HMODULE, HRSRC h) {
    std::lock_guard<std::mutex> lk(resourceMutex());
    if (!h || !known(h)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return const_cast<void *>(reinterpret_cast<Resource *>(h)->data);
}

// Loaded resources are the data themselves, as in a Win32 image.
LPVOID WINAPI LockResource(HGLOBAL h) { return h; }

DWORD WINAPI SizeofResource(HMODULE, HRSRC h) {
    std::lock_guard<std::mutex> lk(resourceMutex());
    if (!h || !known(h)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return reinterpret_cast<Resource *>(h)->size;
}

BOOL WINAPI FreeResource(HGLOBAL) { return FALSE; }

} // extern "C"
