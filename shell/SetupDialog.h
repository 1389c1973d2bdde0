#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/Dialog.h"
#include "platform/Platform.h"
#include "res/resource.h"
#include "progress/TextProgressCtrl.h"
#include "setup/SetupLogFile.h"
#include "sfx/SfxExtractor.h"

// Process exit codes, in the Windows Installer convention that deployment tools understand.
enum : int {
    SETUP_EXIT_SUCCESS = 0,
    SETUP_EXIT_FAILURE = 1603,
    SETUP_EXIT_BAD_ARCHIVE = 1620,
    SETUP_EXIT_PREVIOUS_VERSION = 1638,
    SETUP_EXIT_USAGE = 1639,
    SETUP_EXIT_ALREADY_RUNNING = 1618,
    SETUP_EXIT_CLOSED = 1602,
};

// The fixed places of the product.
inline constexpr const char* SETUP_TEMP_DIR = "C:\\ZIL_Setup_temp";
inline constexpr const char* SETUP_PROGRAM_DIR = "C:\\Program Files (x86)\\ZIL";
inline constexpr const char* SETUP_ICON_DIR = "C:\\Program Files (x86)\\ZIL\\ICONs";
inline constexpr const char* SETUP_SERVICE_EXE = "C:\\Program Files (x86)\\ZIL\\ZIL_Service.exe";
inline constexpr const char* SETUP_REDIST_EXE = "C:\\Program Files (x86)\\ZIL\\vcredist_x86.exe";
inline constexpr const char* SETUP_REDIST_PARAMETERS = " /q:a";
inline constexpr const char* SETUP_PREVIOUS_VERSION_MARK = "C:\\Program Files\\ZIL\\picture";

extern std::string theCommandLineArg;
extern const std::string theServiceName;
extern int theLastServiceState;

// The program's only window. It owns everything a run needs: the extractor, the two bars and
// the strings behind the labels and the status edit; both sequences are its members.
class SetupDialog : public Dialog {
public:
    explicit SetupDialog(Platform& platform);
    ~SetupDialog() override;

    // Shell: start-up and small handlers.
    bool OnInitDialog() override;
    // Ends the dialog, except while a sequence runs: then the close request is ignored.
    void OnCancel() override;
    void DoDataExchange(DataExchange& exchange) override;
    const MessageMap* GetMessageMap() const override;
    void OnPaint();
    IconHandle OnQueryDragIcon();
    void OnSysCommand(unsigned id, long param);
    void OnTest();

    // A sequence calls BeginSequence first and EndSequence last: between them Install and
    // Uninstall are disabled and a close request is ignored, so no second sequence starts
    // inside the first. BeginSequence returns false when a sequence runs already (the caller
    // then returns at once). EndSequence enables the buttons again if the dialog is still open.
    bool BeginSequence();
    void EndSequence();
    // Whether the mode came from the command line ("I", "i", "U", "u"): no person is waiting,
    // so no message box may be shown.
    static bool IsCommandLineMode();
    // A message that a command-line run reports in its log file instead of a message box.
    // Body with the sequences, which own the log file.
    void AppendToLogFile(const std::string& text);

    // The two sequences.
    void OnInstall();
    void OnUninstall();

    // Service control.
    void OnCloseProduct();
    void OnLaunch();
    void SendServiceControl(int code);
    int QueryServiceState();
    int CreateProductService();
    int DeleteProductService();
    int StopProductService();
    int StartProductService();
    int StartOrStopWithRetry(int mode);
    void ReportErrorCode(int code);

    // File and process operations.
    void EnsureDirectory(const std::string& path);
    void DeleteProgramDirectory();
    void DeleteTempDirectory();
    void MoveFilesIntoPlace();
    bool RunAndWait(const std::string& file, const std::string& parameters);
    void DeleteSetupTools();
    void SweepRedistLeftovers();

    // Status reporting.
    void SetStatus(const std::string& text) { m_statusText = text; }
    void AppendStatus(const std::string& text) { m_statusText += text; }

    // The outcome of the run, in the exit codes above.
    int ExitCode() const { return m_exitCode; }

    // The log file ZIL_Setup.log in the temporary folder: each sequence writes its run log
    // there at the end of every path; AppendToLogFile adds after it and rewrites the file with
    // the current m_exitCode; a code set later still reaches the file's first line.
    SetupLogFile& LogFile();

    Platform& m_platform;
    SfxExtractor m_extractor;
    EditControl m_statusEdit;
    ButtonControl m_installButton;
    ButtonControl m_uninstallButton;
    TextProgressCtrl m_currentProgress;
    TextProgressCtrl m_totalProgress;
    std::string m_statusText;
    std::string m_totalLabel;
    std::string m_currentLabel;
    std::string m_titleText;
    IconHandle m_hIcon = 0;

    int m_exitCode = SETUP_EXIT_CLOSED;
    bool m_sequenceRunning = false;           // no second sequence inside the first
    std::unique_ptr<SetupLogFile> m_logFile;  // made by LogFile() when first needed

private:
    // The drive-root files that match the sweep's patterns, sorted; and of one pattern, the
    // matches that were not there when RunAndWait started its program.
    std::vector<std::string> RedistLeftovers();
    std::vector<std::string> NewMatches(const std::string& pattern);

    std::vector<std::string> m_redistBaseline;  // RedistLeftovers() as RunAndWait started
    bool m_redistBaselineTaken = false;
};

// The extraction callback: keeps the window responsive and drives the bars and the label.
int ExtractCallback(int code, void* param, void* context);
