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

    // Creates the folder when it is missing, then waits for it to show: nine checks 123 ms apart,
    // the first after one pause even for a folder that was there. WIN_PATH_NOT_FOUND when it
    // never showed.
    Win32Error EnsureDirectory(const std::string& path);
    // Each folder with everything in it, when it exists (0 when there was nothing to delete).
    Win32Error DeleteProgramDirectory();
    Win32Error DeleteTempDirectory();
    // Every extracted file into the program folder, then the images into their folder.
    Win32Error MoveFilesIntoPlace();
    // Starts the program and waits for its end, however long; false when it cannot start.
    bool RunAndWait(const std::string& file, const std::string& parameters);
    // The programs and scripts only setup needs, out of the program folder.
    void DeleteSetupTools();
    // What the runtime's installer leaves at the roots of C:, D: and E:, but only what appeared
    // after RunAndWait started it: older files of those names belong to someone else.
    void SweepRedistLeftovers();

private:
    std::vector<std::string> RedistLeftovers();
    std::vector<std::string> NewMatches(const std::string& pattern);

    Platform& m_platform;
    std::vector<std::string> m_redistBaseline;  // RedistLeftovers() as RunAndWait started
    bool m_redistBaselineTaken = false;
};
