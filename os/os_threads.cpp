// Threads, processes and the console: recursive mutexes and parkable threads on
// pthreads, child processes with piped standard streams, ANSI terminal control.
//
// Index
//   mutexes            os_mutex_*
//   threads            os_thread_start, suspend/resume by parking, kill by cancellation
//   command lines      os_split_command_line
//   processes          os_process_*, os_run_process
//   standard streams   os_write_stdout, os_write_stderr, os_read_line
//   terminal           colours, cursor moves, width, one key in raw mode
//   terminal window    the X window named by WINDOWID

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <semaphore.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "os/os_private.h"

extern char** environ;

enum : uint32_t {
    // What a finished-process query answers while the child still runs.
    process_still_active = 259,
    // Printed when the exit code of a child run to completion cannot be had.
    process_exit_query_failed = 3110,
};

enum : int32_t {
    idle_wait_milliseconds = 5000,
    idle_poll_milliseconds = 10,
    // A lone Escape byte and the start of an escape sequence look alike; what
    // follows within this time belongs to the sequence.
    escape_sequence_gap_milliseconds = 30,
    // A child that ends closes its output a moment before the system counts it
    // as ended; only one still running after this is taken to live on.
    exit_after_close_milliseconds = 250,
};

enum : int64_t { running_list_initial_capacity = 8, running_list_limit = INT32_MAX };

static os_threads_state& threads = os_platform.threads;

// ---------------------------------------------------------------------------
// Mutexes

static_assert(sizeof(pthread_mutex_t) <= sizeof(os_mutex::storage), "os_mutex storage too small");

void os_mutex_init(os_mutex* mutex) {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init((pthread_mutex_t*)mutex->storage, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

void os_mutex_destroy(os_mutex* mutex) {
    pthread_mutex_destroy((pthread_mutex_t*)mutex->storage);
    memset(mutex, 0, sizeof *mutex);
}

void os_mutex_lock(os_mutex* mutex) { pthread_mutex_lock((pthread_mutex_t*)mutex->storage); }

void os_mutex_unlock(os_mutex* mutex) { pthread_mutex_unlock((pthread_mutex_t*)mutex->storage); }

// ---------------------------------------------------------------------------
// Threads

static thread_local volatile sig_atomic_t thread_resume_requested;

static void on_suspend_signal(int) {
    int saved_errno = errno;
    thread_resume_requested = 0;
    sigset_t wait_mask;
    sigfillset(&wait_mask);
    sigdelset(&wait_mask, threads.resume_signal);
    // Tell the suspender we are parked only once the resume signal can no longer be
    // lost: it is blocked until sigsuspend opens it.
    sem_post(&threads.parked);
    while (!thread_resume_requested) sigsuspend(&wait_mask);
    errno = saved_errno;
}

static void on_resume_signal(int) { thread_resume_requested = 1; }

static void install_parking_handlers(void) {
    threads.suspend_signal = SIGRTMIN + 2;
    threads.resume_signal = SIGRTMIN + 3;
    sem_init(&threads.parked, 0, 0);
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_flags = SA_RESTART;
    sigfillset(&action.sa_mask);
    action.sa_handler = on_suspend_signal;
    sigaction(threads.suspend_signal, &action, nullptr);
    sigemptyset(&action.sa_mask);
    action.sa_handler = on_resume_signal;
    sigaction(threads.resume_signal, &action, nullptr);
}

// A thread of ours may itself control others. Cancelled while it held the
// lock, it would never release it, and its own end (which takes the lock)
// would wait forever: cancellation waits until the lock is given back.
static int lock_registry(void) {
    int cancel_state = PTHREAD_CANCEL_ENABLE;
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &cancel_state);
    pthread_mutex_lock(&threads.control_lock);
    return cancel_state;
}

static void unlock_registry(int cancel_state) {
    pthread_mutex_unlock(&threads.control_lock);
    pthread_setcancelstate(cancel_state, nullptr);
}

static os_running_thread* running_items(void) { return (os_running_thread*)threads.running.items; }

// The running thread of that id, or null once it has ended. Call with the
// control lock held.
static os_running_thread* find_running(uint32_t id) {
    if (!id) return nullptr;
    for (int64_t i = 0; i < threads.running.count; i += 1) {
        if (running_items()[i].id == id) return &running_items()[i];
    }
    return nullptr;
}

static bool add_running(uint32_t id, pthread_t thread) {
    os_running_thread* slot = nullptr;
    for (int64_t i = 0; i < threads.running.count && !slot; i += 1) {
        if (!running_items()[i].id) slot = &running_items()[i];
    }
    if (!slot) {
        slot = (os_running_thread*)os_list_push(&threads.running, sizeof(os_running_thread),
                                                running_list_initial_capacity, running_list_limit);
    }
    if (!slot) return false;
    *slot = {id, thread};
    return true;
}

struct thread_start_block {
    os_thread_function* function;
    os_thread* record;
    uint32_t id;
};

// Runs when the thread returns or is cancelled: from here on no control may
// reach its id. A suspend in progress holds the lock, so the thread can still
// be parked on its way out, never after.
static void mark_thread_ended(void* parameter) {
    uint32_t id = (uint32_t)(uintptr_t)parameter;
    pthread_mutex_lock(&threads.control_lock);
    os_running_thread* entry = find_running(id);
    if (entry) entry->id = 0;
    pthread_mutex_unlock(&threads.control_lock);
}

static void* run_thread(void* parameter) {
    thread_start_block start = *(thread_start_block*)parameter;
    os_free(parameter);
    os_prepare_thread_for_crashes();
    pthread_cleanup_push(mark_thread_ended, (void*)(uintptr_t)start.id);
    // Killing must stop a thread wherever it is, as terminating one does elsewhere.
    pthread_setcanceltype(PTHREAD_CANCEL_ASYNCHRONOUS, nullptr);
    start.function(start.record);
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, nullptr);
    pthread_cleanup_pop(1);
    return nullptr;
}

