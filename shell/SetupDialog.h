#pragma once

#include "text/StringType.h"

#include "dialog/Dialog.h"
#include "platform/Platform.h"
#include "progress/SequenceObserver.h"
#include "progress/TextProgressCtrl.h"
#include "res/resource.h"
#include "setup/RunMode.h"
#include "setup/RunSequence.h"
#include "setup/SetupLogFile.h"
#include "sfx/SfxExtractor.h"

// The program's only window: the two bars, the labels, the status edit and the buttons. It reads
// the archive's directory, runs the sequence the mode asks for (or waits for a click), and shows
// what the sequence reports. While a sequence runs, Install and Uninstall are disabled and a
// close request is ignored, so no second sequence starts inside the first.
class SetupDialog : public Dialog, public SequenceObserver {
public:
    // logCopy: where the run's log goes as well (/LOG=); "" for nowhere else.
    SetupDialog(Platform& platform, RunMode mode, const String& logCopy = String());
    ~SetupDialog() override;

    bool OnInitDialog() override;
    void OnCancel() override;
    void DoDataExchange(DataExchange& exchange) override;
    const MessageMap* GetMessageMap() const override;
    // Only the dialog that waits for a click is ever seen: every other run (a command-line
    // sequence, the usage box) is over before the window could appear, and it never does.
    bool ShowsWindow() const override { return m_mode == RunMode::Interactive; }

    void OnPaint();
    IconHandle OnQueryDragIcon() { return m_hIcon; }
    void OnSysCommand(unsigned, long) { Default(); }
    // Collapses the window to one pixel in the screen's corner, as a command-line run shows it.
    void OnTest() { SetWindowPos(0, 0, 1, 1); }
    void OnInstall();
    void OnUninstall();
    // The hidden "Close ZIL" and "Launch ZIL" buttons: control codes 139 and 133.
    void OnCloseProduct();
    void OnLaunch();

    // The outcome of the run, in the SETUP_EXIT_ codes.
    int ExitCode() const { return m_exitCode; }

protected:
    // A sequence is starting: false when one runs already (the caller returns at once).
    bool BeginSequence();
    // Buttons back, if the dialog is still open.
    void EndSequence();

private:
    void CheckPreviousVersion();
    // One sequence, unless one runs already.
    void RunOnce(SequenceKind kind);
    // The status line of a control code sent to the product's service.
    void SendProductControl(int code);

    // What the sequences report, onto the controls.
    void SetTotalRange(int lower, int upper) override { m_totalProgress.SetRange(lower, upper); }
    void StepTotal() override { m_totalProgress.StepIt(); }
    void SetCurrentPos(int position) override { m_currentProgress.SetPos(position); }
    void ShowBars() override;
    void SetTotalLabel(TextRef text) override { m_totalLabel = text.c_str(); }
    void SetCurrentLabel(TextRef text) override { m_currentLabel = text.c_str(); }
    void SetStatus(const String& text) override { m_statusText = text; }
    void Refresh() override { UpdateData(false); }
    void PumpMessages() override { m_windows.pumpMessages(); }
    void PumpMessagesIfDue() override { m_windows.pumpMessagesIfDue(); }
    void ShowMessage(const String& text) override { AfxMessageBox(text, DLG_MB_OK); }
    void Finish(int exitCode, bool close) override;

    Platform& m_platform;
    RunMode m_mode;
    SfxExtractor m_extractor;
    EditControl m_statusEdit;
    ButtonControl m_installButton;
    ButtonControl m_uninstallButton;
    TextProgressCtrl m_currentProgress;
    TextProgressCtrl m_totalProgress;
    String m_statusText;
    String m_totalLabel;
    String m_currentLabel;
    String m_titleText;
    IconHandle m_hIcon = 0;

    SetupLogFile m_logFile;
    int m_exitCode;
    bool m_sequenceRunning = false;
};
