#include "SequenceHarness.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gmock/gmock.h>

#include "res/ProductVersion.h"
#include "res/resource.h"
#include "setup/InstallSequence.h"
#include "setup/RunSequence.h"
#include "sfx/SfxExtractor.h"
#include "shell/SetupApp.h"
#include "tests/faults/MachineFiles.h"
#include "tests/unit/RecordingObserver.h"

namespace fs = std::filesystem;

namespace {

std::string FieldAfter(const std::string& line, const std::string& prefix) {
    return line.rfind(prefix, 0) == 0 ? line.substr(prefix.size()) : std::string();
}

// The entries of a setup program's archive as its reader finds them; none when it cannot be read.
std::vector<ArchiveEntry> EntriesOf(const std::string& setupPath) {
    std::unique_ptr<FileSystem> files = createNativeFileSystem();
    SfxExtractor reader;
    std::unique_ptr<File> archive;
    String fault;
    std::vector<ArchiveEntry> entries;
    if (OpenArchive(*files, setupPath, archive, fault) == SFX_OK &&
        reader.ReadDirectory(*archive) == SFX_OK) {
        for (int i = 0; i < reader.m_entryCount; ++i) {
            entries.push_back(reader.Entry(i));
        }
    }
    return entries;
}

}  // namespace

void SequenceTest::SetUp() {
    m_setupPath = SAMPLE_SETUP;
    // A fresh 64-bit Windows: the folder for 32-bit programs and the temporary folder exist.
    fs::create_directories(m_root + "/C/Program Files (x86)");
    fs::create_directories(m_root + "/C/Windows/Temp");
}

SimConfig SequenceTest::NextMachine(const std::vector<std::string>& input) {
    SimConfig config = test_support::VirtualClockMachine(m_root);
    config.ui = SimUi::None;
    config.modulePath = m_setupPath;
    config.input = input;
    return config;
}

void SequenceTest::ArmFaults(SimPlatform& sim) {
    for (const SimFault& fault : m_faults) {
        sim.faults().fail(fault);
    }
    m_faults.clear();
}

SetupRun SequenceTest::Run(const std::string& argument, const std::vector<std::string>& input) {
    bool commandLine = !argument.empty();
    bool install = commandLine ? (argument == "/I" || argument == "/i")
                               : !input.empty() && input.front() == "click:1000";
    EXPECT_TRUE(commandLine || (input.size() == 1 && input.front().rfind("click:100", 0) == 0))
        << "a sequence run takes one click; RunProgram plays a person";
    RunMode mode = !commandLine ? RunMode::Interactive
                   : install    ? RunMode::Install
                                : RunMode::Uninstall;
    SimPlatform sim(NextMachine({}));
    ArmFaults(sim);
    std::size_t journalBefore = sim.machine().journalLines().size();
    std::uint64_t start = sim.clock().now();

    // What the dialog gives a sequence: the directory it read when it opened, the log file.
    SfxExtractor extractor;
    String fault;
    ReadOwnDirectory(extractor, sim.files(), fault);
    SetupLogFile log(sim);
    test_support::RecordingObserver observer;
    SequenceContext context{sim, mode, extractor, log, observer};
    if (install && m_installSteps) {
        InstallSequence(context).RunSteps(*m_installSteps);
        m_installSteps.reset();
    } else {
        RunSequence(install ? SequenceKind::Install : SequenceKind::Uninstall, context);
    }
    EXPECT_TRUE(observer.finished) << "every path ends the sequence";

    SetupRun run;
    run.exitCode = observer.exitCode;
    run.statusText = observer.shownStatus;
    run.dialogEnded = observer.closed;
    for (const std::string& text : observer.boxes) {
        run.boxes.push_back({"", text, 0});
    }
    run.positions = observer.positions;
    std::vector<std::string> lines = sim.machine().journalLines();
    run.journal.assign(lines.begin() + static_cast<std::ptrdiff_t>(journalBefore), lines.end());
    run.elapsed = sim.clock().now() - start;
    return run;
}

