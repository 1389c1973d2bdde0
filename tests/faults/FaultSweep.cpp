// The fault sweep: the setup program as a whole process on the simulated machine, with one call
// of one kind failing at a time (ZIL_FAULTS), once and from then on, for every call that kind
// makes: /I on a clean machine, /I over a running installation, and /U. After every run the
// invariants below are checked; the sweep prints what it ran and every violation, and fails
// when there is one. Over an installation, the calls are also killed one at a time, and after a
// failed or killed upgrade /I runs once more without faults: it must finish the job, leaving
// exactly one installation and nothing of setup's own beside the program folder.
//   fault_sweep SETUP PAYLOAD_DIR [SCRATCH [SCENARIO]]
// SETUP is the host setup program with its archive, PAYLOAD_DIR the files it was packed from;
// with SCENARIO, only the scenarios whose names hold that text (or one of its texts separated by
// '|') run.

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/sim/SimPlatform.h"
#include "setup/ProductPaths.h"
#include "tests/faults/MachineFiles.h"
#include "tests/faults/SetupProcess.h"

namespace fs = std::filesystem;

namespace {

struct Kind {
    SimFaultKind kind;
    int error;  // what such a call fails with in the field
};

// One fitting error per kind: a full disk for writes, a file held open by a scanner for opens
// and moves, refused access, a service that does not answer or is marked for deletion.
// Every kind but the seek: each seek comes right before a read of the archive and fails the
// same way, and sweeping both would double the reader's share of the runs for nothing.
using K = SimFaultKind;
const Kind theKinds[] = {
    {K::Open, 32},        {K::Read, 5},         {K::Write, 112},     {K::Mkdir, 5},
    {K::Move, 32},        {K::Delete, 5},       {K::Exec, 5},        {K::System, 5},
    {K::SvcOpen, 5},      {K::SvcCreate, 1072}, {K::SvcStart, 1053}, {K::SvcControl, 1072},
    {K::SvcDelete, 1072}, {K::SvcQuery, 5},     {K::Restart, 5},     {K::RegRead, 5},
    {K::RegWrite, 5},     {K::RegDelete, 5},
};

const std::map<int, int> theExitCodes = {{0, 0},      {67, 1603}, {84, 1620}, {102, 1638},
                                         {103, 1639}, {82, 1618}, {66, 1602}, {194, 3010}};

const char* const theProgramDir = "C/Program Files (x86)/ZIL";
const char* const theTempDir = "C/ZIL_Setup_temp";
const char* const theLogFile = "C/Windows/Temp/ZIL_Setup.log";
// Every name a log takes (the older runs' ZIL_Setup.<n>.log, a name of its own where the usual one
// is someone else's) and what was at its path, renamed aside beside it.
const char* const theLogNames = "C/Windows/Temp/ZIL_Setup.";
const char* const theRuntimeMarker = "C/Windows/System32/msvcr_zil.marker";
// An ordinary user's file in their C:\ZIL_Setup_temp, and a file of administrators that a hard
// link at the log's path leads to.
const char* const theUsersFile = "theirs.txt";
const char* const theUsersContent = "someone else's";
const char* const theLinkedFile = "C/Windows/System32/config.sys";

// What a machine holds: every path below its drives with its type and content.
Listing ListMachine(const fs::path& root) {
    Listing listing;
    for (const char* drive : {"C", "D", "E"}) {
        listing.merge(ListBelow(root / drive, std::string(drive) + "/"));
    }
    return listing;
}

// What a run may change: the temporary folder, the program folder, setup's own state beside it
// (the folder an upgrade sets aside, its record, what is moved out of the way to go at the next
// restart: all named after the two folders), the log (and what was at its path, renamed aside
// beside it), the runtime the redistributable installs,
// and files that appeared at a drive root during the run.
bool MayChange(const std::string& path, const Listing& before) {
    if (path.starts_with(theProgramDir) || path.starts_with(theTempDir) ||
        path.starts_with(theLogNames) || path == theRuntimeMarker) {
        return true;
    }
    bool atRoot = path.size() > 2 && path[1] == '/' && path.find('/', 2) == std::string::npos;
    return atRoot && before.count(path) == 0;
}

void CopyMachine(const fs::path& from, const fs::path& to) {
    fs::remove_all(to);
    fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
}

// The owner of a service handle that another program keeps open: the sweep itself, alive for as
// long as the run it holds the service for.
std::string HolderOfTheService() {
    return std::to_string(::getpid()) + ".held";
}

// Another program keeps a handle to the service open: its deletion only marks it, and while it
// stays marked it can be neither opened nor registered again (1072).
void HoldTheService(const fs::path& machine) {
    SetServiceField(machine, "handles", HolderOfTheService() + " 1");
}

void ReleaseTheService(const fs::path& machine) {
    SetServiceField(machine, "handles", HolderOfTheService() + " 0");
}

// The service that was asked to stop long ago and never got there: stop-pending for good.
void StickTheService(const fs::path& machine) {
    SetServiceField(machine, "state", std::to_string(SVC_STOPPED));
    SetServiceField(
        machine, "pending",
        std::to_string(SVC_STOP_PENDING) + " 0 " + std::to_string(SimServices::SIM_FOREVER) + " -");
}

// ... until it finally stops.
void UnstickTheService(const fs::path& machine) {
    SetServiceField(machine, "pending", "0 0 0 -");
}

struct Service {
    bool registered = false;
    std::uint32_t state = 0;
    std::string image;  // with its arguments
    std::uint32_t startType = 0;
    std::string account;

