#include "SequenceHarness.h"

#include <cstdlib>
#include <filesystem>

#include "sfx/SfxExtractor.h"
#include "shell/SetupDialog.h"

namespace fs = std::filesystem;

namespace {

// The simulated machine with every call of the program seen first by an observer: the test
// samples the lower bar there, because the bar keeps no history of its own.
class ObservedFiles : public FileSystem {
public:
    ObservedFiles(FileSystem& inner, std::function<void()>& observe)
        : m_inner(inner), m_observe(observe) {}
    Win32Error open(const std::string& path, FileMode mode, std::unique_ptr<File>& file) override {
        m_observe();
        return m_inner.open(path, mode, file);
    }
    Win32Error removeFile(const std::string& path) override {
        m_observe();
        return m_inner.removeFile(path);
    }
    Win32Error createDirectory(const std::string& path) override {
        m_observe();
        return m_inner.createDirectory(path);
    }
    Win32Error createPrivateDirectory(const std::string& path) override {
        m_observe();
        return m_inner.createPrivateDirectory(path);
    }
    Win32Error removeTree(const std::string& path) override {
        m_observe();
        return m_inner.removeTree(path);
    }
    bool findFile(const std::string& pattern) override {
        m_observe();
        return m_inner.findFile(pattern);
    }
    Win32Error listMatches(const std::string& pattern, std::vector<std::string>& paths) override {
        m_observe();
        return m_inner.listMatches(pattern, paths);
    }
    Win32Error shellMove(const std::string& from, const std::string& to) override {
        m_observe();
        return m_inner.shellMove(from, to);
    }
    Win32Error shellDelete(const std::string& pattern) override {
        m_observe();
        return m_inner.shellDelete(pattern);
    }
    Win32Error modulePath(std::string& path) override { return m_inner.modulePath(path); }
    Win32Error tempDirectory(std::string& path) override { return m_inner.tempDirectory(path); }
    bool isDirectory(const std::string& path) override {
        m_observe();
        return m_inner.isDirectory(path);
    }

private:
    FileSystem& m_inner;
    std::function<void()>& m_observe;
};

class ObservedServices : public ServiceControl {
public:
    ObservedServices(ServiceControl& inner, std::function<void()>& observe)
        : m_inner(inner), m_observe(observe) {}
    Win32Error openManager(std::uint32_t access,
                           std::unique_ptr<ServiceManager>& manager) override {
        m_observe();
        return m_inner.openManager(access, manager);
    }

private:
    ServiceControl& m_inner;
    std::function<void()>& m_observe;
};

class ObservedProcesses : public Processes {
public:
    ObservedProcesses(Processes& inner, std::function<void()>& observe)
        : m_inner(inner), m_observe(observe) {}
    Win32Error runAndWait(const std::string& file, const std::string& parameters) override {
        m_observe();
        return m_inner.runAndWait(file, parameters);
    }
    int runCommand(const std::string& commandLine) override {
        m_observe();
        return m_inner.runCommand(commandLine);
    }

private:
    Processes& m_inner;
    std::function<void()>& m_observe;
};

class ObservedClock : public Clock {
public:
    ObservedClock(Clock& inner, std::function<void()>& observe)
        : m_inner(inner), m_observe(observe) {}
    void sleep(std::uint32_t milliseconds) override {
        m_observe();
        m_inner.sleep(milliseconds);
    }
    std::uint64_t now() override { return m_inner.now(); }
    std::string localTimestamp() override { return m_inner.localTimestamp(); }

private:
    Clock& m_inner;
    std::function<void()>& m_observe;
};

class ObservedPlatform : public Platform {
public:
    explicit ObservedPlatform(SimPlatform& sim)
        : m_sim(sim),
          m_files(sim.files(), m_observe),
          m_services(sim.services(), m_observe),
          m_processes(sim.processes(), m_observe),
          m_clock(sim.clock(), m_observe) {}

    FileSystem& files() override { return m_files; }
    ServiceControl& services() override { return m_services; }
    Processes& processes() override { return m_processes; }
    Clock& clock() override { return m_clock; }
    WindowSystem& windows() override { return m_sim.windows(); }
    bool acquireSetupLock() override { return m_sim.acquireSetupLock(); }

    std::function<void()> m_observe = [] {};

private:
    SimPlatform& m_sim;
    ObservedFiles m_files;
    ObservedServices m_services;
    ObservedProcesses m_processes;
    ObservedClock m_clock;
};

std::string FieldAfter(const std::string& line, const std::string& prefix) {
    return line.rfind(prefix, 0) == 0 ? line.substr(prefix.size()) : std::string();
}

}  // namespace

void SequenceTest::SetUp() {
    m_setupPath = SAMPLE_SETUP;
    // A fresh 64-bit Windows: the folder for 32-bit programs and the temporary folder exist.
    fs::create_directories(m_root + "/C/Program Files (x86)");
    fs::create_directories(m_root + "/C/Windows/Temp");
}

