#include "driver/driver.h"
#include "platform/console.h"

int main(int argc, char** argv) {
    Console console;
    console_open(console, 1, 2);
    return run_unrms(argc, argv, console);
}