    bool SameRegistration(const Service& other) const {
        return registered == other.registered && image == other.image &&
               startType == other.startType && account == other.account;
    }
};

Service ServiceOf(const fs::path& machine) {
    SimPlatform sim(test_support::VirtualClockMachine(machine.string()));
    SimServices::Record record;
    Service service;
    // One marked for deletion goes as soon as the last handle to it closes.
    service.registered =
        sim.simServices().lookup(theServiceName, record) && !record.markedForDelete;
    service.state = sim.simServices().currentState(theServiceName);
    service.image = record.settings.imagePath;
    service.startType = record.settings.startType;
    service.account = record.settings.account;
    return service;
}

// The Apps & features entry's values; none when there is no entry.
std::vector<RegistryValue> EntryOf(const fs::path& machine) {
    SimPlatform sim(test_support::VirtualClockMachine(machine.string()));
    std::vector<RegistryValue> values;
    sim.simRegistry().readValues(SETUP_ENTRY_KEY, values);
    return values;
}

bool HasValue(const std::vector<RegistryValue>& entry, const RegistryValue& wanted) {
    return std::find(entry.begin(), entry.end(), wanted) != entry.end();
}

class Sweep {
public:
    Sweep(std::string program, fs::path payload, fs::path scratch, std::string only)
        : m_program(std::move(program)),
          m_payload(std::move(payload)),
          m_scratch(std::move(scratch)),
          m_only(std::move(only)) {}

    bool Prepare() {
        for (const auto& entry : fs::directory_iterator(m_payload)) {
            if (std::string path = InstalledPath(entry.path().filename().string()); !path.empty()) {
                m_installedFiles[path] = "file " + test_support::ReadHostFile(entry.path());
            }
        }
        fs::path clean = m_scratch / "clean";
        fs::remove_all(clean);
        // A fresh 64-bit Windows, and things of others' that no run may touch.
        for (const char* folder : {"C/Program Files (x86)/Other", "C/Windows/Temp",
                                   "C/Windows/System32", "D/data", "E"}) {
            fs::create_directories(clean / folder);
        }
        std::ofstream(clean / "C/Program Files (x86)/Other/keep.txt") << "someone else's";
        std::ofstream(clean / "C/eula.txt") << "an older eula of someone else's";
        std::ofstream(clean / "D/data/notes.txt") << "notes";
        PrepareLogPlanted(clean);
        fs::path installed = m_scratch / "installed";
        CopyMachine(clean, installed);
        SetupProcessRun run = RunSetupProcess(m_program, installed, "/I", "");
        m_installedImage = ServiceOf(installed).image;
        std::string why;
        if (!run.exited || run.status != 0 || !Installed(installed, why)) {
            std::printf("fault sweep: the install without faults did not succeed (%d) %s\n",
                        run.status, why.c_str());
            return false;
        }
        // The old service as an administrator may have changed it: under another account, with
        // an argument, started on demand. A failed upgrade must give back exactly this.
        SetServiceField(installed, "account", "NT AUTHORITY\\LocalService");
        SetServiceField(installed, "image", m_installedImage + " -old");
        SetServiceField(installed, "start-type", "3");
        m_entryVersion = RegistryValue::Text("DisplayVersion", "");
        for (const RegistryValue& value : EntryOf(installed)) {
            m_entryVersion = value.name == "DisplayVersion" ? value : m_entryVersion;
            m_entryNames.push_back(std::string(value.name));
        }
        // Another version's entry, unlike the one an upgrade writes: a failed upgrade must give
        // back exactly this.
        SimPlatform sim(test_support::VirtualClockMachine(installed.string()));
        sim.simRegistry().setValue(SETUP_ENTRY_KEY, RegistryValue::Text("DisplayVersion", "0.9"));
        sim.simRegistry().setValue(SETUP_ENTRY_KEY, RegistryValue::Text("Comments", "old\x01"));
        // Each run is judged by the log it writes itself.
        fs::remove(installed / theLogFile);
        fs::remove(installed / "journal.log");
        return PreparePlanted(installed);
    }

