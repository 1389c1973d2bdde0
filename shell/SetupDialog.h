#pragma once

#include <string>

#include "platform/Dialog.h"
#include "platform/Platform.h"
#include "progress/TextProgressCtrl.h"
#include "sfx/SfxExtractor.h"

// Resource and control ids of dialog template 102.
enum : int {
    IDD_SETUP_DIALOG = 102,
    IDR_MAINFRAME = 128,
    IDS_TITLE = 1,
    IDS_EXTRACT_NO_DATA = 3,
    IDS_EXTRACT_CREATE_OUTPUT = 4,
    IDS_EXTRACT_INTERNAL = 5,
    IDS_EXTRACT_OK = 6,
    IDS_EXTRACT_CORRUPT = 7,
    IDS_EXTRACT_WRITE = 8,
    IDC_INSTALL = 1000,
    IDC_UNINSTALL = 1001,
    IDC_STATUS_EDIT = 1002,
    IDC_TOTAL_PROGRESS = 1003,
    IDC_TEST = 1004,
    IDC_CURRENT_PROGRESS = 1005,
    IDC_CLOSE_PRODUCT = 1006,
    IDC_TOTAL_LABEL = 1007,
    IDC_CURRENT_LABEL = 1008,
    IDC_TITLE = 1009,
    IDC_LAUNCH = 1010,
};

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
    void OnCancel() override;
    void DoDataExchange(DataExchange& exchange) override;
    bool OnCommand(int controlId) override;
    void OnPaint();
    void OnSysCommand(unsigned id, long param);
    void OnTest();

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

    int m_exitCode = SETUP_EXIT_CLOSED;
    bool m_sequenceRunning = false;  // no second sequence inside the first
};

// The extraction callback: keeps the window responsive and drives the bars and the label.
int ExtractCallback(int code, void* param, void* context);
