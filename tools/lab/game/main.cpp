#include <cstdio>
#include <unistd.h>

// A game that does nothing but wait: what the lab's block list stops.
int main() {
    std::puts("Lab game: playing.");
    std::fflush(stdout);
    for (;;)
        ::pause();
}