    // Over the installation: folders planted at the set-aside folder's place and at its old place
    // in the temporary folder; and, after an upgrade cut off once its record was written (the old
    // service stopped, not yet removed), a link to a folder elsewhere where the record says the old
    // folder waits.
    bool PreparePlanted(const fs::path& installed) {
        auto plant = [](const fs::path& folder) {
            fs::create_directories(folder);
            std::ofstream(folder / "planted.txt") << "someone else's";
        };
        const std::string setAside = "C/Program Files (x86)/ZIL.previous";
        fs::path folders = m_scratch / "planted-folders";
        CopyMachine(installed, folders);
        plant(folders / setAside);
        plant(folders / theTempDir / "ZIL.previous");
        // What administrators own beside the program folder is setup's: the planted one is a
        // user's.
        std::ofstream(folders / "user-owned.txt") << "C:\\Program Files (x86)\\ZIL.previous\n";
        fs::path link = m_scratch / "planted-link";
        CopyMachine(installed, link);
        SetupProcessRun cut = RunSetupProcess(m_program, link, "/I",
                                              FaultAt("svc-delete", std::string(theServiceName)));
        if (cut.exited || !fs::exists(link / "C/Program Files (x86)/ZIL.upgrade")) {
            std::printf("fault sweep: the upgrade to cut off was not cut off (%d)\n", cut.status);
            return false;
        }
        plant(link / "D/data/elsewhere");
        // Relative, so that it leads to the same folder in every copy of the machine.
        fs::create_directory_symlink("../../D/data/elsewhere", link / setAside);
        fs::remove(link / theLogFile);
        fs::remove(link / "journal.log");
        m_planted = {setAside + "/planted.txt", "D/data/elsewhere/planted.txt"};
        PrepareUsers(installed);
        m_ranBeforeTheCut.insert(link);
        return PrepareInterrupted(installed);
    }

    // Over the installation: an upgrade cut off once the old folder was set aside (its record
    // written, the old service removed), for the next run to resume; and a service stuck stopping.
    bool PrepareInterrupted(const fs::path& installed) {
        fs::path cut = m_scratch / "cut";
        CopyMachine(installed, cut);
        SetupProcessRun run =
            RunSetupProcess(m_program, cut, "/I", FaultAt("mkdir", SETUP_PROGRAM_DIR));
        for (const char* left : {"ZIL.previous", "ZIL.upgrade"}) {
            if (run.exited || !fs::exists(cut / "C/Program Files (x86)" / left)) {
                std::printf("fault sweep: the upgrade cut off left no %s (%d)\n", left, run.status);
                return false;
            }
        }
        fs::remove(cut / theLogFile);
        fs::remove(cut / "journal.log");
        m_ranBeforeTheCut.insert(cut);
        fs::path stuck = m_scratch / "stuck";
        CopyMachine(installed, stuck);
        StickTheService(stuck);
        return true;
    }

    // Over the installation: an ordinary user's C:\ZIL_Setup_temp that setup cannot remove, and
    // one it can neither remove nor rename; and a file of administrators beside the log's path,
    // to which each run's copy of the machine gets a hard link there (HardLinkAtTheLog).
    void PrepareUsers(const fs::path& installed) {
        fs::path removable = m_scratch / "user-temp";
        CopyMachine(installed, removable);
        fs::create_directories(removable / theTempDir);
        std::ofstream(removable / theTempDir / theUsersFile) << theUsersContent;
        for (const char* list : {"user-owned.txt", "undeletable.txt"}) {
            std::ofstream(removable / list) << "C:\\ZIL_Setup_temp\n";
        }
        fs::path fixed = m_scratch / "user-temp-fixed";
        CopyMachine(removable, fixed);
        std::ofstream(fixed / "unmovable.txt") << "C:\\ZIL_Setup_temp\n";
        fs::path linked = m_scratch / "log-link";
        CopyMachine(installed, linked);
        std::ofstream(linked / theLinkedFile) << "administrators' own";
    }

    // A fresh machine where an ordinary user keeps a folder at the log's path that setup can
    // neither remove nor rename, and files of theirs at every name setup would move it aside to.
    void PrepareLogPlanted(const fs::path& clean) {
        fs::path planted = m_scratch / "log-planted";
        CopyMachine(clean, planted);
        std::vector<std::string> paths = {std::string(theLogFile) + "/planted.txt"};
        for (int suffix = 1; suffix <= 9; ++suffix) {
            paths.push_back(std::string(theLogFile) + ".obsolete" +
                            (suffix > 1 ? "." + std::to_string(suffix) : ""));
        }
        std::ofstream owned(planted / "user-owned.txt");
        for (const std::string& path : paths) {
            fs::create_directories((planted / path).parent_path());
            std::ofstream(planted / path) << "someone else's";
            m_planted.push_back(path);
            owned << WindowsPathOf(path) << "\n";
        }
        owned << WindowsPathOf(theLogFile) << "\n";
        for (const char* list : {"undeletable.txt", "unmovable.txt"}) {
            std::ofstream(planted / list) << WindowsPathOf(theLogFile) << "\n";
        }
    }

