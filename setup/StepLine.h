#pragma once

#include <string>

#include "platform/Format.h"
#include "platform/Win32Error.h"

// A run log line that tells a step's outcome: "<step> Success !!!" or "<step> Failed, error N
// !!!".
inline std::string StepLine(const char* step, Win32Error error) {
    return step + (error == WIN_OK ? std::string(" Success !!!\r\n")
                                   : Format(" Failed, error %d !!!\r\n", error));
}

// A run log line that names what setup found but left alone, or moved out of the way.
inline std::string NoteLine(const std::string& what, const char* why) {
    return what + ": " + why + " !!!\r\n";
}
