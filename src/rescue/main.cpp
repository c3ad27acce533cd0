// unrms-rescue [-j N] [-f] [-n] [-q] -o OUTDIR PATH...: every file under the
// PATHs converted into a tree under OUTDIR, with a manifest of each.
#include "platform/console.h"
#include "rescue/rescue_command.h"

int main(int argc, char** argv) {
    Console console;
    console_open(console, 1, 2);
    return run_rescue(argc, argv, console);
}