os_thread* os_thread_start(os_thread_function* function, uint64_t user_value) {
    uint32_t id = __atomic_add_fetch(&threads.counter, 1u, __ATOMIC_RELAXED);
    pthread_once(&threads.parking_once, install_parking_handlers);
    os_thread* record = (os_thread*)os_alloc_zeroed(sizeof(os_thread));
    thread_start_block* start = (thread_start_block*)os_alloc(sizeof(thread_start_block));
    if (!record || !start || !function) {
        os_free(record);
        os_free(start);
        return nullptr;
    }
    record->id = id;
    record->user_value = user_value;
    *start = {function, record, id};
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t handle;
    // Listed before it runs, so that a thread that ends at once is struck off.
    int cancel_state = lock_registry();
    int failed = pthread_create(&handle, &attributes, run_thread, start);
    // Without a slot (no memory) the thread runs on, beyond control.
    if (!failed) add_running(id, handle);
    unlock_registry(cancel_state);
    pthread_attr_destroy(&attributes);
    if (failed) {
        os_free(start);
        os_free(record);
        return nullptr;
    }
    record->handle = (uint64_t)handle;
    return record;
}

void os_thread_suspend(os_thread* thread) {
    if (!thread || !(thread->flags & os_thread_flag_controllable)) return;
    if (thread->flags & os_thread_flag_suspended) return;
    int cancel_state = lock_registry();
    os_running_thread* entry = find_running(thread->id);
    if (entry && pthread_kill(entry->thread, threads.suspend_signal) == 0) {
        thread->flags |= os_thread_flag_suspended;
        while (sem_wait(&threads.parked) != 0 && errno == EINTR) {}
    }
    unlock_registry(cancel_state);
}

