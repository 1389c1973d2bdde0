#include "setup/StepLine.h"

#include "text/Format.h"

String FailureText(const char* step, Win32Error error) {
    return Format(" Failed, error %d", error).insert(0, step);
}

String StepLine(const char* step, Win32Error error) {
    return error == WIN_OK ? String(step) + " Success !!!\r\n"
                           : FailureText(step, error) + " !!!\r\n";
}

String NoteLine(TextRef what, const char* why) {
    String line = what.c_str();
    line += ": ";
    line += why;
    line += " !!!\r\n";
    return line;
}
