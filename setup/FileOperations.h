#pragma once

#include <string>
#include <vector>

#include "platform/Platform.h"

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
    Win32Error EnsureDirectory(const std::string& path);
    // Each folder with everything in it, when it exists (0 when there was nothing to delete).
    Win32Error DeleteProgramDirectory();
    Win32Error DeleteTempDirectory();
    // Every extracted file into the program folder, then the images into their folder.
    Win32Error MoveFilesIntoPlace();

    // An upgrade keeps the old program folder, renamed into the temporary folder, until the new
    // files are in place (0 also when there is none to set aside).
    Win32Error SetAsideProgramDirectory();
    bool HasSetAside();
    // The new files out, the old folder back. A rename back that is refused is done by moving
    // the old files over what is left, or by copying them.
    Win32Error RestoreProgramDirectory();
    // The new files are in place: the old folder is marked for deletion in one step (or deleted
    // at once), and goes with the temporary folder.
    Win32Error RetireSetAside();

    // Windows' own MOF compiler on a script, through the command processor, by its full path so
    // that no mofcomp.exe found first elsewhere (the current folder, say) runs elevated. The
    // command processor's result; -1 when the command cannot be made.
    int CompileMof(const std::string& script);
    // Starts the program and waits for its end, however long; false when it cannot start.
    bool RunAndWait(const std::string& file, const std::string& parameters);
    // The programs and scripts only setup needs, out of the program folder.
    void DeleteSetupTools();
    // What the runtime's installer leaves at the roots of C:, D: and E:, but only what appeared
    // after RunAndWait started it: older files of those names belong to someone else.
    void SweepRedistLeftovers();

private:
    Win32Error CreateWithParents(const std::string& path);
    Win32Error DeleteIfPresent(const char* path);
    Win32Error CopyTree(const std::string& from, const std::string& to);
    Win32Error CopyFile(const std::string& from, const std::string& to);
    std::vector<std::string> RedistLeftovers();
    std::vector<std::string> NewMatches(const std::string& pattern);

    Platform& m_platform;
    std::vector<std::string> m_redistBaseline;  // RedistLeftovers() as RunAndWait started
    bool m_redistBaselineTaken = false;
};
