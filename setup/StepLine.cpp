#include "setup/StepLine.h"

#include "platform/Format.h"

std::string StepLine(const char* step, Win32Error error) {
    return step + (error == WIN_OK ? std::string(" Success !!!\r\n")
                                   : Format(" Failed, error %d !!!\r\n", error));
}

std::string NoteLine(const std::string& what, const char* why) {
    return what + ": " + why + " !!!\r\n";
}
