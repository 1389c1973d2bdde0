#pragma once

#include "StringType.h"
#include <vector>

#include "platform/Platform.h"

// Milliseconds between the checks for a folder just made.
inline constexpr unsigned DIRECTORY_WAIT_PAUSE = 123;

// What a removal did: its error (0 when the path is gone from its place, or was never there),
// and where what could not be deleted now was moved to wait for the next restart.
struct Removal {
    Win32Error error = WIN_OK;
    String retiredTo;
};

// A file that another program holds open so that it cannot be deleted.
struct FileInUse {
    Win32Error error = WIN_OK;
    String path;
};

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
    Win32Error EnsureDirectory(const String& path);
    // Each folder with everything in it, when it exists. What cannot be deleted now (a file held
    // open) is renamed out of the way beside it and deleted at the next restart, so that no
    // leftover keeps a later run from working.
    Removal DeleteProgramDirectory();
    Removal DeleteTempDirectory();
    // The same for any path, a link removed as a link.
    Removal RemoveOrRetire(const String& path);
    // Every extracted file into the program folder, then the images into their folder.
    Win32Error MoveFilesIntoPlace();
    // The first file below the folder that cannot be deleted now because another program holds
    // it (error 0 when there is none): replacing such a folder would break that program.
    FileInUse FirstFileInUse(const String& folder);
    // A name beside `base` that nothing has: base itself, else base.2 ... base.9; empty when
    // all are taken.
    String FreeName(const String& base);
    // A folder set aside moves back to where it was; when renames are refused, its files are
    // copied back and the folder goes once they are.
    Win32Error MoveBack(const String& setAside, const String& folder);

    // Windows' own MOF compiler on a script, through the command processor, by its full path so
    // that no mofcomp.exe found first elsewhere (the current folder, say) runs elevated. The
    // command processor's result; -1 when the command cannot be made.
    int CompileMof(const String& script);
    // Starts the program and waits for its end, however long; false when it cannot start.
    bool RunAndWait(const String& file, const String& parameters);
    // The programs and scripts only setup needs, out of the program folder.
    void DeleteSetupTools();
    // What the runtime's installer leaves at the roots of C:, D: and E:, but only what appeared
    // after RunAndWait started it: older files of those names belong to someone else.
    void SweepRedistLeftovers();

private:
    Removal DeleteIfPresent(const char* path);
    Removal Retire(const String& path, Win32Error error);
    Win32Error CopyTree(const String& from, const String& to);
    Win32Error CopyFile(const String& from, const String& to);
    std::vector<String> RedistLeftovers();
    std::vector<String> NewMatches(const String& pattern);

    Platform& m_platform;
    std::vector<String> m_redistBaseline;  // RedistLeftovers() as RunAndWait started
    bool m_redistBaselineTaken = false;
};
