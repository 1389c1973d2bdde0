/* The setup program's start-up, in place of the C runtime's (built as the crt2.o that the
   compiler driver links first, so that the rest of the link stays as it was). The runtime's
   own start-up code is some 5 KB that this program does not use: pseudo-relocations for data
   imported from libraries (the link layout refuses any), a handler that turns a crash into a
   signal, floating-point error hooks. What the program
   relies on stays as it was: msvcrt reads the command line into argc and argv (without wildcard
   expansion, as before), the static constructors run at the top of main (GCC calls __main there,
   which also registers the destructors with atexit), and main's result is the exit code, through
   exit, which runs those destructors and flushes the standard streams first. The TLS directory
   stays. C, because C++ may not call main. */

#include <stdlib.h>

struct StartupInfo {
    int newMode;
};

/* msvcrt.dll's start-up interface, which the C runtime's headers do not declare. */
int __cdecl __getmainargs(int* argc, char*** argv, char*** environment, int expandWildcards,
                          struct StartupInfo* info);
void __cdecl __set_app_type(int type);
void __cdecl _fpreset(void);

int main(int argc, char** argv);

/* The TLS directory, which the linker writes into the image only when something refers to it. */
extern const char _tls_used[];

enum { START_CONSOLE_APP = 1, START_NO_WILDCARDS = 0, START_NO_ARGUMENTS = 255 };

typedef int(__cdecl* OnExit)(void);
OnExit __cdecl _onexit(OnExit function);

/* The program's own atexit, as the runtime's start-up has it: the compiler's start files take
   its address, which for msvcrt's atexit would need a pseudo-relocation at start-up. */
int __cdecl atexit(void (*function)(void)) {
    return _onexit((OnExit)function) != NULL ? 0 : -1;
}

/* The runtime's TLS callback, which the TLS directory's own callback calls as threads and the
   process start and end: it runs the destructors that threads registered for their keys. This
   program runs one thread and registers none, so there is nothing to run; the runtime's version
   would bring its key list, a critical section and their five imports. */
int __mingw_TLScallback(void* module, unsigned long reason, void* reserved) {
    (void)module;
    (void)reason;
    (void)reserved;
    return 1;
}

/* The linker calls for it; the link layout makes sure that there is nothing to relocate. */
void _pei386_runtime_relocator(void) {}

void mainCRTStartup(void) {
    int argc = 0;
    char** argv = NULL;
    char** environment = NULL;
    struct StartupInfo info = {0};
    (void)*(volatile const char*)_tls_used;
    __set_app_type(START_CONSOLE_APP);
    _fpreset();
    if (__getmainargs(&argc, &argv, &environment, START_NO_WILDCARDS, &info) < 0) {
        /* No memory for the arguments: the runtime's start-up ends with 255 as well. */
        exit(START_NO_ARGUMENTS);
    }
    exit(main(argc, argv));
}