void os_thread_resume(os_thread* thread) {
    if (!thread) return;
    uint8_t both = os_thread_flag_controllable | os_thread_flag_suspended;
    if ((thread->flags & both) != both) return;
    thread->flags &= (uint8_t)~os_thread_flag_suspended;
    int cancel_state = lock_registry();
    os_running_thread* entry = find_running(thread->id);
    if (entry) pthread_kill(entry->thread, threads.resume_signal);
    unlock_registry(cancel_state);
}

void os_thread_kill(os_thread* thread) {
    if (!thread || !(thread->flags & os_thread_flag_controllable)) return;
    uint8_t parked = thread->flags & os_thread_flag_suspended;
    int cancel_state = lock_registry();
    os_running_thread* entry = find_running(thread->id);
    if (entry) {
        pthread_cancel(entry->thread);
        // A parked thread sleeps in sigsuspend, which is no cancellation point for
        // an asynchronous cancel until it runs again: wake it so the cancel can act.
        if (parked) pthread_kill(entry->thread, threads.resume_signal);
    }
    // Cleared first: a thread killing itself ends as the lock is given back.
    memset(thread, 0, sizeof *thread);
    unlock_registry(cancel_state);
}

uint32_t os_current_thread_id(void) { return (uint32_t)syscall(SYS_gettid); }

// ---------------------------------------------------------------------------
// Command lines

int32_t os_split_command_line(utf8_string line, char* storage, char** arguments, int32_t capacity) {
    int32_t count = 0;
    const char* at = line.data;
    const char* end = line.data ? line.data + (line.length > 0 ? line.length : 0) : nullptr;
    char* out = storage;
    while (at < end) {
        while (at < end && (*at == ' ' || *at == '\t' || *at == '\n')) at += 1;
        if (at >= end) break;
        char* word = out;
        char quote = 0;
        while (at < end) {
            char c = *at;
            if (quote == '\'') {
                at += 1;
                if (c == '\'') quote = 0;
                else *out++ = c;
            } else if (quote == '"') {
                at += 1;
                if (c == '"') {
                    quote = 0;
                } else if (c == '\\' && at < end && strchr("\"\\$`", *at)) {
                    *out++ = *at++;
                } else {
                    *out++ = c;
                }
            } else if (c == ' ' || c == '\t' || c == '\n') {
                break;
            } else if (c == '\'' || c == '"') {
                quote = c;
                at += 1;
            } else if (c == '\\') {
                at += 1;
                if (at < end) *out++ = *at++;
            } else {
                *out++ = c;
                at += 1;
            }
        }
        if (quote) return -1;
        *out++ = 0;
        if (count < capacity) arguments[count] = word;
        count += 1;
    }
    return count;
}

// The arguments of a command line, on the heap: one block holding the pointer
// array (null-terminated) and the characters. Null when the line is empty or
// unterminated.
static char** split_to_argv(utf8_string command) {
    if (!command.data || command.length <= 0) return nullptr;
    uint64_t length = (uint64_t)command.length;
    // Arguments are at least one byte apart, so this many pointers always suffice.
    uint64_t most = length / 2 + 1;
    uint64_t bytes = sizeof(char*) * (most + 1) + length + 1;
    char** argv = (char**)os_alloc_zeroed(bytes);
    if (!argv) return nullptr;
    char* storage = (char*)(argv + most + 1);
    int32_t found = os_split_command_line(command, storage, argv, (int32_t)most);
    if (found <= 0) {
        os_free(argv);
        return nullptr;
    }
    argv[found] = nullptr;
    return argv;
}

// ---------------------------------------------------------------------------
// Processes

static uint32_t exit_code_of(int status) {
    if (WIFEXITED(status)) return (uint32_t)WEXITSTATUS(status);
    // A child killed by a signal must not read as success; shells say 128 + signal.
    if (WIFSIGNALED(status)) return 128u + (uint32_t)WTERMSIG(status);
    return 1;
}

static void close_descriptor(int32_t* descriptor) {
    if (*descriptor >= 0) close(*descriptor);
    *descriptor = -1;
}

