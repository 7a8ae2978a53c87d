// Processes: CreateProcessA, the process handle (signalled when the process
// ends), its exit code, TerminateProcess.
//
// The command line is split into arguments as the Microsoft C run-time does,
// so the child gets the argv it would have got on Windows. Without an
// application name the program is the first argument; a bare name is looked
// for as Windows does: in this program's directory, the current directory,
// then along PATH. A name ending in ".exe" that does not exist is tried
// without the suffix. STARTUPINFO's window fields are ignored; its standard
// handles are used when they are files. With bInheritHandles the files
// opened with an inheritable handle stay open in the child, under the same
// descriptor numbers. CREATE_SUSPENDED and Unicode environments are not
// supported. hThread is a second handle to the process: a POSIX child's main
// thread lives as long as the process.
//
// One waiter thread per child blocks in waitid() until the child ends, then
// reaps it and signals the handle. A child killed by a signal other than
// TerminateProcess's reports 128 plus the signal number, as shells do.
#include "environment.h"
#include "file.h"
#include "object.h"
#include "posix.h"

#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

namespace winapi {
namespace {

class ProcessObject : public Waitable {
public:
    explicit ProcessObject(pid_t pid) : Waitable(ObjectType::Process), pid_(pid) {}
    bool signaledFor(DWORD) override { return done_; }
    pid_t pid() const { return pid_; }

    DWORD exitCode() {
        std::lock_guard<std::mutex> lk(syncMutex());
        return done_ ? code_ : DWORD(STILL_ACTIVE);
    }

    bool terminate(UINT code) {
        std::lock_guard<std::mutex> lk(reapMu_);
        siginfo_t si{};
        // An ended process (reaped, or a zombie) can no longer be terminated.
        if (reaped_ || (waitid(P_PID, id_t(pid_), &si, WEXITED | WNOHANG | WNOWAIT) == 0 && si.si_pid == pid_)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return false;
        }
        terminated_ = true;
        terminateCode_ = code;
        kill(pid_, SIGKILL);
        return true;
    }

