/* alloc_count: a tally of heap allocations, from every library in the
 * process (the game, SDL, the C and C++ libraries alike), kept only while
 * counting is switched on. */
#ifndef TUMBRIK_ALLOC_COUNT_H
#define TUMBRIK_ALLOC_COUNT_H

/* Start a fresh tally; stop it and get the number of allocations since. */
void startCounting();
long stopCounting();

/* 1 when an allocation made on purpose under counting is seen, through
 * both malloc and operator new; 0 means the tally cannot be trusted. */
int counterWorks();

/* Print where the first allocation of the last tally came from (library
 * and nearest symbol, or a stack under AddressSanitizer) to stderr. */
void printFirstAllocationSite();

#endif