static void reap_finished_children(void) {
    pthread_mutex_lock(&threads.unreaped_lock);
    for (int32_t i = 0; i < os_unreaped_capacity; i += 1) {
        if (threads.unreaped[i] > 0 && waitpid(threads.unreaped[i], nullptr, WNOHANG) != 0) threads.unreaped[i] = 0;
    }
    pthread_mutex_unlock(&threads.unreaped_lock);
}

static void reap_later(pid_t child) {
    pthread_mutex_lock(&threads.unreaped_lock);
    for (int32_t i = 0; i < os_unreaped_capacity; i += 1) {
        if (threads.unreaped[i] <= 0) {
            threads.unreaped[i] = child;
            break;
        }
    }
    pthread_mutex_unlock(&threads.unreaped_lock);
}

// Both ends are close-on-exec from the start, so a spawn on another thread
// cannot inherit them; the child gets its own copies through dup2.
static int32_t make_pipe(int32_t* read_end, int32_t* write_end) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return 0;
    *read_end = ends[0];
    *write_end = ends[1];
    return 1;
}

// The child's standard input from input_read, output and error to output_write;
// 0 and the child's pid on success, else 5.
static int32_t spawn_child(utf8_string command, int32_t input_read, int32_t output_write, pid_t* child) {
    char** argv = split_to_argv(command);
    if (!argv) return 5;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input_read >= 0) {
        posix_spawn_file_actions_adddup2(&actions, input_read, STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, output_write, STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, output_write, STDERR_FILENO);
        if (input_read > STDERR_FILENO) posix_spawn_file_actions_addclose(&actions, input_read);
        if (output_write > STDERR_FILENO) posix_spawn_file_actions_addclose(&actions, output_write);
    } else {
        // A child run without pipes inherits no streams of ours.
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    }
    int failed = posix_spawnp(child, argv[0], &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    os_free(argv);
    return failed ? 5 : 0;
}

// Steps 1-4 of a start: both pipes, every end kept from other children (2 and
// 4, the separate steps of marking, cannot fail here).
static int32_t open_process_pipes(os_process* process) {
    // A child that dies before reading what we write must not end us.
    os_ignore_broken_pipes();
    if (!make_pipe(&process->parent_output_read, &process->child_output_write)) return 1;
    if (!make_pipe(&process->child_input_read, &process->parent_input_write)) return 3;
    return 0;
}

static void reset_process(os_process* process, uint8_t show_window) {
    memset(process, 0, sizeof *process);
    process->child_input_read = process->parent_input_write = -1;
    process->parent_output_read = process->child_output_write = -1;
    process->creation_flags = show_window ? os_process_normal_priority
                                          : os_process_no_window | os_process_normal_priority;
}

int32_t os_process_start(os_process* process, utf8_string command, uint8_t show_window) {
    reap_finished_children();
    reset_process(process, show_window);
    int32_t result = open_process_pipes(process);
    if (result) return result;
    pid_t child = 0;
    result = spawn_child(command, process->child_input_read, process->child_output_write, &child);
    if (result) return result;
    process->process_id = child;
    return 0;
}

int64_t os_process_write(os_process* process, int64_t count, const void* bytes) {
    if (!process || process->parent_input_write < 0 || count < 0) return -1;
    ssize_t put;
    do put = write(process->parent_input_write, bytes, (size_t)count);
    while (put < 0 && errno == EINTR);
    return put < 0 ? -1 : (int64_t)put;
}

int64_t os_process_read(os_process* process, int64_t count, void* buffer) {
    if (!process || process->parent_output_read < 0 || count < 0) return -1;
    int waiting = 0;
    if (ioctl(process->parent_output_read, FIONREAD, &waiting) != 0) return -1;
    if (waiting <= 0 || count == 0) return 0;
    ssize_t got;
    do got = read(process->parent_output_read, buffer, (size_t)(count < waiting ? count : waiting));
    while (got < 0 && errno == EINTR);
    return got < 0 ? -1 : (int64_t)got;
}

