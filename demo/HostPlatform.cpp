// The host program's platform: the simulated machine that the environment describes, with the
// dialog drawn on the standard output for ZIL_UI=text.
#include <memory>
#include <string>

#include <unistd.h>

#include "demo/TerminalFrontEnd.h"
#include "platform/sim/SimPlatform.h"

std::unique_ptr<Platform> createPlatform(String& error) {
    SimConfig config;
    std::string reason;
    if (!SimConfig::fromEnvironment(config, reason)) {
        error = reason;
        return nullptr;
    }
    std::unique_ptr<SimFrontEnd> frontEnd;
    if (config.ui == SimUi::Text) {
        // Redrawing in place is for a terminal; a file or a pipe keeps plain lines.
        auto drawing = isatty(STDOUT_FILENO) ? TerminalFrontEnd::Drawing::InPlace
                                             : TerminalFrontEnd::Drawing::Lines;
        frontEnd = std::make_unique<TerminalFrontEnd>(STDIN_FILENO, stdout, drawing);
    }
    return std::make_unique<SimPlatform>(std::move(config), std::move(frontEnd));
}