    // The waiter thread: waits without reaping, so that terminate() never
    // signals a reused process id, then reaps under the lock.
    void watch() {
        siginfo_t si{};
        while (waitid(P_PID, id_t(pid_), &si, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
        }
        DWORD code;
        {
            std::lock_guard<std::mutex> lk(reapMu_);
            int status = 0;
            pid_t r;
            while ((r = waitpid(pid_, &status, 0)) < 0 && errno == EINTR) {
            }
            reaped_ = true;
            if (r != pid_) code = 0xFFFFFFFF; // reaped behind our back (SIGCHLD ignored): the code is lost
            else if (WIFEXITED(status)) code = DWORD(WEXITSTATUS(status));
            else if (terminated_ && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) code = terminateCode_;
            else if (WIFSIGNALED(status)) code = DWORD(128 + WTERMSIG(status));
            else code = 0xFFFFFFFF;
        }
        std::lock_guard<std::mutex> lk(syncMutex());
        code_ = code;
        done_ = true;
        notifyLocked();
    }

private:
    const pid_t pid_;
    std::mutex reapMu_;
    bool reaped_ = false;
    bool terminated_ = false;
    UINT terminateCode_ = 0;
    bool done_ = false; // guarded by syncMutex
    DWORD code_ = STILL_ACTIVE;
};

void *watchEntry(void *p) {
    auto *proc = static_cast<ProcessObject *>(p);
    proc->watch();
    proc->release();
    return nullptr;
}

bool isSpace(char c) { return c == ' ' || c == '\t'; }

// Splits a command line as the Microsoft C run-time does: the program name
// ends at the first blank outside quotes and keeps its backslashes; in the
// arguments 2n backslashes before a quote give n and the quote delimits,
// 2n+1 give n and a literal quote, "" inside quotes gives one quote, and
// backslashes elsewhere are literal.
std::vector<std::string> splitCommandLine(const char *line) {
    std::vector<std::string> args;
    const char *p = line;
    std::string prog;
    bool quoted = false;
    while (*p && (quoted || !isSpace(*p))) {
        if (*p == '"') quoted = !quoted;
        else prog += *p;
        p++;
    }
    args.push_back(prog);
    quoted = false;
    for (;;) {
        while (isSpace(*p)) p++;
        if (!*p) break;
        std::string arg;
        for (;;) {
            size_t slashes = 0;
            while (*p == '\\') {
                p++;
                slashes++;
            }
            bool copy = true;
            if (*p == '"') {
                if (slashes % 2 == 0) {
                    if (quoted && p[1] == '"') p++; // "" inside quotes: one literal quote
                    else {
                        copy = false;
                        quoted = !quoted;
                    }
                }
                slashes /= 2;
            }
            arg.append(slashes, '\\');
            if (!*p || (!quoted && isSpace(*p))) break;
            if (copy) arg += *p;
            p++;
        }
        args.push_back(arg);
    }
    return args;
}

std::string currentDir() {
    char buf[PATH_MAX];
    return getcwd(buf, sizeof buf) ? std::string(buf) : std::string(".");
}

std::string programDir() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return std::string();
    std::string p(buf, size_t(n));
    return p.substr(0, p.rfind('/'));
}

bool endsWithExe(const std::string &s) { return s.size() > 4 && equalNoCase(s.substr(s.size() - 4), ".exe"); }

enum class Found { No, Yes, NotExecutable };

// Looks for the program at a path, also without a ".exe" suffix.
Found probe(const std::string &path, std::string &out) {
    std::string tries[2] = {path, endsWithExe(path) ? path.substr(0, path.size() - 4) : std::string()};
    for (const std::string &t : tries) {
        struct stat st;
        if (t.empty() || stat(t.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        out = t;
        return access(t.c_str(), X_OK) == 0 ? Found::Yes : Found::NotExecutable;
    }
    return Found::No;
}

// The absolute path of the program to run, or empty with the last error set.
std::string findProgram(const std::string &name, bool search) {
    std::string out;
    if (!search || name.find('/') != std::string::npos) {
        std::string p = name[0] == '/' ? name : currentDir() + "/" + name;
        switch (probe(p, out)) {
        case Found::Yes: return out;
        case Found::NotExecutable: SetLastError(ERROR_ACCESS_DENIED); return std::string();
        case Found::No: SetLastError(errorFromPathErrno(ENOENT, p)); return std::string();
        }
    }
    std::vector<std::string> dirs = {programDir(), currentDir()};
    const char *path = getenv("PATH");
    std::string list = path ? path : "/usr/local/bin:/usr/bin:/bin";
    for (size_t i = 0; i <= list.size();) {
        size_t j = list.find(':', i);
        if (j == std::string::npos) j = list.size();
        std::string d = list.substr(i, j - i);
        dirs.push_back(d.empty() ? "." : d);
        i = j + 1;
    }
    bool denied = false;
    for (std::string d : dirs) {
        if (d.empty()) continue;
        if (d[0] != '/') d = currentDir() + "/" + d;
        Found f = probe(d + "/" + name, out);
        if (f == Found::Yes) return out;
        if (f == Found::NotExecutable) denied = true;
    }
    SetLastError(denied ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND);
    return std::string();
}

// An ANSI environment block: "NAME=value\0...\0\0". Entries that begin with
// '=' (per-drive directories) mean nothing here.
std::vector<std::string> parseEnvironmentBlock(const char *block) {
    std::vector<std::string> out;
    for (const char *p = block; *p; p += std::strlen(p) + 1)
        if (*p != '=') out.emplace_back(p);
    return out;
}

DWORD spawnError(int err) {
    switch (err) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM: return ERROR_ACCESS_DENIED;
    case ENOEXEC: return ERROR_BAD_EXE_FORMAT;
    default: return errorFromErrno(err);
    }
}

struct SpawnSetup {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    SpawnSetup() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attr);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
    }
};

} // namespace
} // namespace winapi

using namespace winapi;

