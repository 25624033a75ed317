#include "platform/dialogs.h"

#include "core/console.h"
#include "core/process_exit.h"
#include "core/test_hooks.h"
#include "platform/backend.h"
#include "platform/platform.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

DialogServices g_services{};
std::string g_caption;
DialogRequestCompletion g_completion = nullptr;
// The open modeless form and its request.
std::unique_ptr<CDialogForm> g_async;
int32_t g_asyncRequest = -1;

void BeforeShow() {
    if (g_services.beforeShow) g_services.beforeShow();
}

// Handles the main window's messages once; false when the run is ending.
bool Pump() {
    if (g_services.pumpMessages) return g_services.pumpMessages();
    PlatformMessage msg;
    while (Platform_PeekMessage(msg)) {
        if (msg.message == WM_QUIT) return false;
        Platform_DispatchMessage(msg);
    }
    return true;
}

const char* KindName(DialogKind kind) {
    switch (kind) {
    case DialogKind::InputQuery: return "Input";
    case DialogKind::Question: return "Question";
    case DialogKind::Message: return "Message";
    case DialogKind::Login: return "Login";
    }
    return "";
}

// Shows the form, or answers it with its default button when no one can (saying so).
bool Open(CDialogForm& form) {
    if (Platform_IsInteractive() && Platform_GetBackend()->OpenForm(&form)) return true;
    ReleaseConsole->Output("%s \"%s\": %s\n(no one to ask: answered %s)\n", KindName(form.Kind()),
                           form.Caption().c_str(), form.Prompt().c_str(),
                           CDialogForm::ButtonText(form.DefaultButton()));
    form.Press(form.DefaultButton());
    return false;
}

// The request's answer, as each kind of form gives it.
void CompleteAsync(const CDialogForm& form, int32_t request) {
    const bool ok = form.Confirmed();
    switch (form.Kind()) {
    case DialogKind::InputQuery: DialogRequest_Complete(request, ok ? 1 : 0, ok ? form.Field(0).c_str() : ""); break;
    case DialogKind::Question:
        DebugConsole->Output(ok ? "Finished dialog - IDOK\n" : "Finished dialog - IDCANCEL\n");
        DialogRequest_Complete(request, ok ? 1 : 0, ok ? "1" : "");
        break;
    case DialogKind::Message: DialogRequest_Complete(request, 1, "OK"); break;
    case DialogKind::Login: {
        if (!ok) {
            DialogRequest_CompleteLogin(request, 0, "");
            break;
        }
        const std::string text = form.Field(0) + "#" + form.Field(1);
        DialogRequest_CompleteLogin(request, form.Field(0).size(), text.c_str());
        break;
    }
    }
}

// Checks the open modeless form: once answered it completes its request and closes.
void FinishAsyncIfDone() {
    if (!g_async || !g_async->Done()) return;
    std::unique_ptr<CDialogForm> form = std::move(g_async);
    const int32_t request = g_asyncRequest;
    g_asyncRequest = -1;
    if (IPlatformBackend* backend = Platform_GetBackend()) backend->CloseForm(form.get());
    CompleteAsync(*form, request);
}

// Runs the form until it is answered; a stop answers it with its escape button. A backend shows one form
// at a time: an open modeless form gives its place up to this one and is shown again after it (answered
// with its escape button should it fail to show).
void RunModal(CDialogForm& form) {
    BeforeShow();
    FinishAsyncIfDone();
    IPlatformBackend* backend = Platform_GetBackend();
    if (g_async && backend) backend->CloseForm(g_async.get());
    if (Open(form)) {
        while (!form.Done()) {
            if (!Pump()) {
                form.Press(form.EscapeButton());
                break;
            }
            if (!form.Done()) Platform_Sleep(10);
        }
        if (backend) backend->CloseForm(&form);
    }
    if (g_async && !(backend && backend->OpenForm(g_async.get()))) {
        g_async->Press(g_async->EscapeButton());
        FinishAsyncIfDone();
    }
}

bool OpenAsync(std::unique_ptr<CDialogForm> form, int32_t request) {
    FinishAsyncIfDone();
    if (g_async) return false;
    BeforeShow();
    form->SetModeless();
    const bool shown = Open(*form);
    if (!shown) {
        CompleteAsync(*form, request);
        return true;
    }
    g_async = std::move(form);
    g_asyncRequest = request;
    return true;
}

} // namespace