    static std::string WindowsPathOf(const std::string& machinePath) {
        std::string path = machinePath.substr(0, 1) + ":\\" + machinePath.substr(2);
        std::replace(path.begin(), path.end(), '/', '\\');
        return path;
    }

    static void HardLinkAtTheLog(const fs::path& machine) {
        fs::create_hard_link(machine / theLinkedFile, machine / theLogFile);
    }

    // One scenario: a machine, the argument, and how its runs differ from a plain one.
    struct Scenario {
        Scenario(std::string name, fs::path baseline, std::string argument)
            : name(std::move(name)), baseline(std::move(baseline)), argument(std::move(argument)) {}
        // What each run's copy of the machine gets besides.
        Scenario& EachCopy(void (*change)(const fs::path&)) {
            afterCopy = change;
            return *this;
        }
        // Faults in every run, ahead of the swept one; their kind is not swept.
        Scenario& AlwaysFailing(std::string faults) {
            alwaysFails = std::move(faults);
            return *this;
        }
        // Only calls of these kinds are swept: the ones that reach what the scenario is about.
        Scenario& Only(std::vector<SimFaultKind> kinds) {
            swept = std::move(kinds);
            return *this;
        }
        // Each swept call ends the process instead of failing.
        Scenario& Killing() {
            kills = true;
            return *this;
        }
        // An upgrade: after a run that failed or was killed, /I runs again without faults, once
        // what kept it from succeeding has gone, and must finish the job.
        Scenario& FollowedUp(void (*obstacleGone)(const fs::path&) = nullptr) {
            followUp = true;
            beforeFollowUp = obstacleGone;
            return *this;
        }

        std::string name;
        fs::path baseline;
        std::string argument;
        void (*afterCopy)(const fs::path&) = nullptr;
        std::string alwaysFails;
        std::vector<SimFaultKind> swept;  // none: every kind
        bool kills = false;
        bool followUp = false;
        void (*beforeFollowUp)(const fs::path&) = nullptr;
    };

    void RunScenario(const Scenario& scenario) {
        if (!Selected(scenario.name)) {
            return;
        }
        fs::path machine = m_scratch / "run";
        for (const Kind& kind : theKinds) {
            std::string kindName = SimFaultKindName(kind.kind);
            bool sweptKind = scenario.swept.empty() ||
                             std::find(scenario.swept.begin(), scenario.swept.end(), kind.kind) !=
                                 scenario.swept.end();
            if (!sweptKind || scenario.alwaysFails.starts_with(kindName + "@")) {
                continue;
            }
            for (bool fromThenOn : {false, true}) {
                if (fromThenOn && scenario.kills) {
                    break;  // a process is killed once
                }
                for (int nth = 1;; ++nth) {
                    std::string swept = kindName + "@" + std::to_string(nth) + "=" +
                                        (scenario.kills ? "kill" : std::to_string(kind.error)) +
                                        (fromThenOn ? "+" : "");
                    std::string faults =
                        scenario.alwaysFails.empty() ? swept : scenario.alwaysFails + "," + swept;
                    CopyMachine(scenario.baseline, machine);
                    if (scenario.afterCopy != nullptr) {
                        scenario.afterCopy(machine);
                    }
                    SetupProcessRun run =
                        RunSetupProcess(m_program, machine, scenario.argument, faults);
                    ++m_runs;
                    std::string fault = "fault: " + kindName + " call " + std::to_string(nth) + " ";
                    bool fired = run.journal.find("\n" + fault) != std::string::npos ||
                                 run.journal.starts_with(fault);
                    if (!fired && run.exited) {
                        break;  // the run made fewer calls of this kind than nth
                    }
                    ++m_faults;
                    std::string label = scenario.name + " " + faults;
                    if (scenario.kills) {
                        Expect(!run.exited, label, "the process was not killed at its fault");
                        CheckOthersFiles(label, machine, run);
                    } else {
                        Check(label, kind, fromThenOn, machine, scenario.argument,
                              scenario.baseline, run);
                    }
                    bool succeeded = run.exited && (run.status == 0 || run.status == 194);
                    if (scenario.followUp && !succeeded) {
                        FollowUp(label, scenario, machine);
                    }
                }
            }
        }
    }

