/* A recording stand-in for the module, for the sort test in Double
 * Commander: installed as the plugin (Veltamo.wdx), it loads the real module
 * from beside itself (Veltamo-real.wdx, so that the real one still finds its
 * Config.txt there) and forwards every export to it. Each value call
 * (ContentGetValue, ContentGetValueW) appends one line to the file named by
 * $VELTAMO_DC_CALL_LOG:
 *
 *   START END KIND FIELD UNIT FLAGS RESULT NAME
 *
 * START and END are CLOCK_MONOTONIC seconds when the host called and when
 * the call returned; KIND is A or W; NAME is the file's name (outside ASCII
 * as '?', which the test's names never are). One write() per line on an
 * O_APPEND descriptor, so lines of calls from several threads never mix.
 *
 * Build: cc -O2 -shared -fPIC -o Veltamo.wdx call_recorder.c -ldl */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#define EXPORT __attribute__((visibility("default")))

typedef uint16_t WideChar;

struct DefaultParams {
  int size;
  uint32_t versionLow;
  uint32_t versionHi;
  char iniName[260];
};

static struct {
  int (*detect)(char *, int);
  int (*field)(int, char *, char *, int);
  int (*sortOrder)(int);
  int (*valueW)(WideChar *, int, int, void *, int, int);
  int (*value)(char *, int, int, void *, int, int);
  void (*params)(struct DefaultParams *);
  void (*unloading)(void);
  void (*stateW)(int, WideChar *);
  void (*state)(int, char *);
  void (*stopW)(WideChar *);
  void (*stop)(char *);
} real;

static int logFd = -1;

static void *need(void *module, const char *name) {
  void *p = dlsym(module, name);
  if (p == NULL) fprintf(stderr, "call_recorder: the real module exports no %s\n", name);
  return p;
}

/* Loads the real module when the host loads this one. A missing module or
 * export leaves its forwarder answering "nothing" (the test then fails on
 * what the panel shows, and stderr says why). */
__attribute__((constructor)) static void load_real(void) {
  Dl_info self;
  char path[PATH_MAX];
  if (dladdr((void *)&load_real, &self) == 0 || self.dli_fname == NULL) return;
  snprintf(path, sizeof path, "%s", self.dli_fname);
  char *slash = strrchr(path, '/');
  if (slash == NULL) return;
  snprintf(slash + 1, sizeof path - (size_t)(slash + 1 - path), "Veltamo-real.wdx");
  void *m = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (m == NULL) {
    fprintf(stderr, "call_recorder: cannot load %s: %s\n", path, dlerror());
    return;
  }
  *(void **)&real.detect = need(m, "ContentGetDetectString");
  *(void **)&real.field = need(m, "ContentGetSupportedField");
  *(void **)&real.sortOrder = need(m, "ContentGetDefaultSortOrder");
  *(void **)&real.valueW = need(m, "ContentGetValueW");
  *(void **)&real.value = need(m, "ContentGetValue");
  *(void **)&real.params = need(m, "ContentSetDefaultParams");
  *(void **)&real.unloading = need(m, "ContentPluginUnloading");
  *(void **)&real.stateW = need(m, "ContentSendStateInformationW");
  *(void **)&real.state = need(m, "ContentSendStateInformation");
  *(void **)&real.stopW = need(m, "ContentStopGetValueW");
  *(void **)&real.stop = need(m, "ContentStopGetValue");
  const char *log = getenv("VELTAMO_DC_CALL_LOG");
  if (log != NULL && *log != '\0')
    logFd = open(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
}

static double now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

static void record(double start, char kind, int field, int unit, int flags, int result,
                   const char *name) {
  if (logFd < 0) return;
  char line[1400];
  int n = snprintf(line, sizeof line, "%.6f %.6f %c %d %d %d %d %s\n", start, now(), kind,
                   field, unit, flags, result, name);
  if (n < 0) return;
  if ((size_t)n >= sizeof line) {
    n = (int)sizeof line - 1;
    line[n - 1] = '\n';
  }
  ssize_t written = write(logFd, line, (size_t)n);
  (void)written;
}

EXPORT int ContentGetValue(char *fileName, int field, int unit, void *value, int maxLength,
                           int flags) {
  double start = now();
  int result = real.value ? real.value(fileName, field, unit, value, maxLength, flags) : -1;
  record(start, 'A', field, unit, flags, result, fileName ? fileName : "");
  return result;
}

EXPORT int ContentGetValueW(WideChar *fileName, int field, int unit, void *value,
                            int maxLength, int flags) {
  double start = now();
  int result = real.valueW ? real.valueW(fileName, field, unit, value, maxLength, flags) : -1;
  char name[1024];
  size_t i = 0;
  for (; fileName && fileName[i] != 0 && i < sizeof name - 1; i++)
    name[i] = fileName[i] < 0x80 ? (char)fileName[i] : '?';
  name[i] = '\0';
  record(start, 'W', field, unit, flags, result, name);
  return result;
}

EXPORT int ContentGetDetectString(char *buffer, int maxLength) {
  return real.detect ? real.detect(buffer, maxLength) : 0;
}

EXPORT int ContentGetSupportedField(int index, char *name, char *units, int maxLength) {
  return real.field ? real.field(index, name, units, maxLength) : 0;
}

EXPORT int ContentGetDefaultSortOrder(int index) {
  return real.sortOrder ? real.sortOrder(index) : 1;
}

EXPORT void ContentSetDefaultParams(struct DefaultParams *dps) {
  if (real.params) real.params(dps);
}

EXPORT void ContentPluginUnloading(void) {
  if (real.unloading) real.unloading();
}

EXPORT void ContentSendStateInformationW(int state, WideChar *path) {
  if (real.stateW) real.stateW(state, path);
}

EXPORT void ContentSendStateInformation(int state, char *path) {
  if (real.state) real.state(state, path);
}

EXPORT void ContentStopGetValueW(WideChar *fileName) {
  if (real.stopW) real.stopW(fileName);
}

EXPORT void ContentStopGetValue(char *fileName) {
  if (real.stop) real.stop(fileName);
}