extern "C" {

BOOL WINAPI CreateProcessA(LPCSTR appName, LPSTR commandLine, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES,
                           BOOL inheritHandles, DWORD flags, LPVOID environment, LPCSTR currentDirectory,
                           LPSTARTUPINFOA startup, LPPROCESS_INFORMATION info) {
    const bool haveApp = appName && *appName;
    const bool haveLine = commandLine && *commandLine;
    if ((!haveApp && !haveLine) || !info) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if ((flags & CREATE_SUSPENDED) || (environment && (flags & CREATE_UNICODE_ENVIRONMENT))) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    std::vector<std::string> args = haveLine ? splitCommandLine(commandLine) : std::vector<std::string>{appName};
    std::string program = haveApp ? findProgram(posixPath(appName), false)
                                  : args[0].empty() ? std::string() : findProgram(posixPath(args[0].c_str()), true);
    if (program.empty()) {
        if (!haveApp && args[0].empty()) SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }

    SpawnSetup s;
    std::string dir;
    if (currentDirectory && *currentDirectory) {
        dir = posixPath(currentDirectory);
        struct stat st;
        if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            SetLastError(ERROR_DIRECTORY);
            return FALSE;
        }
        posix_spawn_file_actions_addchdir_np(&s.actions, dir.c_str());
    }
    std::vector<Ref<Object>> keep;
    if (startup && (startup->dwFlags & STARTF_USESTDHANDLES)) {
        HANDLE standard[3] = {startup->hStdInput, startup->hStdOutput, startup->hStdError};
        for (int i = 0; i < 3; i++) {
            if (!standard[i] || standard[i] == INVALID_HANDLE_VALUE) continue;
            int fd = fileDescriptorOf(standard[i], keep);
            if (fd >= 0) posix_spawn_file_actions_adddup2(&s.actions, fd, i);
        }
    }
    if (inheritHandles) {
        // dup2 onto itself clears close-on-exec in the child only.
        for (int fd : inheritableDescriptors(keep)) posix_spawn_file_actions_adddup2(&s.actions, fd, fd);
    }
    // The child starts with default signal handling and nothing blocked.
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&s.attr, &all);
    posix_spawnattr_setsigmask(&s.attr, &none);
    posix_spawnattr_setflags(&s.attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    std::vector<std::string> env = environment ? parseEnvironmentBlock(static_cast<const char *>(environment))
                                               : environmentSnapshot();
    std::vector<char *> argv, envp;
    for (std::string &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (std::string &e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    pid_t pid;
    int err = posix_spawn(&pid, program.c_str(), &s.actions, &s.attr, argv.data(), envp.data());
    if (err != 0) {
        SetLastError(spawnError(err));
        return FALSE;
    }
    auto *proc = new ProcessObject(pid);
    proc->retain(); // for the waiter thread
    pthread_t waiter;
    pthread_attr_t ta;
    pthread_attr_init(&ta);
    pthread_attr_setdetachstate(&ta, PTHREAD_CREATE_DETACHED);
    pthread_attr_setstacksize(&ta, 256 * 1024);
    int rc = pthread_create(&waiter, &ta, watchEntry, proc);
    pthread_attr_destroy(&ta);
    if (rc != 0) { // no way to learn when it ends: do not leave it running unseen
        kill(pid, SIGKILL);
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        proc->release();
        proc->release();
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    info->hProcess = insertHandle(proc);
    proc->retain();
    info->hThread = insertHandle(proc);
    info->dwProcessId = DWORD(pid);
    info->dwThreadId = DWORD(pid);
    SetLastError(NO_ERROR);
    return TRUE;
}

BOOL WINAPI GetExitCodeProcess(HANDLE h, LPDWORD code) {
    if (!code) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (h == GetCurrentProcess()) {
        *code = STILL_ACTIVE;
        return TRUE;
    }
    Ref<ProcessObject> p = lookupAs<ProcessObject>(h, ObjectType::Process);
    if (!p) return FALSE;
    *code = p->exitCode();
    return TRUE;
}

DWORD WINAPI WaitForInputIdle(HANDLE h, DWORD) {
    if (h == GetCurrentProcess()) return 0;
    // Another program's windows, if it has any, are not ours to watch.
    Ref<ProcessObject> p = lookupAs<ProcessObject>(h, ObjectType::Process);
    return p ? 0 : WAIT_FAILED;
}

BOOL WINAPI TerminateProcess(HANDLE h, UINT code) {
    if (h == GetCurrentProcess()) _exit(int(code));
    Ref<ProcessObject> p = lookupAs<ProcessObject>(h, ObjectType::Process);
    if (!p) return FALSE;
    return p->terminate(code) ? TRUE : FALSE;
}

} // extern "C"
