// A Console whose two streams land in memory files, for unit tests of the
// functions that print.
#pragma once

#include <string>

#include "platform/console.h"

class CapturedConsole {
public:
    CapturedConsole();
    ~CapturedConsole();
    CapturedConsole(const CapturedConsole&) = delete;
    CapturedConsole& operator=(const CapturedConsole&) = delete;

    Console& console() { return console_; }
    std::string out();  // flushes the output buffer first
    std::string err();

private:
    Console console_;
};