SetupRun SequenceTest::RunProgram(const std::string& argument,
                                  const std::vector<std::string>& input) {
    SimPlatform sim(NextMachine(input));
    ArmFaults(sim);
    std::size_t journalBefore = sim.machine().journalLines().size();
    std::uint64_t start = sim.clock().now();
    test_support::CommandLine line(argument.empty()
                                       ? std::vector<std::string>{"ZIL_Setup"}
                                       : std::vector<std::string>{"ZIL_Setup", argument});
    SetupApp app(sim, line.argc(), line.argv());
    app.InitInstance();

    SetupRun run;
    run.exitCode = app.ExitCode();
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

std::vector<std::string> SequenceTest::FilesBelow(const std::string& hostFolder) const {
    std::vector<std::string> files;
    for (const auto& [path, what] : ListBelow(hostFolder)) {
        if (what.starts_with("file ")) {
            files.push_back(path);
        }
    }
    return files;
}

std::vector<std::string> SequenceTest::ArchiveNames(const std::string& setupPath) {
    std::vector<std::string> names;
    for (const ArchiveEntry& entry : EntriesOf(setupPath)) {
        names.push_back(std::string(entry.m_name));
    }
    return names;
}

std::string SequenceTest::DamagedSetup(const std::string& entry) {
    std::string copy = m_setups.string() + "/damaged-setup";
    fs::copy_file(SAMPLE_SETUP, copy, fs::copy_options::overwrite_existing);
    std::vector<ArchiveEntry> entries = EntriesOf(copy);
    EXPECT_FALSE(entries.empty()) << "the sample setup cannot be read";
    for (const ArchiveEntry& found : entries) {
        if (found.m_name == std::string_view(entry)) {
            EXPECT_GT(found.m_packedSize, 4u) << entry;
            std::fstream file(copy, std::ios::in | std::ios::out | std::ios::binary);
            file.seekg(found.m_offset + found.m_packedSize / 2);
            char byte = 0;
            file.get(byte);
            file.seekp(found.m_offset + found.m_packedSize / 2);
            file.put(static_cast<char>(byte ^ 0x5A));
        }
    }
    return copy;
}

void SequenceTest::ExpectProductGone() {
    EXPECT_FALSE(Exists(SETUP_PROGRAM_DIR));
    EXPECT_FALSE(Exists(SETUP_TEMP_DIR));
    EXPECT_EQ(ServiceState(), 0u);
    SimPlatform sim(test_support::VirtualClockMachine(m_root));
    std::vector<RegistryValue> entry;
    EXPECT_EQ(sim.simRegistry().readValues(SETUP_ENTRY_KEY, entry), WIN_FILE_NOT_FOUND)
        << "Apps & features lists no product that is gone";
}

void SequenceTest::ExpectInstalled() {
    std::vector<std::string> expected = {SETUP_KEPT_SETUP_NAME};
    for (const std::string& name : ArchiveNames(m_setupPath)) {
        if (std::string path = InstalledPath(name); !path.empty()) {
            expected.push_back(path);
        }
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_THAT(FilesBelow(Host(SETUP_PROGRAM_DIR)), ::testing::ElementsAreArray(expected));
    EXPECT_EQ(ReadHostFile(Host(SETUP_KEPT_SETUP)), ReadHostFile(m_setupPath));
    EXPECT_FALSE(Exists(SETUP_TEMP_DIR));
    EXPECT_EQ(ServiceState(), static_cast<std::uint32_t>(SVC_RUNNING));
    SimPlatform sim(test_support::VirtualClockMachine(m_root));
    std::vector<RegistryValue> entry;
    ASSERT_EQ(sim.simRegistry().readValues(SETUP_ENTRY_KEY, entry), WIN_OK);
    EXPECT_THAT(entry,
                ::testing::Contains(RegistryValue::Text("DisplayVersion", ZIL_PRODUCT_VERSION)));
}

void SequenceTest::ExpectNoLeftovers() {
    for (const auto& entry : fs::directory_iterator(m_root + "/C/Program Files (x86)")) {
        std::string name = entry.path().filename().string();
        EXPECT_FALSE(name.starts_with("ZIL.")) << name << " left beside the program folder";
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

std::vector<InstallStep> InstallSteps() {
    StepTable own = InstallSequence::Steps();
    return {own.begin(), own.end()};
}

std::vector<InstallStep> StepsWithAFailedCheckAfterTheStart() {
    std::vector<InstallStep> steps = InstallSteps();
    auto commit = std::find_if(steps.begin(), steps.end(), [](const InstallStep& step) {
        return step.onFailure == StepFailure::Commits;
    });
    steps.insert(commit, {"Check New ZIL Installation",
                          [](Sequence&) { return StepOutcome::Failed(WIN_INVALID_PARAMETER); }, -1,
                          StepFailure::Restores});
    return steps;
}

std::vector<std::string> PausesAndControls(const std::vector<std::string>& journal) {
    std::vector<std::string> events;
    for (const std::string& line : journal) {
        if (std::string pause = FieldAfter(line, "sleep: "); !pause.empty()) {
            events.push_back("sleep " + pause);
        }
        std::string request =
            FieldAfter(line, "service: " + std::string(theServiceName) + " control ");
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

// The run log ends where the line "Details:" begins, as a reader of the file would cut it.
std::string LogBody(const std::string& logText) {
    std::size_t begin = logText.find("\r\n");
    std::size_t details = logText.find("\r\nDetails:\r\n", begin);
    if (begin == std::string::npos || details == std::string::npos) {
        return std::string();
    }
    return logText.substr(begin + 2, details - begin);
}

std::string LogDetails(const std::string& logText) {
    std::size_t details = logText.find("\r\nDetails:\r\n");
    std::size_t footer = logText.rfind("Result: ");
    if (details == std::string::npos || footer == std::string::npos || footer < details) {
        return std::string();
    }
    return logText.substr(details + 2, footer - details - 2);
}

std::string LogFooter(const std::string& logText) {
    std::size_t footer = logText.rfind("Result: ");
    return footer == std::string::npos ? std::string() : logText.substr(footer);
}
