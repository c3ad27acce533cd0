// unrms-probe [-v] FILE...: the attributes each file most likely had, as the
// assignments unrms -a reads.
#include "platform/console.h"
#include "probe/probe_command.h"

int main(int argc, char** argv) {
    Console console;
    console_open(console, 1, 2);
    return run_probe(argc, argv, console);
}
