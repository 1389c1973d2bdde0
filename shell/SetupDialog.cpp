#include "shell/SetupDialog.h"

#include "setup/ProductPaths.h"
#include "setup/ProductService.h"
#include "setup/SetupExitCode.h"
#include "setup/RunSequence.h"

namespace {

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

SetupDialog::SetupDialog(Platform& platform, RunMode mode, const String& logCopy)
    : Dialog(platform.windows(), IDD_SETUP_DIALOG),
      m_platform(platform),
      m_mode(mode),
      m_currentProgress(platform.windows()),
      m_totalProgress(platform.windows()),
      m_totalLabel("Total Progress"),
      m_currentLabel("Current Progress"),
      m_hIcon(m_windows.loadIcon(IDR_MAINFRAME)),
      m_logFile(platform, logCopy),
      m_exitCode(SETUP_EXIT_CLOSED) {}

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

bool SetupDialog::OnInitDialog() {
    Dialog::OnInitDialog();
    SetIcon(m_hIcon);
    // A bad or missing archive shows only when a sequence extracts, and in the log's details.
    String fault;
    int read = ReadOwnDirectory(m_extractor, m_platform.files(), fault);
    m_logFile.Details().SetArchive(read, fault, m_extractor.m_entryCount, m_extractor.Extent());
    m_statusEdit.Show();
    m_statusText = SETUP_TEMP_DIR;
    m_titleText = LoadStringResource(IDS_TITLE);
    switch (m_mode) {
        case RunMode::Interactive:
            for (TextProgressCtrl* bar : {&m_totalProgress, &m_currentProgress}) {
                bar->ShowText(true);
                bar->SetStep(1);
            }
            ShowBars();
            UpdateData(false);
            break;
        case RunMode::Uninstall:
            OnTest();
            OnUninstall();
            break;
        case RunMode::Install:
            OnTest();
            OnInstall();
            break;
        case RunMode::Usage:
            // The usage message stays a box even for a deployment tool: it called us wrongly.
            // (Where nobody sees the desktop, SetupApp has answered before any window.)
            AfxMessageBox(RUN_USAGE_MESSAGE, DLG_MB_OK);
            m_exitCode = SETUP_EXIT_USAGE;
            Dialog::OnCancel();
            return false;
    }
    CheckPreviousVersion();
    return true;
}

void SetupDialog::CheckPreviousVersion() {
    if (!m_platform.files().findFile(SETUP_PREVIOUS_VERSION_MARK)) {
        return;
    }
    // From the command line nobody would answer a box: the log file carries the message. Only a
    // run that ended 0 says so with its code: a failure is what a deployment tool must act on,
    // and a restart that completes the run must still be scheduled.
    if (IsCommandLine(m_mode)) {
        m_logFile.Append(PREVIOUS_VERSION_MESSAGE);
        if (m_exitCode == SETUP_EXIT_SUCCESS) {
            m_exitCode = SETUP_EXIT_PREVIOUS_VERSION;
        }
    } else {
        AfxMessageBox(PREVIOUS_VERSION_MESSAGE, DLG_MB_OK);
        m_exitCode = SETUP_EXIT_PREVIOUS_VERSION;
    }
    m_logFile.SetExitCode(m_exitCode);
    Dialog::OnCancel();
}

void SetupDialog::OnCancel() {
    // Esc or the close button in the middle of a sequence (the extraction's message pump lets
    // them through) would end the dialog under the running sequence.
    if (!m_sequenceRunning) {
        Dialog::OnCancel();
    }
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

void SetupDialog::OnInstall() {
    RunOnce(SequenceKind::Install);
}

void SetupDialog::OnUninstall() {
    RunOnce(SequenceKind::Uninstall);
}

void SetupDialog::RunOnce(SequenceKind kind) {
    if (BeginSequence()) {
        RunSequence(kind, {m_platform, m_mode, m_extractor, m_logFile, *this});
        EndSequence();
    }
}

void SetupDialog::OnCloseProduct() {
    SendProductControl(SERVICE_CODE_CLOSE);
}

void SetupDialog::OnLaunch() {
    SendProductControl(SERVICE_CODE_LAUNCH);
}

void SetupDialog::SendProductControl(int code) {
    SetStatus(ProductService(m_platform).SendServiceControl(code).statusLine);
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

void SetupDialog::ShowBars() {
    m_totalProgress.Show();
    m_currentProgress.Show();
}

void SetupDialog::Finish(int exitCode, bool close) {
    m_exitCode = exitCode;
    if (close) {
        // The dialog's own OnCancel refuses while a sequence runs; the sequence itself may.
        Dialog::OnCancel();
    }
}
