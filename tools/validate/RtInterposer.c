/* Preloaded into murmex2-validate: counts heap calls, lock acquisitions, sleeps
   and file calls made by the calling thread while it is armed (the validator
   arms its audio thread around processBlock). Each event is attributed by its
   call stack: events with a frame inside the watched module (the plug-in) are
   kept per call site for the validator to name; the rest are the host's own. */

#define _GNU_SOURCE
#include <dirent.h>
#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <semaphore.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "RtInterposer.h"

static __thread int armed;
static __thread int busy;

static const char* moduleLow;
static const char* moduleHigh;

static murmex2_rt_site sites[MURMEX2_RT_MAX_SITES];
static int numSites;
static unsigned long hostEvents[MURMEX2_RT_NUM_KINDS];
static unsigned long droppedSites;

static void record (int kind, const void* object)
{
    if (! armed || busy)
        return;

    busy = 1;

    void* frames[64];
    const int n = backtrace (frames, 64);
    void* mine[MURMEX2_RT_MAX_FRAMES];
    int m = 0;

    for (int i = 1; i < n && m < MURMEX2_RT_MAX_FRAMES; ++i)
        if ((const char*) frames[i] >= moduleLow && (const char*) frames[i] < moduleHigh)
            mine[m++] = frames[i];

    if (m == 0)
    {
        ++hostEvents[kind];
    }
    else
    {
        int found = -1;

        for (int s = 0; s < numSites && found < 0; ++s)
            if (sites[s].kind == kind && sites[s].object == object && sites[s].numFrames == m
                && memcmp (sites[s].frames, mine, sizeof (void*) * (size_t) m) == 0)
                found = s;

        if (found < 0 && numSites < MURMEX2_RT_MAX_SITES)
        {
            found = numSites++;
            sites[found].kind = kind;
            sites[found].object = object;
            sites[found].numFrames = m;
            memcpy (sites[found].frames, mine, sizeof (void*) * (size_t) m);
            sites[found].count = 0;
        }

        if (found >= 0)
            ++sites[found].count;
        else
            ++droppedSites;
    }

    busy = 0;
}

/* The validator's side. */
void murmex2_rt_watch_module (const void* low, const void* high) { moduleLow = low; moduleHigh = high; }
void murmex2_rt_arm (void) { armed = 1; }
void murmex2_rt_disarm (void) { armed = 0; }

int murmex2_rt_sites (const murmex2_rt_site** result, const unsigned long** hostCounts, unsigned long* dropped)
{
    *result = sites;
    *hostCounts = hostEvents;
    *dropped = droppedSites;
    return numSites;
}

void murmex2_rt_reset (void)
{
    numSites = 0;
    droppedSites = 0;
    memset (hostEvents, 0, sizeof (hostEvents));
}

/* The unwinder loads itself (and allocates) on its first use: do that now. */
__attribute__ ((constructor)) static void warmUp (void)
{
    void* frames[4];
    backtrace (frames, 4);
}

#define REAL(name) static __typeof__ (&name) real = NULL; if (real == NULL) real = (__typeof__ (&name)) dlsym (RTLD_NEXT, #name)

/* Heap: glibc's own entry points, so no lookup has to allocate first. */
extern void* __libc_malloc (size_t);
extern void* __libc_calloc (size_t, size_t);
extern void* __libc_realloc (void*, size_t);
extern void* __libc_memalign (size_t, size_t);
extern void __libc_free (void*);

void* malloc (size_t size) { record (MURMEX2_RT_ALLOCATION, NULL); return __libc_malloc (size); }
void* calloc (size_t n, size_t size) { record (MURMEX2_RT_ALLOCATION, NULL); return __libc_calloc (n, size); }
void* realloc (void* p, size_t size) { record (MURMEX2_RT_ALLOCATION, NULL); return __libc_realloc (p, size); }
void* memalign (size_t alignment, size_t size) { record (MURMEX2_RT_ALLOCATION, NULL); return __libc_memalign (alignment, size); }
void* aligned_alloc (size_t alignment, size_t size) { record (MURMEX2_RT_ALLOCATION, NULL); return __libc_memalign (alignment, size); }
void free (void* p) { if (p != NULL) record (MURMEX2_RT_ALLOCATION, NULL); __libc_free (p); }

int posix_memalign (void** result, size_t alignment, size_t size)
{
    record (MURMEX2_RT_ALLOCATION, NULL);
    *result = __libc_memalign (alignment, size);
    return *result != NULL ? 0 : 12;
}

