// Stands in for the memory checker library on a simulated board: preloading it into a program
// leaves a line in the board's journal, so tests can see which process was checked.
#include <fcntl.h>
#include <unistd.h>

__attribute__((constructor)) static void announce() {
    const int journal = open("/sim/journal.log", O_WRONLY | O_APPEND | O_CLOEXEC);
    if (journal >= 0) {
        static const char line[] = "libduma\n";
        const ssize_t written = write(journal, line, sizeof line - 1);
        static_cast<void>(written);
        close(journal);
    }
}
