#pragma once

#include "text/StringType.h"

// Shows a status line the moment an operation has it: the service's retry loop and the upgrade's
// undos, which run inside one step.
class StatusDisplay {
public:
    virtual void ShowStatus(const String& statusLine) = 0;

protected:
    // Never deleted through this interface.
    ~StatusDisplay() = default;
};