uint8_t os_process_is_running(os_process* process) {
    if (!process || process->process_id <= 0 || process->exited) return 0;
    int status = 0;
    pid_t done = waitpid(process->process_id, &status, WNOHANG);
    if (done == 0) return 1;
    process->exited = 1;
    process->exit_status = done > 0 ? (int32_t)exit_code_of(status) : 1;
    return 0;
}

// Linux has no "waiting for input" state of its own; a child asleep in the kernel
// (state S in /proc) is taken as idle.
static uint8_t process_is_sleeping(int32_t process_id) {
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/stat", process_id);
    FILE* file = fopen(path, "re");
    if (!file) return 0;
    char line[512];
    size_t got = fread(line, 1, sizeof line - 1, file);
    fclose(file);
    line[got] = 0;
    // The state follows the command name, which is in parentheses and may hold any byte.
    const char* close_paren = strrchr(line, ')');
    return close_paren && close_paren[1] == ' ' && close_paren[2] == 'S';
}

uint8_t os_process_wait_idle(os_process* process) {
    for (int32_t waited = 0; waited <= idle_wait_milliseconds; waited += idle_poll_milliseconds) {
        if (!os_process_is_running(process)) return 0;
        if (process_is_sleeping(process->process_id)) return 1;
        os_sleep_milliseconds(idle_poll_milliseconds);
    }
    return 0;
}

void os_process_close(os_process* process) {
    if (!process) return;
    if (os_process_is_running(process)) {
        kill(process->process_id, SIGKILL);
        int status = 0;
        while (waitpid(process->process_id, &status, 0) < 0 && errno == EINTR) {}
        process->exited = 1;
        process->exit_status = 0;
    }
    close_descriptor(&process->child_output_write);
    close_descriptor(&process->child_input_read);
    // The parent's ends too: nothing can use them once the child is gone, and
    // leaving them open would leak two descriptors per child.
    close_descriptor(&process->parent_output_read);
    close_descriptor(&process->parent_input_write);
}

// A pidfd reports the child's exit even while a grandchild keeps the pipe open.
static int open_process_descriptor(pid_t child) {
#ifdef SYS_pidfd_open
    return (int)syscall(SYS_pidfd_open, child, 0);
#else
    (void)child;
    return -1;
#endif
}

// Hands every byte the pipe holds to the callback, in chunks; false at the pipe's
// end or on a read error.
static bool stream_output(int descriptor, os_process_output_callback* callback, bool until_empty) {
    char chunk[os_process_max_chunk];
    for (;;) {
        ssize_t got = read(descriptor, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && errno == EAGAIN) return true;
        if (got <= 0) return false;
        utf8_string piece = {got, chunk};
        callback(&piece);
        if (!until_empty) return true;
    }
}

static uint32_t run_without_output(utf8_string command) {
    pid_t child = 0;
    if (spawn_child(command, -1, -1, &child)) return 1;
    int status = 0;
    pid_t done = waitpid(child, &status, WNOHANG);
    if (done == child) return exit_code_of(status);
    if (done < 0) return 1;
    reap_later(child);
    return process_still_active;
}

