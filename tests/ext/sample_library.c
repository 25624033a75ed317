/* A shared library of the kind games call through extensions and external_define: functions of reals and
 * strings, with enough arguments that some travel on the stack, and a counter for initialisation and final
 * functions. */
#include <pthread.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static char g_text[256];
static double g_calls = 0;

double sample_add(double a, double b) {
    return a + b;
}

const char* sample_join(const char* a, const char* b) {
    snprintf(g_text, sizeof g_text, "%s+%s", a, b);
    return g_text;
}

/* Each argument weighted by its position, so that an argument in the wrong place changes the sum. */
double sample_reals16(double a0, double a1, double a2, double a3, double a4, double a5, double a6, double a7,
                      double a8, double a9, double a10, double a11, double a12, double a13, double a14, double a15) {
    const double a[16] = {a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15};
    double sum = 0;
    for (int i = 0; i < 16; ++i)
        sum += a[i] * (i + 1);
    return sum;
}

/* The first character of each text, in argument order. */
const char* sample_strings16(const char* s0, const char* s1, const char* s2, const char* s3, const char* s4,
                             const char* s5, const char* s6, const char* s7, const char* s8, const char* s9,
                             const char* s10, const char* s11, const char* s12, const char* s13, const char* s14,
                             const char* s15) {
    const char* s[16] = {s0, s1, s2, s3, s4, s5, s6, s7, s8, s9, s10, s11, s12, s13, s14, s15};
    for (int i = 0; i < 16; ++i)
        g_text[i] = s[i][0] ? s[i][0] : '_';
    g_text[16] = '\0';
    return g_text;
}

/* Reals and texts taking turns: the reals weighted by position, the texts' lengths by 1000 times it. */
double sample_mixed16(double a0, const char* s1, double a2, const char* s3, double a4, const char* s5, double a6,
                      const char* s7, double a8, const char* s9, double a10, const char* s11, double a12,
                      const char* s13, double a14, const char* s15) {
    const double a[8] = {a0, a2, a4, a6, a8, a10, a12, a14};
    const char* s[8] = {s1, s3, s5, s7, s9, s11, s13, s15};
    double sum = 0;
    for (int i = 0; i < 8; ++i)
        sum += a[i] * (2 * i + 1) + 1000.0 * (double)strlen(s[i]) * (2 * i + 2);
    return sum;
}

const char* sample_nothing(void) {
    return NULL;
}

double sample_count(void) {
    return ++g_calls;
}

double sample_calls(void) {
    return g_calls;
}

/* Ends the process, as a library may, having written to standard output a text without an end of line
 * (which stays in the output's buffer until something flushes it). */
double sample_exit(double code) {
    printf("the library's last words");
    exit((int)code);
}

static int g_exitCode;
static long g_exitDelay;

static void* ExitLater(void* unused) {
    struct timespec delay = {g_exitDelay / 1000, (g_exitDelay % 1000) * 1000000L};
    (void)unused;
    nanosleep(&delay, NULL);
    printf("the library thread's last words");
    exit(g_exitCode);
}

/* Starts a thread of the library's own that ends the process with the code, as sample_exit does, once
 * milliseconds have passed; 1 when the thread started. */
double sample_exit_later(double code, double milliseconds) {
    pthread_t thread;
    g_exitCode = (int)code;
    g_exitDelay = (long)milliseconds;
    return pthread_create(&thread, NULL, ExitLater, NULL) == 0 ? 1 : 0;
}

static char g_watchedFile[1024];
static char g_awaitedText[256];

/* Whether the file holds the text. */
static int FileHolds(const char* path, const char* text) {
    static char content[1 << 16];
    FILE* file = fopen(path, "rb");
    size_t length;
    if (!file) return 0;
    length = fread(content, 1, sizeof content - 1, file);
    fclose(file);
    content[length] = '\0';
    return strstr(content, text) != NULL;
}

static void* ExitOnText(void* unused) {
    const struct timespec pause = {0, 5 * 1000000L};
    (void)unused;
    while (!FileHolds(g_watchedFile, g_awaitedText))
        nanosleep(&pause, NULL);
    printf("the library thread's last words");
    exit(g_exitCode);
}

/* Starts a thread of the library's own that ends the process with the code, as sample_exit does, once the
 * file (its first 64 KB) holds the text, looked for every 5 milliseconds; 1 when the thread started. */
double sample_exit_on_text(double code, const char* file, const char* text) {
    pthread_t thread;
    g_exitCode = (int)code;
    snprintf(g_watchedFile, sizeof g_watchedFile, "%s", file);
    snprintf(g_awaitedText, sizeof g_awaitedText, "%s", text);
    return pthread_create(&thread, NULL, ExitOnText, NULL) == 0 ? 1 : 0;
}
