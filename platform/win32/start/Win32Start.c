/* The setup program's start-up, in place of the C runtime's (built as the crt2.o that the
   compiler driver links first, so that the rest of the link stays as it was). The runtime's
   own start-up code is some 5 KB that this program does not use: pseudo-relocations for data
   imported from libraries (the link layout refuses any), a handler that turns a crash into a
   signal, floating-point error hooks, and a TLS directory whose callbacks initialise
   thread-local data, of which this program has none (nothing in it is thread_local, and it
   runs one thread): without a reference from here the linker writes no directory, and the
   runtime's callbacks and their tables stay out (512 bytes). What the program relies on stays
   as it was: msvcrt reads the command line into argc and argv (without wildcard expansion, as
   before), the static constructors run at the top of main (GCC calls __main there, which also
   registers the destructors with atexit), and main's result is the exit code, through exit,
   which runs those destructors and flushes the standard streams first. C, because C++ may not
   call main. */

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

enum { START_CONSOLE_APP = 1, START_NO_WILDCARDS = 0, START_NO_ARGUMENTS = 255 };

typedef int(__cdecl* OnExit)(void);
OnExit __cdecl _onexit(OnExit function);

/* The program's own atexit, as the runtime's start-up has it: the compiler's start files take
   its address, which for msvcrt's atexit would need a pseudo-relocation at start-up. */
int __cdecl atexit(void (*function)(void)) {
    return _onexit((OnExit)function) != NULL ? 0 : -1;
}

/* The linker calls for it; the link layout makes sure that there is nothing to relocate. */
void _pei386_runtime_relocator(void) {}

void mainCRTStartup(void) {
    int argc = 0;
    char** argv = NULL;
    char** environment = NULL;
    struct StartupInfo info = {0};
    __set_app_type(START_CONSOLE_APP);
    _fpreset();
    if (__getmainargs(&argc, &argv, &environment, START_NO_WILDCARDS, &info) < 0) {
        /* No memory for the arguments: the runtime's start-up ends with 255 as well. */
        exit(START_NO_ARGUMENTS);
    }
    exit(main(argc, argv));
}
