#pragma once

#include "text/StringType.h"
#include <vector>

#include "platform/Platform.h"

// Milliseconds between the checks for a folder just made.
inline constexpr unsigned DIRECTORY_WAIT_PAUSE = 123;

// What became of what a removal could not delete now.
enum class Leftover {
    None,       // nothing is left
    AtRestart,  // moved out of the way, and deleted when the machine next starts
    Stays,      // moved out of the way, but its deletion at the restart could not be arranged
    // Not setup's own (an ordinary user's, or a link): never handed to the restart, whose
    // deletion runs as SYSTEM by name; moved aside when it could be, else left at its path.
    SomeoneElses,
};

// What a removal did: its error (0 when the path is gone from its place, or was never there),
// what became of what could not be deleted now, and where that is now (moved out of the way, or
// left at its path).
struct Removal {
    Win32Error error = WIN_OK;
    Leftover leftover = Leftover::None;
    String leftAt;
};

// A private folder a run made (the temporary folder it extracts to, say): its creation's error,
// what was cleared from the usual path first, where the folder is, and whether someone else's
// folder at the usual path made setup use one of its own instead.
struct TempFolder {
    Win32Error error = WIN_OK;
    Removal cleared;
    String path;
    bool substitute = false;
};

// A run log line naming what a removal could not delete now and what became of it (gone at the
// next restart, left for a person, or someone else's and left alone); "" when everything went.
String LeftoverLine(const Removal& removal);
// The path of `name` in `folder`.
String PathIn(TextRef folder, const char* name);
// The names something moved out of the way beside `base` tries in turn (number 1 to
// SETUP_FREE_NAME_SUFFIXES): base itself, then base.2 ... base.9.
String AsideName(TextRef base, int number);

// A name part that differs from run to run and from attempt to attempt (eight hex digits), for
// what setup creates exclusively where others may have taken the names it could guess: the
// seed comes from FreshSeed once per search, each attempt gives another suffix.
std::uint64_t FreshSeed(Clock& clock);
String UnguessableSuffix(std::uint64_t seed, int attempt);

// A file that another program holds open so that it cannot be deleted, or that could not be
// checked: the error of its open for deletion, and its path.
struct FileInUse {
    Win32Error error = WIN_OK;
    String path;
};
// The run log line for it: "held open by another program" only for a sharing or lock violation;
// any other error is named as what it is ("cannot be checked, error 5").
String InUseLine(const FileInUse& inUse);

// The install's and the uninstall's work on folders and files, and the one program the install
// starts. Each returns what it did (a Win32 error, 0 for success); what a failure means is the
// sequence's to decide.
class FileOperations {
public:
    explicit FileOperations(Platform& platform);

    // Creates the folder (and any missing one on its way) when it is missing, then waits for it
    // to show: nine checks 123 ms apart, the first after one pause even for a folder that was
    // there. When it never shows: the creation's error, or WIN_PATH_NOT_FOUND. A link planted at
    // the path is removed as a link first, never written through.
    Win32Error EnsureDirectory(TextRef path);
    // Clears the usual path and makes a folder there afresh, private to administrators. When what
    // is there is someone else's and can be neither removed nor moved aside, a private folder of a
    // fresh name beside it (created exclusively, so nothing planted is taken over) is made
    // instead: an ordinary user's folder cannot stop a run.
    TempFolder MakePrivateFolder(TextRef usual);
    // The same for the temporary folder; TempDirectory() names it from then on.
    TempFolder MakeTempDirectory();
    // The folder the payload is extracted to: C:\ZIL_Setup_temp unless MakeTempDirectory had to
    // make another.
    const String& TempDirectory() const { return m_tempDirectory; }
    // Each folder with everything in it, when it exists. What cannot be deleted now (a file held
    // open) is renamed out of the way beside it and deleted at the next restart, so that no
    // leftover keeps a later run from working; what is not setup's own never is (Leftover).
    Removal DeleteProgramDirectory();
    Removal DeleteTempDirectory();
    // The same for any path, a link removed as a link.
    Removal RemoveOrRetire(TextRef path);
    // Every extracted file into the program folder, then the images into their folder.
    Win32Error MoveFilesIntoPlace();
    // The first file below the folder that cannot be deleted now because another program holds
    // it, or that cannot be checked (error 0 when there is none): replacing such a folder would
    // break that program. A folder that is a link, at the top or below, is not read through.
    FileInUse FirstFileInUse(TextRef folder);
    // A name beside `base` that nothing has: base itself, else base.2 ... base.9; empty when
    // all are taken.
    String FreeName(TextRef base);
    // A folder set aside moves back to where it was; when renames are refused, its files are
    // copied back and the folder goes once they are.
    Win32Error MoveBack(const String& setAside, const String& folder);

    // One file's bytes into a new file (or over an old one; a link there is removed, not
    // followed).
    Win32Error CopyFile(TextRef from, TextRef to);
    // The setup program's own file, as it was opened at start-up (FileSystem::ownImage), into a
    // new file (or over an old one, as CopyFile): never the path again, where another file may
    // have been put since.
    Win32Error KeepOwnImage(TextRef to);

    // Windows' own MOF compiler on a script, through the command processor, by its full path so
    // that no mofcomp.exe found first elsewhere (the current folder, say) runs elevated. A script
    // named in the usual temporary folder is taken from the one this run made. The command
    // processor's result; -1 when the command cannot be made.
    int CompileMof(const String& script);
    // Starts the program and waits for its end, however long; false when it cannot start.
    bool RunAndWait(const String& file, const String& parameters);
    // The same, with the exit code the program ended with.
    bool RunAndWait(const String& file, const String& parameters, std::uint32_t& exitCode);
    // The programs and scripts only setup needs, out of the program folder.
    void DeleteSetupTools();
    // What the runtime's installer leaves at the roots of C:, D: and E:, but only what appeared
    // after RunAndWait started it: older files of those names belong to someone else.
    void SweepRedistLeftovers();

private:
    Removal DeleteIfPresent(TextRef path);
    Removal Retire(const String& path, Win32Error error);
    Removal SetAside(const String& path, Win32Error error);
    // Renames what is at the path to a free name beside it: that name, "" when it could not move.
    String MoveAside(const String& path);
    bool IsSetupsOwn(const String& path);
    Win32Error MakeSubstituteFolder(TextRef usual, String& made);
    String InTempDirectory(const String& path) const;
    Win32Error CopyTree(const String& from, const String& to);
    std::vector<String> RedistLeftovers();
    std::vector<String> NewMatches(const String& pattern);

    Platform& m_platform;
    String m_tempDirectory;
    std::vector<String> m_redistBaseline;  // RedistLeftovers() as RunAndWait started
    bool m_redistBaselineTaken = false;
};
