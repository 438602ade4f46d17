// Included before every source in the MSVC-mode parse: what MSVC's runtime marks deprecated (C4996,
// an error under /WX), so that the parse rejects it as MSVC would. Declared before the C headers, so
// that the std:: names carry the attribute too. (The parse defines no _MSC_VER, so GNU builtins in a
// branch for other compilers cannot be told from MSVC's: only the runner sees those.)
#pragma once
#define LUMORA_C4996(text) __attribute__((deprecated(text)))
extern "C" {
struct _iobuf;
char* getenv(const char*) LUMORA_C4996("MSVC: use _dupenv_s");
char* strerror(int) LUMORA_C4996("MSVC: use strerror_s");
struct _iobuf* fopen(const char*, const char*) LUMORA_C4996("MSVC: use fopen_s");
char* strcpy(char*, const char*) LUMORA_C4996("MSVC: use strcpy_s");
char* strncpy(char*, const char*, __SIZE_TYPE__) LUMORA_C4996("MSVC: use strncpy_s");
char* strcat(char*, const char*) LUMORA_C4996("MSVC: use strcat_s");
char* strtok(char*, const char*) LUMORA_C4996("MSVC: use strtok_s");
char* strdup(const char*) LUMORA_C4996("MSVC: POSIX name");
int fileno(struct _iobuf*) LUMORA_C4996("MSVC: POSIX name");
int isatty(int) LUMORA_C4996("MSVC: POSIX name");
}