SetupRun SequenceTest::Run(const std::string& argument, const std::vector<std::string>& input) {
    SimConfig config = test_support::VirtualClockMachine(m_root);
    config.ui = SimUi::None;
    config.modulePath = m_setupPath;
    SimPlatform sim(config);
    for (const Fault& fault : m_faults) {
        sim.machine().failCall(fault.op, fault.nth, fault.error, fault.fromThenOn);
    }
    m_faults.clear();
    for (const std::string& action : input) {
        sim.simWindows().addInput(action);
    }
    std::size_t journalBefore = sim.machine().journalLines().size();
    std::uint64_t start = sim.clock().now();

    ObservedPlatform platform(sim);
    // As the program's start-up reads it: the last argument less one leading '/' or '-'.
    theCommandLineArg = !argument.empty() && (argument[0] == '/' || argument[0] == '-')
                            ? argument.substr(1)
                            : argument;
    theLastServiceState = 101;
    SetupRun run;
    {
        SetupDialog dialog(platform);
        platform.m_observe = [&] { run.positions.push_back(dialog.m_currentProgress.GetPos()); };
        dialog.DoModal();
        platform.m_observe = [] {};
        run.exitCode = dialog.ExitCode();
    }
    const SimDialogState* state = sim.simWindows().dialogState();
    run.dialogEnded = state != nullptr && state->ended;
    if (const SimControlState* edit = state ? state->control(IDC_STATUS_EDIT) : nullptr) {
        run.statusText = edit->text;
    }
    for (int button : {IDC_INSTALL, IDC_UNINSTALL}) {
        const SimControlState* control = state ? state->control(button) : nullptr;
        run.buttonsEnabled = run.buttonsEnabled && control != nullptr && control->enabled;
    }
    run.boxes = sim.simWindows().messageBoxes();
    std::vector<std::string> lines = sim.machine().journalLines();
    run.journal.assign(lines.begin() + static_cast<std::ptrdiff_t>(journalBefore), lines.end());
    run.elapsed = sim.clock().now() - start;
    return run;
}

void SequenceTest::SetServiceKnobs(const SimServices::Knobs& knobs) {
    SimPlatform(test_support::VirtualClockMachine(m_root)).setServiceKnobs(knobs);
}

std::string SequenceTest::Host(const std::string& windowsPath) const {
    std::string path = windowsPath.substr(3);
    for (char& c : path) {
        c = c == '\\' ? '/' : c;
    }
    return m_root + "/" + windowsPath.substr(0, 1) + "/" + path;
}

bool SequenceTest::Exists(const std::string& windowsPath) const {
    return fs::exists(Host(windowsPath));
}

std::string SequenceTest::ReadHostFile(const std::string& hostPath) const {
    return test_support::ReadHostFile(hostPath);
}

void SequenceTest::WriteHostFile(const std::string& hostPath, const std::string& content) const {
    test_support::WriteHostFile(hostPath, content);
}

std::vector<std::string> SequenceTest::FilesBelow(const std::string& hostFolder) const {
    std::vector<std::string> files;
    if (!fs::is_directory(hostFolder)) {
        return files;
    }
    for (const auto& entry : fs::recursive_directory_iterator(hostFolder)) {
        if (entry.is_regular_file()) {
            files.push_back(fs::relative(entry.path(), hostFolder).string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::string> SequenceTest::ArchiveNames(const std::string& setupPath) {
    std::unique_ptr<FileSystem> files = createNativeFileSystem();
    SfxExtractor reader(*files, setupPath);
    std::vector<std::string> names;
    if (reader.ReadDirectory(setupPath) == SFX_OK) {
        for (int i = 0; i < reader.m_entryCount; ++i) {
            names.push_back(reader.Entry(i).m_name);
        }
    }
    return names;
}

void SequenceTest::ArchiveEntrySpan(const std::string& setupPath, const std::string& name,
                                    std::uint32_t& offset, std::uint32_t& packedSize) {
    std::unique_ptr<FileSystem> files = createNativeFileSystem();
    SfxExtractor reader(*files, setupPath);
    offset = packedSize = 0;
    if (reader.ReadDirectory(setupPath) != SFX_OK) {
        return;
    }
    for (int i = 0; i < reader.m_entryCount; ++i) {
        if (reader.Entry(i).m_name == name) {
            offset = reader.Entry(i).m_offset;
            packedSize = reader.Entry(i).m_packedSize;
        }
    }
}

std::uint32_t SequenceTest::ServiceState() {
    SimPlatform sim(test_support::VirtualClockMachine(m_root));
    return sim.simServices().currentState(theServiceName);
}

bool SequenceTest::ServiceRecord(SimServices::Record& record) {
    SimPlatform sim(test_support::VirtualClockMachine(m_root));
    return sim.simServices().lookup(theServiceName, record);
}

std::vector<std::string> PausesAndControls(const std::vector<std::string>& journal) {
    std::vector<std::string> events;
    for (const std::string& line : journal) {
        if (std::string pause = FieldAfter(line, "sleep: "); !pause.empty()) {
            events.push_back("sleep " + pause);
        }
        std::string request = FieldAfter(line, "service: " + theServiceName + " control ");
        if (!request.empty()) {
            events.push_back("control " + request.substr(0, request.find(' ')));
        }
    }
    return events;
}

std::vector<int> DistinctPositions(const std::vector<int>& positions) {
    std::vector<int> distinct;
    for (int position : positions) {
        if (distinct.empty() || distinct.back() != position) {
            distinct.push_back(position);
        }
    }
    return distinct;
}

std::string LogHeader(const std::string& logText) {
    return logText.substr(0, logText.find("\r\n"));
}

std::string LogBody(const std::string& logText) {
    std::size_t end = logText.find("\r\n");
    return end == std::string::npos ? std::string() : logText.substr(end + 2);
}