uint32_t os_run_process(utf8_string command, os_process_output_callback* callback, uint8_t show_window) {
    reap_finished_children();
    if (!callback) return run_without_output(command);
    os_process process;
    reset_process(&process, show_window);
    int32_t result = open_process_pipes(&process);
    pid_t child = 0;
    if (!result) result = spawn_child(command, process.child_input_read, process.child_output_write, &child);
    close_descriptor(&process.child_output_write);
    close_descriptor(&process.child_input_read);
    if (result) {
        close_descriptor(&process.parent_output_read);
        close_descriptor(&process.parent_input_write);
        return (uint32_t)result;
    }
    // The child sees the end of its input at once, as nothing will be written.
    close_descriptor(&process.parent_input_write);

    int exit_watch = open_process_descriptor(child);
    bool exited = false;
    int status = 0;
    bool open = true;
    while (open && !exited) {
        int descriptors[2] = {process.parent_output_read, exit_watch};
        uint8_t ready[2] = {os_wait_timed_out, os_wait_timed_out};
        // Without a pidfd, look at the child's state every 50 ms instead.
        os_wait_result waited = os_wait_for_descriptors(descriptors, ready, exit_watch >= 0 ? 2 : 1,
                                                        exit_watch >= 0 ? -1 : 50);
        if (ready[0] != os_wait_timed_out) open = stream_output(process.parent_output_read, callback, false);
        if (exit_watch < 0 || ready[1] != os_wait_timed_out) exited = waitpid(child, &status, WNOHANG) == child;
        if (waited == os_wait_failed && ready[0] == os_wait_timed_out) break;
    }
    if (exited && open) {
        // Whatever the child wrote before it ended is still delivered, but a
        // descendant holding the pipe open cannot keep us here.
        fcntl(process.parent_output_read, F_SETFL, O_NONBLOCK);
        stream_output(process.parent_output_read, callback, true);
    }
    close_descriptor(&process.parent_output_read);
    if (exited) {
        if (exit_watch >= 0) close(exit_watch);
        return exit_code_of(status);
    }
    // The output has closed: the answer is the child's state at this moment, and
    // one that lives on (a daemon) is reaped later instead of waited for.
    uint64_t deadline = os_now_milliseconds() + exit_after_close_milliseconds;
    pid_t done;
    for (;;) {
        done = waitpid(child, &status, WNOHANG);
        if (done < 0 && errno == EINTR) continue;
        uint64_t now = os_now_milliseconds();
        if (done != 0 || now >= deadline) break;
        if (exit_watch >= 0) os_wait_for_descriptor(exit_watch, (int64_t)(deadline - now));
        else os_sleep_milliseconds(1);
    }
    if (exit_watch >= 0) close(exit_watch);
    if (done == child) return exit_code_of(status);
    if (done == 0) {
        reap_later(child);
        return process_still_active;
    }
    os_print("%i\n", (int)process_exit_query_failed);
    return 6;
}

// ---------------------------------------------------------------------------
// Standard streams

// A reader that went away (`bitlorn FILE | head -1`, a child that ended) turns a
// write into a failed one instead of ending the process.
void os_ignore_broken_pipes(void) { signal(SIGPIPE, SIG_IGN); }

// A pipe or terminal may take fewer bytes than offered; failures are ignored, as with
// a process that has no output attached.
void os_write_to_descriptor(int fd, utf8_string bytes) {
    if (bytes.length <= 0 || !bytes.data) return;
    const char* at = bytes.data;
    uint64_t left = (uint64_t)bytes.length;
    while (left > 0) {
        ssize_t put = write(fd, at, left);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return;
        at += put;
        left -= (uint64_t)put;
    }
}

void os_write_stdout(utf8_string bytes) { os_write_to_descriptor(STDOUT_FILENO, bytes); }

void os_write_stderr(utf8_string bytes) { os_write_to_descriptor(STDERR_FILENO, bytes); }

int32_t os_read_line(int32_t size, char* buffer) {
    if (!buffer || size <= 0) return 0;
    buffer[0] = 0;
    if (!fgets(buffer, size, stdin)) return 0;
    int32_t length = (int32_t)strlen(buffer);
    if (length > 0 && buffer[length - 1] == '\n') {
        length -= 1;
        buffer[length] = 0;
    }
    return length;
}

// ---------------------------------------------------------------------------
// Terminal

// Colours go only to a terminal, as a console attribute reaches no file or pipe.
static void write_terminal_sequence(const char* sequence) {
    if (isatty(STDOUT_FILENO)) os_write_to_descriptor(STDOUT_FILENO, os_string(sequence));
}