    int Report() const {
        std::printf(
            "fault sweep: %d runs, %d faults injected, %d invariants held, %zu violations\n",
            m_runs, m_faults, m_held, m_violations.size());
        std::printf(
            "fault sweep: %d runs could not write their log (every later write or open "
            "refused)\n",
            m_logUnwritable);
        for (const std::string& violation : m_violations) {
            std::printf("VIOLATION %s\n", violation.c_str());
        }
        return m_violations.empty() ? 0 : 1;
    }

private:
    void Check(const std::string& label, const Kind& kind, bool fromThenOn, const fs::path& machine,
               const std::string& argument, const fs::path& baseline, const SetupProcessRun& run) {
        Expect(run.exited, label,
               "did not end by itself (status " + std::to_string(run.status) + ")");
        if (!run.exited) {
            return;
        }
        auto code = theExitCodes.find(run.status);
        Expect(code != theExitCodes.end(), label, "exit status " + std::to_string(run.status));
        if (code == theExitCodes.end()) {
            return;
        }
        int exitCode = code->second;
        bool success = exitCode == 0 || exitCode == 3010;
        bool install = argument == "/I";
        std::string why;
        std::vector<RegistryValue> entry = EntryOf(machine);
        if (install) {
            bool complete = Installed(machine, why);
            Expect(!success || complete, label, "exit 0 but not installed: " + why);
            Expect(!success || HasValue(entry, m_entryVersion), label,
                   "installed, but Apps & features does not list this version");
            if (!success) {
                Listing before = ListBelow(baseline / theProgramDir);
                Listing after = ListBelow(machine / theProgramDir);
                Service old = ServiceOf(baseline);
                Service now = ServiceOf(machine);
                // A service manager that refuses every request from some point on cannot start the
                // old service again: the log must say so.
                std::string log = RunLog(machine);
                bool restartRefused =
                    log.find("START ZIL Service retcode = 0") == std::string::npos &&
                    log.find("START ZIL Service retcode = ") != std::string::npos;
                // Nor can it register the old service again: the log must name the registration
                // and the record must stay, for the next run to finish the restore.
                bool registrationNamed =
                    log.find(theServiceName + " registration: not given back") !=
                        std::string::npos &&
                    fs::exists(machine / "C/Program Files (x86)/ZIL.upgrade");
                // A service that ran before an upgrade cut off runs again once restored.
                bool stateRestored =
                    now.state == old.state || (m_ranBeforeTheCut.count(baseline) && now.state == 4);
                bool intact = before == after && (now.SameRegistration(old) || registrationNamed) &&
                              (stateRestored || restartRefused || registrationNamed);
                bool newComplete =
                    exitCode == 1603 && log.find("Start ZIL Service Failed") != std::string::npos;
                for (const auto& [path, what] : m_installedFiles) {
                    newComplete = newComplete && after.count(path) && after.at(path) == what;
                }
                Expect(intact || newComplete, label,
                       "failed (" + std::to_string(exitCode) +
                           ") and the old installation is not as it was, nor the new one complete");
                // A registry that refuses every write from some point on cannot take the old
                // entry back either: the log must say so,
                // and the record must stay, for the next run to give it back.
                bool entryRefused =
                    log.find("the Apps & features entry: not given back") != std::string::npos &&
                    fs::exists(machine / "C/Program Files (x86)/ZIL.upgrade");
                Expect(intact ? entry == EntryOf(baseline) || entryRefused
                              : HasValue(entry, m_entryVersion),
                       label,
                       intact ? "failed, and the Apps & features entry is not the old one"
                              : "the new installation stays, but is not listed");
            }
        } else {
            Service service = ServiceOf(machine);
            // A user's folder at the temporary folder's path is theirs to keep.
            bool tempGone = !fs::exists(machine / theTempDir) ||
                            ListBelow(machine / theTempDir) == ListBelow(baseline / theTempDir);
            bool gone = !service.registered && !fs::exists(machine / theProgramDir) && tempGone;
            Expect(!success || gone, label, "exit 0 but the product is not gone");
            // A service that still runs, or is on its way somewhere, keeps the files it runs
            // from.
            bool runs = service.state != 0 && service.state != SVC_STOPPED;
            Expect(!runs || fs::exists(machine / theProgramDir / "ZIL_Service.exe"), label,
                   "the service still runs, but its files are gone");
            Expect(!success || entry.empty(), label, "uninstalled, but Apps & features lists it");
        }
        CheckEntry(label, machine);
        CheckOthersFiles(label, machine, run);
        CheckUninstaller(label, machine);
        CheckRestart(label, exitCode, run, machine);

        // Every run leaves its log: its first line carries the exit code, its last states it.
        std::string log = RunLog(machine);
        bool unwritable =
            fromThenOn && (kind.kind == SimFaultKind::Write || kind.kind == SimFaultKind::Open);
        if (log.empty() && unwritable) {
            ++m_logUnwritable;
        } else {
            std::size_t end =
                log.size() >= 2 ? log.rfind("\r\n", log.size() - 3) : std::string::npos;
            std::string last = end == std::string::npos ? log : log.substr(end + 2);
            std::string stated = "exit code " + std::to_string(exitCode) + ")\r\n";
            Expect(last.starts_with("Result: ") && last.ends_with(stated), label,
                   "the log's last line does not state the outcome: \"" + last + "\"");
            std::string first = log.substr(0, log.find("\r\n"));
            Expect(first.starts_with("ZIL Setup ") &&
                       first.ends_with(", exit code " + std::to_string(exitCode)),
                   label, "the log's first line does not carry the exit code: \"" + first + "\"");
        }

        const Listing& before = BaselineListing(baseline);
        Listing after = ListMachine(machine);
        std::set<std::string> paths;
        for (const Listing* listing : {&before, static_cast<const Listing*>(&after)}) {
            for (const auto& item : *listing) {
                paths.insert(item.first);
            }
        }
        for (const std::string& path : paths) {
            if (MayChange(path, before)) {
                continue;
            }
            auto was = before.find(path);
            auto is = after.find(path);
            bool same = was != before.end() && is != after.end() && was->second == is->second;
            Expect(same, label, path + (is == after.end() ? " was removed" : " changed"));
        }
        for (const std::string& planted : m_planted) {
            if (before.count(planted) != 0) {
                Expect(after.count(planted) != 0 && after.at(planted) == before.at(planted), label,
                       planted + " was acted on");
            }
        }
        for (const auto& [path, what] : after) {
            Expect(!(path.starts_with(std::string(theProgramDir) + "/") &&
                     path.ends_with("planted.txt")),
                   label, path + ": a planted file was moved into the program folder");
        }
    }

