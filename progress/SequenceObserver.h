#pragma once

#include "text/StringType.h"
#include "text/TextRef.h"

#include "progress/StatusDisplay.h"

// What a running sequence shows a person: the two bars, their labels, the status line and its
// message boxes, and its end. The setup dialog turns each call into control updates; tests
// record them. It is also where a step's operations show their status lines as they go.
class SequenceObserver : public StatusDisplay {
public:
    virtual ~SequenceObserver() = default;

    // The upper bar counts entries extracted; the lower one shows the entry being extracted,
    // then the sequence's steps (range 0..100). Both repaint at once when their fill changes.
    virtual void SetTotalRange(int lower, int upper) = 0;
    virtual void StepTotal() = 0;
    virtual void SetCurrentPos(int position) = 0;
    virtual void ShowBars() = 0;

    // Texts reach the screen together, at the next Refresh. The labels are mostly constant
    // texts, which a TextRef takes without building a String at the call.
    virtual void SetTotalLabel(TextRef text) = 0;
    virtual void SetCurrentLabel(TextRef text) = 0;
    virtual void SetStatus(const String& text) = 0;
    virtual void Refresh() = 0;
    // A status line on screen at once.
    void ShowStatus(const String& text) final {
        SetStatus(text);
        Refresh();
    }

    // Lets the window handle what waits for it (paints, clicks) in the middle of a long step.
    virtual void PumpMessages() = 0;
    // The same at a chance that comes very often: only when something could otherwise wait
    // longer than a person notices.
    virtual void PumpMessagesIfDue() { PumpMessages(); }
    // A box that waits for the person's OK.
    virtual void ShowMessage(const String& text) = 0;
    // The sequence has ended with this exit code; close: the dialog goes too.
    virtual void Finish(int exitCode, bool close) = 0;
};