// Console attributes 9-15 are the bright colours; 7 is the default grey.
void os_console_color_red(void) { write_terminal_sequence("\x1b[91m"); }
void os_console_color_green(void) { write_terminal_sequence("\x1b[92m"); }
void os_console_color_blue(void) { write_terminal_sequence("\x1b[94m"); }
void os_console_color_yellow(void) { write_terminal_sequence("\x1b[93m"); }
void os_console_color_cyan(void) { write_terminal_sequence("\x1b[96m"); }
void os_console_color_magenta(void) { write_terminal_sequence("\x1b[95m"); }
void os_console_color_default(void) { write_terminal_sequence("\x1b[0m"); }
void os_console_color_white(void) { write_terminal_sequence("\x1b[97m"); }

// Relative moves: a terminal stops a move left at column 0 by itself.
void os_console_move_cursor(int32_t dx, int32_t dy) {
    char sequence[48];
    int length = 0;
    if (dx) length += snprintf(sequence + length, sizeof sequence - (size_t)length, "\x1b[%u%c",
                               (unsigned)(dx < 0 ? -(int64_t)dx : dx), dx < 0 ? 'D' : 'C');
    if (dy) length += snprintf(sequence + length, sizeof sequence - (size_t)length, "\x1b[%u%c",
                               (unsigned)(dy < 0 ? -(int64_t)dy : dy), dy < 0 ? 'A' : 'B');
    if (length) write_terminal_sequence(sequence);
}