    // /I once more, without faults, after an upgrade that failed or was killed: it ends 0 with
    // the new installation complete and listed, the machine otherwise as the scenario left it,
    // and nothing of setup's own beside the program folder.
    void FollowUp(const std::string& label, const Scenario& scenario, const fs::path& machine) {
        if (scenario.beforeFollowUp != nullptr) {
            scenario.beforeFollowUp(machine);
        }
        // The journal goes on from the run before: this run is judged by its own lines.
        const std::size_t before = test_support::ReadHostFile(machine / "journal.log").size();
        SetupProcessRun next = RunSetupProcess(m_program, machine, "/I", "");
        next.journal.erase(0, std::min(before, next.journal.size()));
        ++m_runs;
        std::string nextLabel = label + ", then /I";
        Expect(next.exited && next.status == 0, nextLabel,
               "did not finish the upgrade (status " + std::to_string(next.status) + ")");
        if (!next.exited) {
            return;
        }
        const Kind none{SimFaultKind::Count, 0};
        Check(nextLabel, none, false, machine, "/I", scenario.baseline, next);
        for (const auto& item : fs::directory_iterator(machine / "C/Program Files (x86)")) {
            std::string name = item.path().filename().string();
            Expect(!name.starts_with("ZIL."), nextLabel,
                   name + " is left beside the program folder");
        }
    }

    // An installation that Apps & features lists has its uninstaller where the entry points,
    // byte for byte the setup program that ran; but where an upgrade was cut off, its record
    // names the installation that the next run brings back.
    void CheckUninstaller(const std::string& label, const fs::path& machine) {
        std::error_code error;
        bool interrupted =
            fs::file_size(machine / "C/Program Files (x86)/ZIL.upgrade", error) > 0 && !error;
        if (EntryOf(machine).empty() || !fs::is_directory(machine / theProgramDir) || interrupted) {
            return;
        }
        fs::path kept = machine / theProgramDir / "ZIL_Setup.exe";
        Expect(fs::exists(kept) &&
                   test_support::ReadHostFile(kept) == test_support::ReadHostFile(m_program),
               label, "Apps & features lists the product, but its uninstaller is not there");
    }

    // Whatever a run leaves for the next restart to delete, and is still there when it ends,
    // completes it only then: a run that did its work says so with 3010 (the hand-over's own run
    // folder aside, which is no part of the product). What a later step removed after all waits
    // for nothing.
    void CheckRestart(const std::string& label, int exitCode, const SetupProcessRun& run,
                      const fs::path& machine) {
        SimConfig config;
        config.root = machine.string();
        const SimMachine onMachine(config);
        std::istringstream journal(run.journal);
        const std::string scheduled = "delete-at-restart: ";
        const std::string done = " = 0";
        for (std::string line; std::getline(journal, line);) {
            if (!line.starts_with(scheduled) || !line.ends_with(done) ||
                line.starts_with(scheduled + "C:\\ZIL_Setup_run")) {
                continue;
            }
            std::string path =
                line.substr(scheduled.size(), line.size() - scheduled.size() - done.size());
            std::string host;
            bool there = onMachine.hostPath(path, host) != WIN_OK || fs::exists(host);
            Expect(exitCode != 0 || !there, label,
                   path + " waits for the restart, but the run ended 0");
        }
    }

