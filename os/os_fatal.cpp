// Fatal errors and crash reporting: the layer's own print, the fatal message box, and
// fatal signals turned into one-line exception texts for a crash callback.

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include "os/os.h"
#include "os/os_private.h"

extern char** environ;

enum : uint64_t {
    crash_stack_size = 64 * 1024,
    // A fault this far below a thread's lowest stack address is its stack running
    // out: the guard page of a started thread, or the gap the kernel keeps below the
    // main thread's stack.
    stack_guard_span = 1024 * 1024,
    // Rounding in how the lowest stack address is found.
    stack_guard_slack = 64 * 1024,
};

static os_crash_callback* crash_callback;
static uint8_t crash_handler_installed;
static pthread_key_t crash_stack_key;
static pthread_once_t crash_stack_key_once = PTHREAD_ONCE_INIT;

// Where the calling thread's stack overflows into, noted before any fault so the
// handler needs no system call to tell.
static thread_local uintptr_t stack_guard_low, stack_guard_high;

static const char text_access_violation[] =
    "EXCEPTION_ACCESS_VIOLATION -> The thread tried to read from or write to a virtual address for which it "
    "does not have the appropriate access.";
static const char text_array_bounds_exceeded[] =
    "EXCEPTION_ARRAY_BOUNDS_EXCEEDED -> The thread tried to access an array element that is out of bounds and "
    "the underlying hardware supports bounds checking.";
static const char text_breakpoint[] = "EXCEPTION_BREAKPOINT -> A breakpoint was encountered.";
static const char text_datatype_misalignment[] =
    "EXCEPTION_DATATYPE_MISALIGNMENT -> The thread tried to read or write data that is misaligned on hardware "
    "that does not provide alignment. For example, 16-bit values must be aligned on 2-byte boundaries; 32-bit "
    "values on 4-byte boundaries, and so on.";
static const char text_flt_divide_by_zero[] =
    "EXCEPTION_FLT_DIVIDE_BY_ZERO -> The thread tried to divide a floating-point value by a floating-point "
    "divisor of zero.";
static const char text_flt_inexact_result[] =
    "EXCEPTION_FLT_INEXACT_RESULT -> The result of a floating-point operation cannot be represented exactly as "
    "a decimal fraction.";
static const char text_flt_invalid_operation[] =
    "EXCEPTION_FLT_INVALID_OPERATION -> This exception represents any floating-point exception not included in "
    "this list.";
static const char text_flt_overflow[] =
    "EXCEPTION_FLT_OVERFLOW -> The exponent of a floating-point operation is greater than the magnitude allowed "
    "by the corresponding type.";
static const char text_flt_underflow[] =
    "EXCEPTION_FLT_UNDERFLOW -> The exponent of a floating-point operation is less than the magnitude allowed by "
    "the corresponding type.";
static const char text_illegal_instruction[] =
    "EXCEPTION_ILLEGAL_INSTRUCTION -> The thread tried to execute an invalid instruction.";
static const char text_in_page_error[] =
    "EXCEPTION_IN_PAGE_ERROR -> The thread tried to access a page that was not present, and the system was "
    "unable to load the page. For example, this exception might occur if a network connection is lost while "
    "running a program over the network.";
static const char text_int_divide_by_zero[] =
    "EXCEPTION_INT_DIVIDE_BY_ZERO -> The thread tried to divide an integer value by an integer divisor of zero.";
static const char text_int_overflow[] =
    "EXCEPTION_INT_OVERFLOW -> The result of an integer operation caused a carry out of the most significant "
    "bit of the result.";
static const char text_priv_instruction[] =
    "EXCEPTION_PRIV_INSTRUCTION -> The thread tried to execute an instruction whose operation is not allowed in "
    "the current machine mode.";
static const char text_single_step[] =
    "EXCEPTION_SINGLE_STEP -> A trace trap or other single-instruction mechanism signaled that one instruction "
    "has been executed.";
static const char text_stack_overflow[] = "EXCEPTION_STACK_OVERFLOW -> The thread used up its stack.";
static const char text_unknown[] = "UNKNOWN";

int32_t os_print(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int32_t written = vprintf(format, arguments);
    va_end(arguments);
    fflush(stdout);
    return written;
}

void os_abort_all_threads(void) { os_print("* TODO * os_abort_all_threads\n"); }

