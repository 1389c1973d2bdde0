#include "shell/SetupDialog.h"

namespace {

constexpr const char* USAGE_MESSAGE = "Please use /I or /i to Install , use /U or /u to Uninstall";
constexpr const char* PREVIOUS_VERSION_MESSAGE =
    "Previous ZIL version Detected , Pleas use ZIL V1.04 to remove !!!";

constexpr MessageMapEntry theSetupDialogEntries[] = {
    onMessage<DLG_WM_PAINT, &SetupDialog::OnPaint>(),
    onMessage<DLG_WM_QUERYDRAGICON, &SetupDialog::OnQueryDragIcon>(),
    onClicked<&SetupDialog::OnUninstall>(IDC_UNINSTALL),
    onClicked<&SetupDialog::OnInstall>(IDC_INSTALL),
    onClicked<&SetupDialog::OnCloseProduct>(IDC_CLOSE_PRODUCT),
    onClicked<&SetupDialog::OnTest>(IDC_TEST),
    onMessage<DLG_WM_SYSCOMMAND, &SetupDialog::OnSysCommand>(),
    onClicked<&SetupDialog::OnLaunch>(IDC_LAUNCH),
};

}  // namespace

SetupDialog::SetupDialog(Platform& platform)
    : Dialog(platform.windows(), IDD_SETUP_DIALOG),
      m_platform(platform),
      m_extractor(platform.files()),
      m_currentProgress(platform.windows()),
      m_totalProgress(platform.windows()) {
    m_statusText = "";
    m_titleText = "";
    m_totalLabel = "Total Progress";
    m_currentLabel = "Current Progress";
    m_hIcon = m_windows.loadIcon(IDR_MAINFRAME);
}

SetupDialog::~SetupDialog() = default;

const MessageMap* SetupDialog::GetMessageMap() const {
    static const MessageMap map{Dialog::GetMessageMap(), theSetupDialogEntries,
                                std::size(theSetupDialogEntries)};
    return &map;
}

void SetupDialog::DoDataExchange(DataExchange& exchange) {
    Dialog::DoDataExchange(exchange);
    exchange.Control(IDC_STATUS_EDIT, m_statusEdit);
    exchange.Control(IDC_INSTALL, m_installButton);
    exchange.Control(IDC_UNINSTALL, m_uninstallButton);
    exchange.Control(IDC_CURRENT_PROGRESS, m_currentProgress);
    exchange.Control(IDC_TOTAL_PROGRESS, m_totalProgress);
    exchange.Text(IDC_STATUS_EDIT, m_statusText);
    exchange.Text(IDC_TOTAL_LABEL, m_totalLabel);
    exchange.Text(IDC_CURRENT_LABEL, m_currentLabel);
    exchange.Text(IDC_TITLE, m_titleText);
}

bool SetupDialog::IsCommandLineMode() {
    return theCommandLineArg == "I" || theCommandLineArg == "i" || theCommandLineArg == "U" ||
           theCommandLineArg == "u";
}

bool SetupDialog::OnInitDialog() {
    std::string tempDir = SETUP_TEMP_DIR;
    Dialog::OnInitDialog();
    SetIcon(m_hIcon);
    // A bad or missing archive shows only when a sequence extracts.
    m_extractor.ReadDirectory(m_extractor.GetModulePath());
    m_statusEdit.Show();
    m_statusText = tempDir;
    m_titleText = LoadStringResource(IDS_TITLE);

    if (theCommandLineArg.empty()) {
        for (TextProgressCtrl* bar : {&m_totalProgress, &m_currentProgress}) {
            bar->ShowText(true);
            bar->SetStep(1);
            bar->Show();
        }
        UpdateData(false);
    } else if (theCommandLineArg == "U" || theCommandLineArg == "u") {
        OnTest();
        OnUninstall();
    } else if (theCommandLineArg == "I" || theCommandLineArg == "i") {
        OnTest();
        OnInstall();
    } else {
        // The usage message stays a box even for a deployment tool: it called us wrongly.
        AfxMessageBox(USAGE_MESSAGE, DLG_MB_OK);
        m_exitCode = SETUP_EXIT_USAGE;
        Dialog::OnCancel();
        return false;
    }

    if (m_platform.files().findFile(SETUP_PREVIOUS_VERSION_MARK)) {
        // From the command line nobody would answer a box: the log file carries the message.
        if (IsCommandLineMode()) {
            AppendToLogFile(PREVIOUS_VERSION_MESSAGE);
        } else {
            AfxMessageBox(PREVIOUS_VERSION_MESSAGE, DLG_MB_OK);
        }
        // A sequence that failed keeps its own code: the old version is news, the failure is
        // what a deployment tool must act on.
        if (!IsCommandLineMode() || m_exitCode == SETUP_EXIT_SUCCESS) {
            m_exitCode = SETUP_EXIT_PREVIOUS_VERSION;
        }
        Dialog::OnCancel();
    }
    return true;
}

void SetupDialog::OnCancel() {
    // Esc or the close button in the middle of a sequence (the extraction's message pump lets
    // them through) would end the dialog under the running sequence.
    if (m_sequenceRunning) {
        return;
    }
    Dialog::OnCancel();
}

void SetupDialog::OnPaint() {
    if (!IsIconic()) {
        Default();
        return;
    }
    Rect client = window()->clientRect();
    int x = (client.width() - m_windows.systemMetric(WS_METRIC_CXICON) + 1) / 2;
    int y = (client.height() - m_windows.systemMetric(WS_METRIC_CYICON) + 1) / 2;
    window()->paintIcon(m_hIcon, x, y);
}

IconHandle SetupDialog::OnQueryDragIcon() {
    return m_hIcon;
}

void SetupDialog::OnSysCommand(unsigned id, long param) {
    (void)id;
    (void)param;
    Default();
}

void SetupDialog::OnTest() {
    SetWindowPos(0, 0, 1, 1);
}

bool SetupDialog::BeginSequence() {
    if (m_sequenceRunning) {
        return false;
    }
    m_sequenceRunning = true;
    m_installButton.Enable(false);
    m_uninstallButton.Enable(false);
    return true;
}

void SetupDialog::EndSequence() {
    m_sequenceRunning = false;
    if (window() != nullptr && !window()->hasEnded()) {
        m_installButton.Enable(true);
        m_uninstallButton.Enable(true);
    }
}
