#pragma once
// Phase marks of a run, for the benchmark build only. Built with
// SETUP_PHASE_TIMES defined, each mark appends a line "NAME HIGH LOW" (the
// two halves of the system clock, in 100 ns units) to the file named by the
// environment variable SETUP_PHASE_LOG; the first mark also writes the process's own
// creation time as "process". Without the definition (the product) a mark is
// nothing at all: no file, no call, no byte.
#ifdef SETUP_PHASE_TIMES
void markPhase(const char* name);
#else
inline void markPhase(const char*) {}
#endif
