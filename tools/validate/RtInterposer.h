#pragma once

/* What the real-time interposer reports; the validator finds these functions
   with dlsym, so it runs (without the real-time check) when nothing is preloaded. */

#ifdef __cplusplus
extern "C" {
#endif

enum
{
    MURMEX2_RT_ALLOCATION,
    MURMEX2_RT_LOCK,
    MURMEX2_RT_SLEEP,
    MURMEX2_RT_FILE,
    MURMEX2_RT_NUM_KINDS
};

#define MURMEX2_RT_MAX_SITES 512
#define MURMEX2_RT_MAX_FRAMES 12

/* One call site inside the watched module: the innermost frames first. */
typedef struct
{
    int kind;
    const void* object;
    int numFrames;
    void* frames[MURMEX2_RT_MAX_FRAMES];
    unsigned long count;
} murmex2_rt_site;

typedef void (*murmex2_rt_watch_module_fn) (const void* low, const void* high);
typedef void (*murmex2_rt_switch_fn) (void);
typedef int (*murmex2_rt_sites_fn) (const murmex2_rt_site** sites, const unsigned long** hostCounts, unsigned long* dropped);

#ifdef __cplusplus
}
#endif