void Dialog_SetServices(const DialogServices& services) { g_services = services; }

void Dialog_SetCaption(const char* caption) { g_caption = caption ? caption : ""; }
const char* Dialog_GetCaption() { return g_caption.c_str(); }

void ShowMessage(const char* text) {
    BeforeShow();
    Platform_MessageBox(text, g_caption.c_str(), MB_OK | MB_TOPMOST);
}

bool Dialog_Question(const char* caption, const char* text) {
    CDialogForm form(DialogKind::Question, caption, text);
    RunModal(form);
    return form.Confirmed();
}

bool Dialog_InputQuery(const char* caption, const char* prompt, const char* defaultText, std::string& result) {
    CDialogForm form(DialogKind::InputQuery, caption, prompt);
    form.Type(defaultText);
    RunModal(form);
    if (!form.Confirmed()) return false;
    result = form.Field(0);
    return true;
}

bool Dialog_InputQueryAsync(const char* caption, const char* prompt, const char* defaultText, int32_t request) {
    auto form = std::make_unique<CDialogForm>(DialogKind::InputQuery, caption, prompt);
    form->Type(defaultText);
    return OpenAsync(std::move(form), request);
}

bool Dialog_QuestionAsync(const char* caption, const char* text, int32_t request) {
    return OpenAsync(std::make_unique<CDialogForm>(DialogKind::Question, caption, text), request);
}

bool Dialog_MessageAsync(const char* caption, const char* text, int32_t request) {
    return OpenAsync(std::make_unique<CDialogForm>(DialogKind::Message, caption, text), request);
}

bool Dialog_LoginAsync(const char* defaultUser, const char* defaultPassword, int32_t request) {
    auto form = std::make_unique<CDialogForm>(DialogKind::Login, "Login", "");
    form->Type(defaultUser);
    form->NextField();
    form->Type(defaultPassword);
    form->NextField();
    return OpenAsync(std::move(form), request);
}

bool Dialog_AsyncOpen() {
    FinishAsyncIfDone();
    return g_async != nullptr;
}

void Dialog_CancelAsync() {
    if (g_async) g_async->Press(g_async->EscapeButton());
    FinishAsyncIfDone();
}

void Dialog_SetRequestCompletion(DialogRequestCompletion completion) { g_completion = completion; }

void DialogRequest_Complete(int32_t request, int32_t status, const char* text) {
    if (!text) text = "";
    if (g_completion) g_completion(request, status, text, std::strlen(text));
}

void DialogRequest_CompleteLogin(int32_t request, size_t userLength, const char* text) {
    std::string answer = text ? text : "";
    int32_t status = 0;
    if (userLength > 0 && userLength < answer.size() && answer[userLength] == '#') {
        answer[userLength] = '\0';
        status = static_cast<int32_t>(userLength + 1);
    }
    if (g_completion) g_completion(request, status, answer.data(), answer.size());
}

// --- file dialogs ---

namespace {

struct FilterEntry {
    std::string description;
    std::vector<std::string> patterns;
};

std::vector<FilterEntry> ParseFilter(const char* filter) {
    std::vector<FilterEntry> entries;
    if (!filter) return entries;
    std::vector<std::string> parts(1);
    for (const char* p = filter; *p; ++p) {
        if (*p == '|')
            parts.emplace_back();
        else
            parts.back() += *p;
    }
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        FilterEntry entry{parts[i], {}};
        std::string pattern;
        for (char c : parts[i + 1] + ";") {
            if (c != ';') {
                pattern += c;
                continue;
            }
            if (!pattern.empty()) entry.patterns.push_back(pattern);
            pattern.clear();
        }
        if (!entry.patterns.empty()) entries.push_back(entry);
    }
    return entries;
}

std::string JoinPatterns(const FilterEntry& entry) {
    std::string joined;
    for (const std::string& p : entry.patterns) joined += (joined.empty() ? "" : " ") + p;
    return joined;
}

