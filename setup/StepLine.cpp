#include "setup/StepLine.h"

#include "text/Format.h"

String FailureText(const char* step, Win32Error error) {
    return Format(" Failed, error %d", error).insert(0, step);
}

String StepLine(const char* step, Win32Error error) {
    return error == WIN_OK ? String(step) + " Success !!!\r\n"
                           : FailureText(step, error) + " !!!\r\n";
}

namespace {

// What a note names and why, before the line's end.
String NoteStart(TextRef what, const char* why) {
    String line = what.c_str();
    line += ": ";
    line += why;
    return line;
}

}  // namespace

String NoteLine(TextRef what, const char* why) {
    String line = NoteStart(what, why);
    line += " !!!\r\n";
    return line;
}

String NoteLine(TextRef what, const char* why, Win32Error error) {
    String line = NoteStart(what, why);
    AppendFormat(line, ", error %d !!!\r\n", error);
    return line;
}
