#include "render/compiler_guard.h"

#include "gl/shader_program.h"

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern char **environ;

namespace {

// Read by the fault handler, which can be handed nothing.
volatile sig_atomic_t building = 0;
volatile sig_atomic_t crash_status = 1;

// The command and environment a watch starts again with, made up front:
// the handler can only call execve.
const char kRestarted[] = "INTRO_RENDER_AFTER_CRASH=1";
char **restart_argv = nullptr;
std::vector<char *> restart_env;

void say(const char *text)
{
    ssize_t written = write(STDERR_FILENO, text, std::strlen(text));
    (void)written;
}

const int fault_signals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};

void on_fault(int sig)
{
    if (building) {
        say("intro-render: the driver's compiler crashed\n");
        if (restart_argv) {
            // The fault is blocked in its handler; the new process must take it again.
            sigset_t none;
            sigemptyset(&none);
            sigprocmask(SIG_SETMASK, &none, nullptr);
            execve("/proc/self/exe", restart_argv, restart_env.data());
            say("intro-render: cannot start again to go on watching\n");
        }
        _exit(crash_status);
    }
    // Not in a build: the default action, once this handler returns.
    signal(sig, SIG_DFL);
}

// The handler runs on a stack of its own: the thread's own may be the one
// that overflowed. Each thread needs its own; this one lives as long as it.
void install_fault_handler(void *alternate, size_t size)
{
    stack_t stack;
    std::memset(&stack, 0, sizeof stack);
    stack.ss_sp = alternate;
    stack.ss_size = size;
    sigaltstack(&stack, nullptr);
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = on_fault;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_ONSTACK;
    for (int sig : fault_signals) sigaction(sig, &action, nullptr);
}

struct Work {
    int (*body)(int, char **);
    int argc;
    char **argv;
    int status;
};

constexpr size_t kAlternateStack = 64 * 1024;

void *run_work(void *context)
{
    Work &work = *(Work *)context;
    static char alternate[kAlternateStack];
    install_fault_handler(alternate, sizeof alternate);
    work.status = work.body(work.argc, work.argv);
    return nullptr;
}

size_t build_stack_size()
{
    const uint64_t most = 4ull << 30;
    struct rlimit limit;
    uint64_t size = most;
    if (getrlimit(RLIMIT_STACK, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < most / 32)
        size = (uint64_t)limit.rlim_cur * 32;
    if (size < (uint64_t)PTHREAD_STACK_MIN) size = PTHREAD_STACK_MIN;
    return (size_t)size;
}

} // namespace

int run_with_compiler_guard(int (*body)(int argc, char **argv), int argc, char **argv)
{
    Work work{body, argc, argv, 1};
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_t thread;
    bool started = pthread_attr_setstacksize(&attr, build_stack_size()) == 0 &&
                   pthread_create(&thread, &attr, run_work, &work) == 0;
    pthread_attr_destroy(&attr);
    if (!started) {
        // No room for the large stack: the builds are still guarded, on this one.
        run_work(&work);
        return work.status;
    }
    sigset_t all;
    sigfillset(&all);
    for (int sig : fault_signals) sigdelset(&all, sig);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
    pthread_join(thread, nullptr);
    return work.status;
}

unsigned guarded_build(const char *source, std::string &log)
{
    building = 1;
    unsigned program = build_fragment_program(source, log);
    building = 0;
    return program;
}

void compiler_guard_crash_status(int status) { crash_status = status; }

void compiler_guard_restart_on_crash(char **argv)
{
    restart_env.clear();
    for (char **var = environ; *var; ++var) restart_env.push_back(*var);
    restart_env.push_back(const_cast<char *>(kRestarted));
    restart_env.push_back(nullptr);
    restart_argv = argv;
}

bool compiler_guard_restarted()
{
    const char *name_end = std::strchr(kRestarted, '=');
    std::string name(kRestarted, name_end);
    if (!std::getenv(name.c_str())) return false;
    unsetenv(name.c_str());
    return true;
}
