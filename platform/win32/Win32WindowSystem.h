#pragma once

#include <memory>
#include "text/StringType.h"

#include "dialog/PumpSchedule.h"
#include "platform/WindowSystem.h"

class Win32DialogWindow;

// Real windows: the dialog from the executable's template through DialogBoxParamA, its
// progress controls subclassed so they paint themselves, message boxes, the message pump.
class Win32WindowSystem : public WindowSystem {
public:
    Win32WindowSystem();
    ~Win32WindowSystem() override;

    int runModal(Dialog& dialog, int templateId) override;
    int messageBox(const String& text, const String& caption, unsigned type) override;
    void pumpMessages() override;
    void pumpMessagesIfDue() override;
    String loadString(int id) override;
    IconHandle loadIcon(int id) override;
    Color systemColor(int index) override;
    int systemMetric(int index) override;
    String applicationName() override;

private:
    Win32DialogWindow* m_running = nullptr;
    PumpSchedule m_pumpSchedule;
};
