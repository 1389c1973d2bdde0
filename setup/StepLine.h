#pragma once

#include "text/StringType.h"

#include "platform/Win32Error.h"
#include "text/TextRef.h"

// What ends a run at a failed step, in the log and in the dialog's box: "<step> Failed, error N".
String FailureText(const char* step, Win32Error error);

// A run log line that tells a step's outcome: "<step> Success !!!" or "<step> Failed, error N
// !!!".
String StepLine(const char* step, Win32Error error);

// A run log line that names what setup found but left alone, or moved out of the way.
String NoteLine(TextRef what, const char* why);
// One that names what setup could not do with it, and the error: "<what>: <why>, error N !!!".
String NoteLine(TextRef what, const char* why, Win32Error error);