bool IsExecutable(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

std::string FindOnPath(const char* name) {
    const char* path = std::getenv("PATH");
    if (!path) return "";
    std::string dir;
    for (const char* p = path;; ++p) {
        if (*p == ':' || *p == '\0') {
            const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
            if (IsExecutable(candidate)) return candidate;
            dir.clear();
            if (*p == '\0') break;
        } else {
            dir += *p;
        }
    }
    return "";
}

// The proposed file: the folder (when given) and the name.
std::string StartPath(const char* name, const char* directory) {
    std::string start = directory && *directory ? directory : "";
    if (!start.empty() && start.back() != '/') start += '/';
    return start + (name ? name : "");
}

std::vector<std::string> ToolArguments(const std::string& tool, bool save, const char* filter, const char* name,
                                       const char* directory, const char* title) {
    const std::vector<FilterEntry> entries = ParseFilter(filter);
    const std::string start = StartPath(name, directory);
    std::vector<std::string> args{tool};
    if (tool.ends_with("kdialog")) {
        args.push_back(save ? "--getsavefilename" : "--getopenfilename");
        args.push_back(start.empty() ? "." : start);
        std::string filters;
        for (const FilterEntry& e : entries)
            filters += (filters.empty() ? "" : "\n") + JoinPatterns(e) + "|" + e.description;
        args.push_back(filters);
        if (title && *title) args.insert(args.end(), {"--title", title});
        return args;
    }
    args.push_back("--file-selection");
    if (save) args.insert(args.end(), {"--save", "--confirm-overwrite"});
    if (!start.empty()) args.push_back("--filename=" + start);
    if (title && *title) args.push_back(std::string("--title=") + title);
    for (const FilterEntry& e : entries) args.push_back("--file-filter=" + e.description + " | " + JoinPatterns(e));
    return args;
}

// Runs the tool, handling the main window's messages meanwhile; true with its first output line when
// it ended with status 0.
bool RunTool(const std::vector<std::string>& args, std::string& output) {
    CDialogProcesses shown;
    // The tool's output, and the error of an exec that failed (closed unwritten by one that succeeded).
    int pipeFds[2], execFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return false;
    if (::pipe2(execFds, O_CLOEXEC) != 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return false;
    }
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    // A fork, not a spawn (which runs no fork handlers): the dialog's handlers give the tool a process
    // group of its own and the death signal, as they do a process forked for a box, so that it ends with
    // the runner however the runner ends.
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Async-signal-safe calls only.
        ::dup2(pipeFds[1], 1);
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0 && null != 2) {
            ::dup2(null, 2);
            ::close(null);
        }
        ::execve(argv[0], argv.data(), environ);
        const int error = errno;
        [[maybe_unused]] const ssize_t told = ::write(execFds[1], &error, sizeof error);
        ::_exit(127);
    }
    int spawned = pid < 0 ? errno : 0;
    ::close(pipeFds[1]);
    ::close(execFds[1]);
    if (pid > 0) {
        int error = 0;
        ssize_t n;
        while ((n = ::read(execFds[0], &error, sizeof error)) < 0 && errno == EINTR) {
        }
        if (n == static_cast<ssize_t>(sizeof error)) {
            spawned = error;
            ::waitpid(pid, nullptr, 0);
        }
    }
    ::close(execFds[0]);
    if (spawned != 0) {
        ::close(pipeFds[0]);
        DebugConsole->Output("File dialog: %s could not start: %s\n", args[0].c_str(), std::strerror(spawned));
        return false;
    }
    ::fcntl(pipeFds[0], F_SETFL, O_NONBLOCK);
    int status = 0;
    bool ended = false;
    bool quitting = false;
    while (!ended) {
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0) output.append(buffer, static_cast<size_t>(n));
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR)) {
            ended = true;
            break;
        }
        // The tool leads a process group of its own, which ends with it.
        if (!quitting && !Pump()) {
            quitting = true;
            if (::kill(-pid, SIGTERM) != 0) ::kill(pid, SIGTERM);
        }
        Platform_Sleep(20);
    }
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0) output.append(buffer, static_cast<size_t>(n));
    ::close(pipeFds[0]);
    const size_t end = output.find('\n');
    if (end != std::string::npos) output.resize(end);
    return !quitting && WIFEXITED(status) && WEXITSTATUS(status) == 0 && !output.empty();
}

