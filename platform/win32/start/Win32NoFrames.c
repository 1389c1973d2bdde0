/* Built as the crtbegin.o and crtend.o that the compiler driver links around the program, in
   place of the compiler's own. Those register the program's DWARF unwind frames at start-up,
   looking for the compiler's runtime DLL by name to do it; the setup program throws no
   exceptions and its layout drops the frames, so there is nothing to register. */
typedef int NothingToRegister;
