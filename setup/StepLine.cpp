#include "setup/StepLine.h"

#include "text/Format.h"

String FailureText(const char* step, Win32Error error) {
    return Format(" Failed, error %d", error).insert(0, step);
}

String StepLine(const char* step, Win32Error error) {
    return error == WIN_OK ? String(step) + " Success !!!\r\n"
                           : FailureText(step, error) + " !!!\r\n";
}

String NoteLine(const String& what, const char* why) {
    return what + ": " + why + " !!!\r\n";
}