int32_t os_console_width(void) {
    const int candidates[] = {STDOUT_FILENO, STDERR_FILENO, STDIN_FILENO};
    for (int descriptor : candidates) {
        winsize size;
        if (ioctl(descriptor, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    }
    return 0;
}

static int read_byte(int descriptor, int timeout_milliseconds) {
    if (timeout_milliseconds >= 0 && os_wait_for_descriptor(descriptor, timeout_milliseconds) != os_wait_ready)
        return -1;
    unsigned char byte;
    ssize_t got;
    do got = read(descriptor, &byte, 1);
    while (got < 0 && errno == EINTR);
    return got == 1 ? byte : -1;
}

// While a key is awaited the terminal is raw; an interrupt must not leave it so.
static const int console_ending_signals[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP};
enum : int { console_ending_signal_count = 4 };
static termios console_saved_mode;
static struct sigaction console_previous_actions[console_ending_signal_count];
static volatile sig_atomic_t console_mode_changed;

// Puts the terminal back, then lets the signal do what it did before.
static void restore_console_and_resignal(int signal_number) {
    if (console_mode_changed) tcsetattr(STDIN_FILENO, TCSANOW, &console_saved_mode);
    console_mode_changed = 0;
    for (int i = 0; i < console_ending_signal_count; i += 1) {
        if (console_ending_signals[i] == signal_number) sigaction(signal_number, &console_previous_actions[i], nullptr);
    }
    raise(signal_number);
}

// One key press as a UTF-16 code unit: keys that type no character (arrows,
// function keys) give 0, as do characters outside the basic plane. Enter gives
// 13, the key's own character, whether the terminal sends CR or LF.
uint32_t os_console_read_key(void) {
    bool raw = tcgetattr(STDIN_FILENO, &console_saved_mode) == 0;
    if (raw) {
        struct sigaction action;
        memset(&action, 0, sizeof action);
        action.sa_handler = restore_console_and_resignal;
        sigemptyset(&action.sa_mask);
        for (int i = 0; i < console_ending_signal_count; i += 1)
            sigaction(console_ending_signals[i], &action, &console_previous_actions[i]);
        termios changed = console_saved_mode;
        changed.c_lflag &= (tcflag_t) ~(ICANON | ECHO);
        changed.c_cc[VMIN] = 1;
        changed.c_cc[VTIME] = 0;
        console_mode_changed = 1;
        tcsetattr(STDIN_FILENO, TCSANOW, &changed);
    }
    uint32_t key = 0;
    int first = read_byte(STDIN_FILENO, -1);
    if (first == 0x1b) {
        bool sequence = false;
        while (read_byte(STDIN_FILENO, escape_sequence_gap_milliseconds) >= 0) sequence = true;
        key = sequence ? 0 : 0x1b;
    } else if (first == '\n') {
        key = '\r';
    } else if (first >= 0 && first < 0x80) {
        key = (uint32_t)first;
    } else if (first >= 0xc2 && first <= 0xf4) {
        int more = first >= 0xf0 ? 3 : first >= 0xe0 ? 2 : 1;
        uint32_t point = (uint32_t)first & (0x3fu >> more);
        bool valid = true;
        for (int i = 0; i < more; i += 1) {
            int next = read_byte(STDIN_FILENO, escape_sequence_gap_milliseconds);
            if (next < 0 || (next & 0xc0) != 0x80) valid = false;
            point = (point << 6) | ((uint32_t)next & 0x3f);
        }
        key = valid && point <= 0xffff ? point : 0;
    }
    if (raw) {
        tcsetattr(STDIN_FILENO, TCSANOW, &console_saved_mode);
        console_mode_changed = 0;
        for (int i = 0; i < console_ending_signal_count; i += 1)
            sigaction(console_ending_signals[i], &console_previous_actions[i], nullptr);
    }
    return key;
}

// ---------------------------------------------------------------------------
// Terminal window

// Terminal emulators name their X window in WINDOWID; each operation opens its own
// short connection, as a console program has no event loop to share.
static Display* open_terminal_window(Window* window) {
    const char* named = getenv("WINDOWID");
    if (!named || !named[0]) return nullptr;
    char* end = nullptr;
    unsigned long id = strtoul(named, &end, 0);
    if (!id || (end && *end)) return nullptr;
    Display* display = XOpenDisplay(nullptr);
    if (!display) return nullptr;
    *window = (Window)id;
    return display;
}

static bool read_window_rect(Display* display, Window window, os_console_rect* rect) {
    os_x11_begin_error_trap();
    XWindowAttributes attributes;
    bool ok = XGetWindowAttributes(display, window, &attributes) != 0;
    Window child;
    int x = 0, y = 0;
    if (ok) ok = XTranslateCoordinates(display, window, attributes.root, 0, 0, &x, &y, &child) != 0;
    if (os_x11_end_error_trap(display)) ok = false;
    if (ok) *rect = {x, y, attributes.width, attributes.height};
    return ok;
}

os_console_rect os_console_window_rect(void) {
    os_console_rect rect = {0, 0, 0, 0};
    Window window;
    Display* display = open_terminal_window(&window);
    if (!display) return rect;
    read_window_rect(display, window, &rect);
    XCloseDisplay(display);
    return rect;
}

static void move_resize_terminal(int32_t x, int32_t y, int32_t height, bool move) {
    Window window;
    Display* display = open_terminal_window(&window);
    if (!display) return;
    os_console_rect rect;
    if (read_window_rect(display, window, &rect)) {
        os_x11_begin_error_trap();
        if (move) XMoveWindow(display, window, x, y);
        else if (height > 0 && rect.width > 0) XResizeWindow(display, window, (unsigned)rect.width, (unsigned)height);
        os_x11_end_error_trap(display);
    }
    XCloseDisplay(display);
}

void os_console_window_move(int32_t x, int32_t y) { move_resize_terminal(x, y, 0, true); }

void os_console_window_set_height(int32_t height) { move_resize_terminal(0, 0, height, false); }

// The urgency hint is what window managers flash a taskbar entry for, and they
// clear it when the window comes to the front.
void os_console_flash(void) {
    Window window;
    Display* display = open_terminal_window(&window);
    if (!display) return;
    os_x11_begin_error_trap();
    XWMHints* hints = XGetWMHints(display, window);
    XWMHints fresh;
    memset(&fresh, 0, sizeof fresh);
    XWMHints* use = hints ? hints : &fresh;
    use->flags |= XUrgencyHint;
    XSetWMHints(display, window, use);
    if (hints) XFree(hints);
    os_x11_end_error_trap(display);
    XCloseDisplay(display);
}