    // No entry without an installation, and none half written: a key at the entry's place (with
    // values or without) is there only while something of the product is (its program folder or
    // its service), and holds every value an install writes; unless the run's log names the entry
    // as what it could not give back or remove.
    void CheckEntry(const std::string& label, const fs::path& machine) {
        SimPlatform sim(test_support::VirtualClockMachine(machine.string()));
        std::vector<RegistryValue> entry;
        if (sim.simRegistry().readValues(SETUP_ENTRY_KEY, entry) != WIN_OK) {
            return;
        }
        std::string log = RunLog(machine);
        bool named = log.find("the Apps & features entry: not given back") != std::string::npos ||
                     log.find("Delete ZIL Uninstall Entry: error") != std::string::npos;
        bool productThere = fs::exists(machine / theProgramDir) || ServiceOf(machine).registered;
        Expect(productThere || named, label, "Apps & features lists a product that is not there");
        bool whole = std::all_of(m_entryNames.begin(), m_entryNames.end(), [&](const auto& name) {
            return std::any_of(entry.begin(), entry.end(), [&](const RegistryValue& value) {
                return value.name == std::string_view(name);
            });
        });
        Expect(whole || named, label, "the Apps & features entry is half written");
    }

    // Nothing of an ordinary user's is handed to the restart, whose deletion runs as SYSTEM, and
    // no file of someone else's is written, wherever it was moved.
    void CheckOthersFiles(const std::string& label, const fs::path& machine,
                          const SetupProcessRun& run) {
        std::istringstream journal(run.journal);
        const std::string scheduled = "delete-at-restart: ";
        for (std::string line; std::getline(journal, line);) {
            if (!line.starts_with(scheduled)) {
                continue;
            }
            std::string path = line.substr(scheduled.size(), line.rfind(" = ") - scheduled.size());
            std::string host = path.substr(0, 1) + "/" + path.substr(3);
            std::replace(host.begin(), host.end(), '\\', '/');
            Expect(!fs::exists(machine / host / theUsersFile), label,
                   path + ": a user's folder was scheduled for deletion at the restart");
        }
        for (const auto& [path, what] : ListMachine(machine)) {
            if (path.ends_with(std::string("/") + theUsersFile)) {
                Expect(what == std::string("file ") + theUsersContent, label,
                       path + ": a user's file was written");
            }
        }
        if (fs::exists(machine / theLinkedFile)) {
            Expect(test_support::ReadHostFile(machine / theLinkedFile) == "administrators' own",
                   label, std::string(theLinkedFile) + " was written through the log's path");
        }
    }

    // The log of the run that just ended: ZIL_Setup.log, or where that is not a file of setup's
    // own, the newest name of its own that the run took instead (ZIL_Setup.<n>.<hex>.log).
    static std::string RunLog(const fs::path& machine) {
        if (fs::is_regular_file(fs::symlink_status(machine / theLogFile))) {
            return test_support::ReadHostFile(machine / theLogFile);
        }
        fs::path newest;
        long number = 0;
        fs::path folder = (machine / theLogFile).parent_path();
        for (const auto& item : fs::directory_iterator(folder)) {
            std::string name = item.path().filename().string();
            std::size_t dot = name.find('.', 10);
            if (!name.starts_with("ZIL_Setup.") || !name.ends_with(".log") ||
                dot == std::string::npos || name.size() != dot + 13) {
                continue;
            }
            long found = std::atol(name.substr(10, dot - 10).c_str());
            if (found > number) {
                number = found;
                newest = item.path();
            }
        }
        return newest.empty() ? std::string() : test_support::ReadHostFile(newest);
    }

    // A baseline never changes: it is listed once.
    const Listing& BaselineListing(const fs::path& baseline) {
        auto [listed, added] = m_baselines.try_emplace(baseline);
        if (added) {
            listed->second = ListMachine(baseline);
        }
        return listed->second;
    }

    void Expect(bool held, const std::string& label, const std::string& what) {
        if (held) {
            ++m_held;
        } else {
            m_violations.push_back(label + ": " + what);
        }
    }

    bool Installed(const fs::path& machine, std::string& why) const {
        Listing files = ListBelow(machine / theProgramDir);
        for (const auto& [path, what] : m_installedFiles) {
            auto found = files.find(path);
            if (found == files.end() || found->second != what) {
                why = path + (found == files.end() ? " missing" : " differs");
                return false;
            }
        }
        Service service = ServiceOf(machine);
        if (!service.registered || service.state != 4 || service.image != m_installedImage) {
            why = "the service is not registered as the product's and running";
            return false;
        }
        return true;
    }

