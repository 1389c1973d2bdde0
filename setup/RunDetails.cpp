#include "setup/RunDetails.h"

#include "text/Format.h"
#include "res/ProductVersion.h"
#include "res/resource.h"
#include "sfx/ExtractCodes.h"

namespace {

// Two blanks in front of every line of the section, and never three exclamation marks, which
// end the run log's own lines.
void AppendLine(String& section, const String& line) {
    section += "  ";
    for (char c : line) {
        if (c != '!' || !section.ends_with("!!")) {
            section += c;
        }
    }
    section += "\r\n";
}

}  // namespace

RunDetails::RunDetails(SystemInfo& system, Clock& clock)
    : m_system(system),
      m_clock(clock),
      m_start(clock.now()),
      m_program("version " + system.programVersion()),
      m_windows(WindowsLine()),
      m_elevated(system.processElevated()) {
    AppendFormat(m_program, ", %d bytes", system.programFileSize());
    m_program += ", installs " ZIL_PRODUCT_NAME " " ZIL_PRODUCT_VERSION;
}

void RunDetails::Restart() {
    m_start = m_clock.now();
    m_steps.clear();
}

void RunDetails::SetArchive(int result, const String& fault, int entries,
                            const ArchiveExtent& extent) {
    if (result != SFX_OK) {
        FormatTo(m_archive, "not read, result %d: ", result);
        m_archive += fault;
        return;
    }
    FormatTo(m_archive, "%d entries, ends at byte %d", entries, extent.end);
    if (!extent.hasCertificateTable) {
        m_archive += ", the end of the file (unsigned)";
    } else if (extent.tableEndsFile) {
        AppendFormat(m_archive, ", in front of a certificate table of %d bytes (signed)",
                     extent.tableSize);
    } else {
        m_archive += ", the end of the file (the program was signed before it was packed)";
    }
}

void RunDetails::Step(const char* name, Win32Error error) {
    StepAt(m_clock.now(), name, error, String());
}

void RunDetails::StepAt(std::uint64_t at, const char* name, Win32Error error,
                        const String& failure) {
    if (!failure.empty()) {
        Record(name, failure, at);
    } else {
        Record(name, error == WIN_OK ? "ok" : ErrorInWords(error), at);
    }
}

String RunDetails::ErrorInWords(Win32Error error) const {
    String text = m_system.errorText(error);
    if (text.empty()) {
        text = "(no text for this number)";
    }
    return Format("error %d: ", error) + text;
}

void RunDetails::NoteLog(const String& note) {
    AppendLine(m_logNotes, "log: " + note);
}

void RunDetails::Record(const char* name, const String& outcome, std::uint64_t at) {
    String line = Format("%d", at - m_start);
    line.insert(0, line.size() < 8 ? 8 - line.size() : 0, ' ');
    line += "  ";
    line += name;
    line += ": ";
    line += outcome;
    AppendLine(m_steps, line);
}

void RunDetails::WaitsForRestart(const String& what) {
    Record("Waits For The Next Restart", what, m_clock.now());
}

void RunDetails::NoLongerWaitsForRestart(const String& what) {
    Record("No Longer Waits For The Next Restart", what, m_clock.now());
}

String RunDetails::WindowsLine() const {
    WindowsVersion version = m_system.windowsVersion();
    String line = Format("%d.%d.%d on ", version.major, version.minor, version.build);
    line += version.machine.empty() ? "an unknown machine" : version.machine.c_str();
    if (version.wow64) {
        line += ", this 32-bit program under WOW64";
    }
    return line;
}

void RunDetails::AppendTo(String& text) const {
    text += "Details:\r\n";
    AppendLine(text, "setup program: " + m_program);
    AppendLine(text, "archive: " + m_archive);
    AppendLine(text, "Windows: " + m_windows);
    AppendLine(text, m_elevated ? "elevated: yes" : "elevated: no");
    text += m_logNotes;
    AppendLine(text, m_steps.empty() ? "steps: none" : "steps (milliseconds since the start):");
    text += m_steps;
}