bool FileDialog(bool save, const char* filter, const char* name, const char* directory, const char* title,
                std::string& path) {
    const std::string tool = FileDialog_Tool();
    if (!Platform_IsInteractive() || tool.empty()) {
        ReleaseConsole->Output("%s file dialog \"%s\" (%s: cancelled)\n", save ? "Save" : "Open", name ? name : "",
                               tool.empty() ? "no dialog tool" : "no one to ask");
        return false;
    }
    BeforeShow();
    std::string chosen;
    if (!RunTool(ToolArguments(tool, save, filter, name, directory, title), chosen)) return false;
    if (save) {
        const std::string extension = FileDialog_DefaultExtension(filter);
        const size_t slash = chosen.rfind('/');
        const std::string base = chosen.substr(slash == std::string::npos ? 0 : slash + 1);
        if (!extension.empty() && base.find('.') == std::string::npos) chosen += "." + extension;
    }
    path = chosen;
    return true;
}

} // namespace

std::string FileDialog_DefaultExtension(const char* filter) {
    if (!filter) return "";
    const char* bar = std::strchr(filter, '|');
    if (!bar) return "";
    const char* dot = std::strchr(bar + 1, '.');
    if (!dot) return "";
    const char* end = dot + 1 + std::strcspn(dot + 1, "|;");
    std::string extension(dot + 1, end);
    if (extension.find_first_of("*?") != std::string::npos) return "";
    return extension;
}

std::string FileDialog_Tool() {
    for (const char* name : {"zenity", "kdialog"}) {
        std::string found = FindOnPath(name);
        if (!found.empty()) return found;
    }
    return "";
}

bool FileDialog_Open(const char* filter, const char* name, const char* directory, const char* title,
                     std::string& path) {
    return FileDialog(false, filter, name, directory, title, path);
}

bool FileDialog_Save(const char* filter, const char* name, const char* directory, const char* title,
                     std::string& path) {
    return FileDialog(true, filter, name, directory, title, path);
}

// --- dialogs shown by processes of their own ---

namespace {

std::mutex g_dialogProcesses;
// The thread showing the dialog (0 while none is open), and its children from before the dialog.
pid_t g_dialogThread = 0;
std::vector<pid_t> g_childrenBefore;

// Set on a thread while it shows a dialog: each process it starts meanwhile is the dialog's, and leads a
// process group of its own, which closing the dialog ends whole (with what the process started in turn).
thread_local bool t_showingDialog = false;
// Set once the process closes its dialogs to end: a dialog thread that would start a process waits for
// the end instead.
std::atomic<bool> g_closing{false};
// Processes that dialog threads are starting: the close waits for each start to return, so that the new
// process is among the children it lists.
std::atomic<int> g_startsUnderWay{0};
// Read by the new process: the runner's id, and whether a test hook holds it.
pid_t g_starter = 0;
bool g_holdNewProcess = false;
// The dialog processes started over the run, for the test hook.
int g_started = 0;

// How long the close waits for the dialog's processes to end after it killed them.
constexpr auto kCloseWait = std::chrono::milliseconds(500);
// How long the close lingers for a dialog that a test hook held.
constexpr auto kHeldDialogTime = std::chrono::milliseconds(200);

std::vector<pid_t> ChildrenOf(pid_t thread) {
    std::vector<pid_t> children;
    const std::string path = "/proc/self/task/" + std::to_string(thread) + "/children";
    if (FILE* f = std::fopen(path.c_str(), "r")) {
        for (int pid; std::fscanf(f, "%d", &pid) == 1;) children.push_back(pid);
        std::fclose(f);
    }
    return children;
}

// Before a dialog thread starts a process (fork's handler, or the spawn of a dialog tool).
void BeforeDialogStart() {
    if (!t_showingDialog) return;
    const DialogHold& hold = TestHook_DialogHold();
    const bool held = ++g_started == hold.process;
    const auto heldUntilClosing = [](const char* when) {
        ReleaseConsole->Output("Test hook: dialog process %d is held %s\n", g_started, when);
        while (!g_closing.load()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    };
    if (held && std::strcmp(hold.moment, "fork") == 0) heldUntilClosing("before it starts");
    if (held && std::strcmp(hold.moment, "child") == 0)
        ReleaseConsole->Output("Test hook: dialog process %d is held as it starts\n", g_started);
    g_startsUnderWay.fetch_add(1);
    if (g_closing.load()) {
        // The process is ending: the dialog starts nothing more.
        g_startsUnderWay.fetch_sub(1);
        Process_AwaitEnd();
    }
    if (held && std::strcmp(hold.moment, "start") == 0) heldUntilClosing("while it starts");
    g_starter = ::getpid();
    g_holdNewProcess = held && std::strcmp(hold.moment, "child") == 0;
}

void AfterDialogStart() {
    if (t_showingDialog) g_startsUnderWay.fetch_sub(1);
}

// In the new process of a fork, before fork returns there: async-signal-safe calls only.
void InDialogProcess() {
    if (!t_showingDialog) return;
    // What this process starts in turn stays in its group.
    t_showingDialog = false;
    if (g_holdNewProcess)
        for (;;) ::pause();
    ::setpgid(0, 0);
    // It ends with the runner even where no one closes it (the runner killed, or crashed); a runner that
    // ended before the line above sent nothing, and has another parent now.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != g_starter) ::_exit(127);
}

// Whether the process, or a process of the group it leads, is still running (one that has ended and
// waits to be collected is not).
bool RunningWithGroup(pid_t leader) {
    if (::kill(-leader, 0) != 0 && ::kill(leader, 0) != 0) return false;
    DIR* proc = ::opendir("/proc");
    if (!proc) return false;
    bool running = false;
    while (const dirent* entry = ::readdir(proc)) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;
        FILE* f = std::fopen(("/proc/" + std::string(entry->d_name) + "/stat").c_str(), "r");
        if (!f) continue;
        char stat[512];
        const size_t n = std::fread(stat, 1, sizeof stat - 1, f);
        std::fclose(f);
        stat[n] = '\0';
        // "pid (name) state ppid pgrp ...": the name may hold blanks and parentheses.
        const char* close = std::strrchr(stat, ')');
        char state = 0;
        int parent = 0, pgrp = 0;
        if (close && std::sscanf(close + 1, " %c %d %d", &state, &parent, &pgrp) == 3 &&
            (pgrp == leader || std::atoi(entry->d_name) == leader) && state != 'Z' && state != 'X') {
            running = true;
            break;
        }
    }
    ::closedir(proc);
    return running;
}

} // namespace

