#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/OwnImage.h"
#include "platform/sim/SimMachine.h"

// The file system of the simulated machine: Windows paths on drives C:, D:, E: mapped below
// the machine's folder (SimMachine::hostPath). Folder creation, file removal and the shell's
// moves and deletes are journaled with their outcome. The running setup program is the one file
// outside the machine that may be opened, for reading only: it carries the archive.
class SimFileSystem : public FileSystem {
public:
    explicit SimFileSystem(SimMachine& machine);

    // A file that $ZIL_MACHINE/held-open.txt names is held open by another program: it cannot be
    // opened for its deletion (WIN_SHARING_VIOLATION). What $ZIL_MACHINE/undeletable.txt names
    // (an ordinary user's folder whose access list keeps administrators out, say) can be
    // neither deleted nor emptied, and what unmovable.txt names not renamed (WIN_ACCESS_DENIED),
    // nor anything in it, nor a folder that holds it. A link that listed-as-folders.txt names
    // is listed as a folder (its pathInfo still tells a link), and the shell's delete goes into
    // it as into one, deleting what it points at: a listing that cannot be taken at its word.
    Win32Error open(TextRef path, FileMode mode, std::unique_ptr<File>& file) override;
    Win32Error removeFile(TextRef path) override;
    Win32Error createDirectory(TextRef path) override;
    Win32Error createPrivateDirectory(TextRef path) override;
    Win32Error removeTree(TextRef path) override;
    Win32Error listItems(TextRef pattern, std::vector<FolderItem>& items) override;
    Win32Error shellMove(TextRef fromPattern, TextRef toFolder) override;
    Win32Error shellDelete(TextRef pattern) override;
    Win32Error moveFile(TextRef from, TextRef to, bool replace) override;
    // Administrators own everything but what $ZIL_MACHINE/user-owned.txt names.
    Win32Error pathInfo(TextRef path, PathInfo& info) override;
    Win32Error deleteAtRestart(TextRef path) override;
    // The running setup program (SimConfig::modulePath, else this process): its Windows path
    // when it lies in the machine (a kept setup program), else its host path.
    Win32Error modulePath(String& path) override;
    // The host file system cannot lock the file against writers: a rename or replacement at the
    // path shows what the open file stands for, the file setup started from.
    Win32Error ownImage(File*& image) override { return m_ownImage.Get(*this, image); }
    // C:\Windows\System32, as on the machines the program is made for.
    Win32Error systemDirectory(String& path) override;
    Win32Error tempDirectory(String& path) override;

private:
    // Matches of a Windows pattern as Windows paths and their host paths, sorted by name.
    Win32Error matches(const String& pattern, std::vector<String>& windowsPaths,
                       std::vector<std::string>& hostPaths);
    bool Listed(const char* listName, const String& path) const;
    bool ListedAsFolder(const String& path) const;
    Win32Error ShellRemove(const String& path, const std::string& host);
    bool Guarded(const char* listName, const String& path) const;
    Win32Error record(const char* kind, const String& detail, Win32Error outcome);
    template <typename Act>
    Win32Error onHost(const char* kind, const String& path, Act act);

    SimMachine& m_machine;
    OwnImage m_ownImage;
};