    std::string m_program;
    fs::path m_payload;
    fs::path m_scratch;
    // Texts separated by '|': a scenario runs when its name holds one of them.
    bool Selected(const std::string& name) const {
        for (std::size_t start = 0;;) {
            std::size_t end = m_only.find('|', start);
            if (name.find(m_only.substr(start, end - start)) != std::string::npos) {
                return true;
            }
            if (end == std::string::npos) {
                return false;
            }
            start = end + 1;
        }
    }

    std::string m_only;                     // the texts a scenario's name must hold one of to run
    Listing m_installedFiles;               // what a complete install puts below the program folder
    std::string m_installedImage;           // and the service image it registers
    RegistryValue m_entryVersion;           // and the version its Apps & features entry shows
    std::vector<std::string> m_entryNames;  // and the names of the entry's values
    // Files that someone else planted where setup keeps its own state: never changed, never
    // moved into the program folder.
    std::vector<std::string> m_planted;
    std::set<fs::path> m_ranBeforeTheCut;  // baselines whose record says the service ran
    std::map<fs::path, Listing> m_baselines;
    int m_runs = 0;
    int m_faults = 0;
    int m_held = 0;
    int m_logUnwritable = 0;
    std::vector<std::string> m_violations;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: fault_sweep SETUP PAYLOAD_DIR [SCRATCH [SCENARIO]]\n");
        return 2;
    }
    fs::path scratch = argc > 3 ? fs::path(argv[3]) : fs::temp_directory_path() / "zil-fault-sweep";
    fs::create_directories(scratch);
    Sweep sweep(fs::absolute(argv[1]).string(), argv[2], scratch, argc > 4 ? argv[4] : "");
    if (!sweep.Prepare()) {
        return 1;
    }
    auto started = std::chrono::steady_clock::now();
    using Scenario = Sweep::Scenario;
    // What an upgrade changes and gives back once the files are extracted: the extraction's
    // reads and writes are swept by the plain upgrade already.
    const std::vector<SimFaultKind> changes = {
        K::Mkdir,      K::Move,      K::Delete,   K::SvcOpen, K::SvcCreate, K::SvcStart,
        K::SvcControl, K::SvcDelete, K::SvcQuery, K::Restart, K::RegWrite,  K::RegDelete};
    // A service stuck stopping is queried every 189 ms for the half minute it is given: the
    // manager's calls inside that wait are not swept one by one.
    const std::vector<SimFaultKind> outsideTheWait = {K::Mkdir,     K::Move,     K::Delete,
                                                      K::SvcCreate, K::SvcStart, K::SvcDelete,
                                                      K::Restart,   K::RegWrite, K::RegDelete};
    const fs::path installed = scratch / "installed";
    const std::vector<Scenario> scenarios = {
        Scenario("clean /I", scratch / "clean", "/I"),
        Scenario("upgrade /I", installed, "/I").FollowedUp(),
        Scenario("/U", installed, "/U"),
        Scenario("planted folders /I", scratch / "planted-folders", "/I"),
        Scenario("planted link /I", scratch / "planted-link", "/I"),
        Scenario("planted link /U", scratch / "planted-link", "/U"),
        Scenario("user's temp /U", scratch / "user-temp", "/U"),
        Scenario("user's fixed temp /U", scratch / "user-temp-fixed", "/U"),
        Scenario("user's fixed temp /I", scratch / "user-temp-fixed", "/I"),
        Scenario("log hard link /I", scratch / "log-link", "/I").EachCopy(Sweep::HardLinkAtTheLog),
        // What reaches the log: its opens and writes, and the renames and removals around it.
        Scenario("log planted /I", scratch / "log-planted", "/I")
            .Only({K::Open, K::Write, K::Move, K::Delete}),
        Scenario("service creation refused /I", installed, "/I")
            .Only(changes)
            .AlwaysFailing("svc-create@1=5+")
            .FollowedUp(),
        Scenario("service held open /I", installed, "/I")
            .Only(changes)
            .EachCopy(HoldTheService)
            .FollowedUp(ReleaseTheService),
        Scenario("service held open /U", installed, "/U").Only(changes).EachCopy(HoldTheService),
        Scenario("service stuck stopping /I", scratch / "stuck", "/I")
            .Only(outsideTheWait)
            .FollowedUp(UnstickTheService),
        Scenario("service stuck stopping /U", scratch / "stuck", "/U").Only(outsideTheWait),
        Scenario("upgrade killed /I", installed, "/I").Killing().FollowedUp(),
        Scenario("resume killed /I", scratch / "cut", "/I").Killing().FollowedUp(),
    };
    for (const Sweep::Scenario& scenario : scenarios) {
        sweep.RunScenario(scenario);
    }
    int result = sweep.Report();
    auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started)
            .count();
    std::printf("fault sweep: %lld s\n", static_cast<long long>(seconds));
    fs::remove_all(scratch);
    return result;
}