/* Locks and waits. */
int pthread_mutex_lock (pthread_mutex_t* m) { REAL (pthread_mutex_lock); record (MURMEX2_RT_LOCK, m); return real (m); }
int pthread_mutex_trylock (pthread_mutex_t* m) { REAL (pthread_mutex_trylock); record (MURMEX2_RT_LOCK, m); return real (m); }
int pthread_rwlock_rdlock (pthread_rwlock_t* l) { REAL (pthread_rwlock_rdlock); record (MURMEX2_RT_LOCK, l); return real (l); }
int pthread_rwlock_wrlock (pthread_rwlock_t* l) { REAL (pthread_rwlock_wrlock); record (MURMEX2_RT_LOCK, l); return real (l); }
int pthread_spin_lock (pthread_spinlock_t* l) { REAL (pthread_spin_lock); record (MURMEX2_RT_LOCK, (const void*) l); return real (l); }
int sem_wait (sem_t* s) { REAL (sem_wait); record (MURMEX2_RT_SLEEP, s); return real (s); }
int sem_timedwait (sem_t* s, const struct timespec* t) { REAL (sem_timedwait); record (MURMEX2_RT_SLEEP, s); return real (s, t); }
int pthread_cond_wait (pthread_cond_t* c, pthread_mutex_t* m) { REAL (pthread_cond_wait); record (MURMEX2_RT_SLEEP, c); return real (c, m); }

int pthread_cond_timedwait (pthread_cond_t* c, pthread_mutex_t* m, const struct timespec* t)
{
    REAL (pthread_cond_timedwait);
    record (MURMEX2_RT_SLEEP, c);
    return real (c, m, t);
}

/* Sleeps and yields. */
int nanosleep (const struct timespec* t, struct timespec* rest) { REAL (nanosleep); record (MURMEX2_RT_SLEEP, NULL); return real (t, rest); }
int usleep (useconds_t us) { REAL (usleep); record (MURMEX2_RT_SLEEP, NULL); return real (us); }
unsigned int sleep (unsigned int s) { REAL (sleep); record (MURMEX2_RT_SLEEP, NULL); return real (s); }
int sched_yield (void) { REAL (sched_yield); record (MURMEX2_RT_SLEEP, NULL); return real(); }

int clock_nanosleep (clockid_t clock, int flags, const struct timespec* t, struct timespec* rest)
{
    REAL (clock_nanosleep);
    record (MURMEX2_RT_SLEEP, NULL);
    return real (clock, flags, t, rest);
}

/* Files. */
static mode_t modeOf (int flags, va_list args)
{
    return (flags & (O_CREAT | O_TMPFILE)) != 0 ? (mode_t) va_arg (args, int) : 0;
}

int open (const char* path, int flags, ...)
{
    REAL (open);
    va_list args;
    va_start (args, flags);
    const mode_t mode = modeOf (flags, args);
    va_end (args);
    record (MURMEX2_RT_FILE, NULL);
    return real (path, flags, mode);
}

int open64 (const char* path, int flags, ...)
{
    REAL (open64);
    va_list args;
    va_start (args, flags);
    const mode_t mode = modeOf (flags, args);
    va_end (args);
    record (MURMEX2_RT_FILE, NULL);
    return real (path, flags, mode);
}

int openat (int dir, const char* path, int flags, ...)
{
    REAL (openat);
    va_list args;
    va_start (args, flags);
    const mode_t mode = modeOf (flags, args);
    va_end (args);
    record (MURMEX2_RT_FILE, NULL);
    return real (dir, path, flags, mode);
}

FILE* fopen (const char* path, const char* mode) { REAL (fopen); record (MURMEX2_RT_FILE, NULL); return real (path, mode); }
FILE* fopen64 (const char* path, const char* mode) { REAL (fopen64); record (MURMEX2_RT_FILE, NULL); return real (path, mode); }
int close (int fd) { REAL (close); record (MURMEX2_RT_FILE, NULL); return real (fd); }
ssize_t read (int fd, void* data, size_t size) { REAL (read); record (MURMEX2_RT_FILE, NULL); return real (fd, data, size); }
ssize_t write (int fd, const void* data, size_t size) { REAL (write); record (MURMEX2_RT_FILE, NULL); return real (fd, data, size); }
int stat (const char* path, struct stat* result) { REAL (stat); record (MURMEX2_RT_FILE, NULL); return real (path, result); }
int lstat (const char* path, struct stat* result) { REAL (lstat); record (MURMEX2_RT_FILE, NULL); return real (path, result); }
int access (const char* path, int mode) { REAL (access); record (MURMEX2_RT_FILE, NULL); return real (path, mode); }
int unlink (const char* path) { REAL (unlink); record (MURMEX2_RT_FILE, NULL); return real (path); }
int rename (const char* from, const char* to) { REAL (rename); record (MURMEX2_RT_FILE, NULL); return real (from, to); }
int mkdir (const char* path, mode_t mode) { REAL (mkdir); record (MURMEX2_RT_FILE, NULL); return real (path, mode); }
DIR* opendir (const char* path) { REAL (opendir); record (MURMEX2_RT_FILE, NULL); return real (path); }
int fsync (int fd) { REAL (fsync); record (MURMEX2_RT_FILE, NULL); return real (fd); }
