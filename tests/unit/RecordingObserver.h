#pragma once

// A sequence's observer for tests: remembers every call and what the screen would show, and
// passes each call on to another observer (the real dialog) when it is given one.

#include <functional>
#include <string>
#include <vector>

#include "progress/SequenceObserver.h"

namespace test_support {

class RecordingObserver : public SequenceObserver {
public:
    explicit RecordingObserver(SequenceObserver* inner = nullptr) : m_inner(inner) {}

    void SetTotalRange(int lower, int upper) override {
        Note("range " + std::to_string(lower) + " " + std::to_string(upper));
        totalUpper = upper;
        totalSteps = 0;
        Pass([&](SequenceObserver& o) { o.SetTotalRange(lower, upper); });
    }
    void StepTotal() override {
        Note("step");
        ++totalSteps;
        Pass([](SequenceObserver& o) { o.StepTotal(); });
    }
    void SetCurrentPos(int position) override {
        Note("pos " + std::to_string(position));
        positions.push_back(position);
        Pass([&](SequenceObserver& o) { o.SetCurrentPos(position); });
    }
    void ShowBars() override {
        Note("bars");
        barsShown = true;
        Pass([](SequenceObserver& o) { o.ShowBars(); });
    }
    void SetTotalLabel(TextRef text) override {
        Note("total-label " + std::string(text));
        totalLabel = text;
        Pass([&](SequenceObserver& o) { o.SetTotalLabel(text); });
    }
    void SetCurrentLabel(TextRef text) override {
        Note("label " + std::string(text));
        currentLabel = text;
        Pass([&](SequenceObserver& o) { o.SetCurrentLabel(text); });
    }
    void SetStatus(const String& text) override {
        status = text;
        Pass([&](SequenceObserver& o) { o.SetStatus(text); });
    }
    void Refresh() override {
        Note("refresh");
        shownStatus = status;
        shownTotalLabel = totalLabel;
        shownCurrentLabel = currentLabel;
        Pass([](SequenceObserver& o) { o.Refresh(); });
    }
    void PumpMessages() override {
        Note("pump");
        Pass([](SequenceObserver& o) { o.PumpMessages(); });
        if (onPump) {
            onPump();
        }
    }
    void PumpMessagesIfDue() override {
        Note("pump-if-due");
        Pass([](SequenceObserver& o) { o.PumpMessagesIfDue(); });
        if (onPump) {
            onPump();
        }
    }
    void ShowMessage(const String& text) override {
        Note("box " + std::string(text));
        boxes.push_back(std::string(text));
        Pass([&](SequenceObserver& o) { o.ShowMessage(text); });
    }
    void Finish(int code, bool close) override {
        Note("finish " + std::to_string(code) + (close ? " close" : " open"));
        finished = true;
        exitCode = code;
        closed = close;
        Pass([&](SequenceObserver& o) { o.Finish(code, close); });
    }

    // Every call but the status text, in order ("pos 30", "label Extracting a.bmp", "refresh").
    std::vector<std::string> calls;
    std::vector<int> positions;  // every position of the lower bar, in order
    int totalUpper = 0;
    int totalSteps = 0;  // since the range was last set
    bool barsShown = false;
    std::string status, totalLabel, currentLabel;
    // What the controls show: the texts as of the last Refresh.
    std::string shownStatus, shownTotalLabel, shownCurrentLabel;
    std::vector<std::string> boxes;
    bool finished = false;
    int exitCode = -1;
    bool closed = false;
    // Runs after every pump, where a person's input would arrive.
    std::function<void()> onPump;

private:
    void Note(const std::string& call) { calls.push_back(call); }
    template <class F>
    void Pass(F call) {
        if (m_inner != nullptr) {
            call(*m_inner);
        }
    }

    SequenceObserver* m_inner;
};

}  // namespace test_support
