#include "setup/StepLine.h"

#include "platform/Format.h"

String StepLine(const char* step, Win32Error error) {
    return step + (error == WIN_OK ? String(" Success !!!\r\n")
                                   : Format(" Failed, error %d !!!\r\n", error));
}

String NoteLine(const String& what, const char* why) {
    return what + ": " + why + " !!!\r\n";
}