CDialogProcesses::CDialogProcesses() {
    static std::once_flag installed;
    std::call_once(installed, [] { ::pthread_atfork(BeforeDialogStart, AfterDialogStart, InDialogProcess); });
    std::lock_guard<std::mutex> hold(g_dialogProcesses);
    g_dialogThread = ::gettid();
    g_childrenBefore = ChildrenOf(g_dialogThread);
    t_showingDialog = true;
}

CDialogProcesses::~CDialogProcesses() {
    std::lock_guard<std::mutex> hold(g_dialogProcesses);
    t_showingDialog = false;
    g_dialogThread = 0;
}

void Dialog_CloseProcesses() {
    g_dialogProcesses.lock(); // kept until the process ends
    g_closing.store(true);
    if (g_dialogThread == 0) return;
    const auto deadline = std::chrono::steady_clock::now() + kCloseWait;
    const auto waitFor = [&deadline](const auto& done) {
        while (!done() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    waitFor([] { return g_startsUnderWay.load() == 0; });
    // A box drawn by a copy of the runner keeps the runner's own handlers of the stop signals: only
    // SIGKILL is sure to close it. A new process that has not yet left the runner's group is moved out
    // of it here (one that has, or has started its program, stays where it is), so that the group
    // killed is its own; the process itself is killed too, should something have started it other than
    // by a fork, in the runner's group.
    std::vector<pid_t> started;
    for (pid_t pid : ChildrenOf(g_dialogThread)) {
        if (std::find(g_childrenBefore.begin(), g_childrenBefore.end(), pid) != g_childrenBefore.end()) continue;
        ::setpgid(pid, pid);
        ::kill(-pid, SIGKILL);
        ::kill(pid, SIGKILL);
        started.push_back(pid);
    }
    waitFor([&started] { return std::none_of(started.begin(), started.end(), RunningWithGroup); });
    // Test hook: the thread of a held dialog gets the time to go on (and to start a process, were it let).
    if (*TestHook_DialogHold().moment) std::this_thread::sleep_for(kHeldDialogTime);
}