// Shows the message in a window when a display and xmessage are at hand; the box
// closes by itself after a while so an unattended process still ends. The text
// goes through standard input, so that one starting with '-' is not an option.
static void show_fatal_box(const char* message) {
    const char* display = getenv("DISPLAY");
    if (!display || !display[0]) return;
    char program[] = "xmessage", center[] = "-center", title_flag[] = "-title", title[] = "YA FUCKED UP";
    char timeout_flag[] = "-timeout", timeout[] = "120", buttons_flag[] = "-buttons", buttons[] = "OK:0";
    char file_flag[] = "-file", from_input[] = "-";
    char* arguments[] = {program, center,  title_flag, title,     timeout_flag, timeout,
                         buttons_flag, buttons, file_flag, from_input, nullptr};
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return;
    os_ignore_broken_pipes();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[0], STDIN_FILENO);
    pid_t child = 0;
    int failed = posix_spawnp(&child, program, &actions, nullptr, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(ends[0]);
    if (!failed) os_write_to_descriptor(ends[1], os_string(message));
    close(ends[1]);
    if (failed) return;
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {}
}

void os_fatal(const char* message) {
    if (!message) message = "";
    os_write_stderr(os_string(message));
    os_write_stderr(os_string("\n"));
    show_fatal_box(message);
    abort();
}

static void release_crash_stack(void* stack) {
    stack_t off;
    memset(&off, 0, sizeof off);
    off.ss_flags = SS_DISABLE;
    sigaltstack(&off, nullptr);
    munmap(stack, crash_stack_size);
}

static void create_crash_stack_key(void) { pthread_key_create(&crash_stack_key, release_crash_stack); }

void os_prepare_thread_for_crashes(void) {
    pthread_once(&crash_stack_key_once, create_crash_stack_key);
    if (!pthread_getspecific(crash_stack_key)) {
        void* stack = mmap(nullptr, crash_stack_size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (stack != MAP_FAILED) {
            stack_t alternate;
            memset(&alternate, 0, sizeof alternate);
            alternate.ss_sp = stack;
            alternate.ss_size = crash_stack_size;
            if (sigaltstack(&alternate, nullptr) == 0) pthread_setspecific(crash_stack_key, stack);
            else munmap(stack, crash_stack_size);
        }
    }
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) != 0) return;
    void* low = nullptr;
    size_t size = 0;
    if (pthread_attr_getstack(&attributes, &low, &size) == 0 && low) {
        uintptr_t bottom = (uintptr_t)low;
        stack_guard_low = bottom > stack_guard_span ? bottom - stack_guard_span : 0;
        stack_guard_high = bottom + stack_guard_slack;
    }
    pthread_attr_destroy(&attributes);
}

static bool is_stack_overflow(const siginfo_t* info) {
    uintptr_t address = (uintptr_t)info->si_addr;
    return stack_guard_high && address >= stack_guard_low && address < stack_guard_high;
}

static const char* crash_text(int signal_number, int code, const siginfo_t* info) {
    switch (signal_number) {
    case SIGSEGV: return is_stack_overflow(info) ? text_stack_overflow : text_access_violation;
    case SIGBUS: return code == BUS_ADRALN ? text_datatype_misalignment : text_in_page_error;
    case SIGILL: return code == ILL_PRVOPC || code == ILL_PRVREG ? text_priv_instruction : text_illegal_instruction;
    case SIGTRAP: return code == TRAP_TRACE ? text_single_step : text_breakpoint;
    case SIGFPE:
        switch (code) {
        case FPE_INTDIV: return text_int_divide_by_zero;
        case FPE_INTOVF: return text_int_overflow;
        case FPE_FLTDIV: return text_flt_divide_by_zero;
        case FPE_FLTOVF: return text_flt_overflow;
        case FPE_FLTUND: return text_flt_underflow;
        case FPE_FLTRES: return text_flt_inexact_result;
        case FPE_FLTINV: return text_flt_invalid_operation;
        case FPE_FLTSUB: return text_array_bounds_exceeded;
        default: return text_unknown;
        }
    default: return text_unknown;
    }
}

static void crash_signal_handler(int signal_number, siginfo_t* info, void*) {
    // A file shrinking under its mapping is no crash: the guard has laid zeros there.
    if (signal_number == SIGBUS && info && info->si_code > 0 && os_answer_mapping_fault(info->si_addr)) return;
    // A signal sent by another process carries no fault to describe.
    int code = info && info->si_code > 0 ? info->si_code : 0;
    const char* text = code ? crash_text(signal_number, code, info) : text_unknown;
    os_crash_callback* callback = crash_callback;
    if (callback) callback(1, text);
    // End with the default action: re-raised now, delivered as soon as we return (and a
    // hardware fault simply repeats).
    struct sigaction fallback;
    memset(&fallback, 0, sizeof fallback);
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal_number, &fallback, nullptr);
    raise(signal_number);
}

void os_set_crash_handler(os_crash_callback* callback) {
    crash_callback = callback;
    if (!callback || crash_handler_installed) return;
    crash_handler_installed = 1;
    // An alternate stack lets a stack overflow still reach the callback.
    os_prepare_thread_for_crashes();
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_sigaction = crash_signal_handler;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    const int signals[] = {SIGSEGV, SIGFPE, SIGILL, SIGBUS, SIGTRAP};
    for (int signal_number : signals) sigaction(signal_number, &action, nullptr);
}
