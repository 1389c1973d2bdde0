// Drives the setup program's own service, file and process operations on a real Windows
// machine (Wine, in the checks), one step per argument, and prints what each step returned and
// the status line it left:
//   ServiceCheck.exe create start control:139 query stop delete query
// Steps: create, start (with retries), stop (with retries), startonce, stoponce, query,
// control:N, close (139), launch (133), delete, sleep:MS, lock, run:PATH[|PARAMETERS]
// (RunAndWait: 1 when it ran), ensure:PATH (EnsureDirectory), movefiles, deletetools,
// deleteprogram, deletetemp, sweep; hold (keeps a handle to the service open until the end),
// exec:PATH (the platform's own error for starting PATH).
// Output lines: "<step> -> <result> | <status line with \r\n written out>".

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "shell/SetupDialog.h"

namespace {

std::string visible(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

bool startsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// Handles that "hold" keeps open until the program ends.
std::vector<std::unique_ptr<ServiceManager>> theHeldManagers;
std::vector<std::unique_ptr<Service>> theHeldServices;

int HoldService(Platform& platform) {
    std::unique_ptr<ServiceManager> manager;
    std::unique_ptr<Service> service;
    Win32Error error = platform.services().openManager(SVC_MANAGER_CONNECT, manager);
    if (error == WIN_OK) {
        error = manager->openService(theServiceName, SVC_QUERY_STATUS, service);
    }
    theHeldManagers.push_back(std::move(manager));
    theHeldServices.push_back(std::move(service));
    return static_cast<int>(error);
}

// One step; false for a step this program does not know.
bool RunStep(Platform& platform, SetupDialog& dialog, const std::string& step, int& result) {
    dialog.SetStatus("");
    if (step == "create") {
        result = dialog.CreateProductService();
    } else if (step == "start") {
        result = dialog.StartOrStopWithRetry(0);
    } else if (step == "stop") {
        result = dialog.StartOrStopWithRetry(1);
    } else if (step == "startonce") {
        result = dialog.StartProductService();
    } else if (step == "stoponce") {
        result = dialog.StopProductService();
    } else if (step == "query") {
        result = dialog.QueryServiceState();
    } else if (step == "delete") {
        result = dialog.DeleteProductService();
    } else if (step == "close") {
        dialog.OnCloseProduct();
    } else if (step == "launch") {
        dialog.OnLaunch();
    } else if (startsWith(step, "control:")) {
        dialog.SendServiceControl(std::atoi(step.c_str() + 8));
    } else if (startsWith(step, "sleep:")) {
        platform.clock().sleep(static_cast<std::uint32_t>(std::atoi(step.c_str() + 6)));
    } else if (step == "lock") {
        result = platform.acquireSetupLock() ? 1 : 0;
    } else if (startsWith(step, "run:")) {
        std::string command = step.substr(4);
        std::size_t bar = command.find('|');
        std::string parameters = bar == std::string::npos ? "" : command.substr(bar + 1);
        result = dialog.RunAndWait(command.substr(0, bar), parameters) ? 1 : 0;
    } else if (startsWith(step, "exec:")) {
        result = static_cast<int>(platform.processes().runAndWait(step.substr(5), ""));
    } else if (step == "hold") {
        result = HoldService(platform);
    } else if (startsWith(step, "ensure:")) {
        dialog.EnsureDirectory(step.substr(7));
    } else if (step == "movefiles") {
        dialog.MoveFilesIntoPlace();
    } else if (step == "deletetools") {
        dialog.DeleteSetupTools();
    } else if (step == "deleteprogram") {
        dialog.DeleteProgramDirectory();
    } else if (step == "deletetemp") {
        dialog.DeleteTempDirectory();
    } else if (step == "sweep") {
        dialog.SweepRedistLeftovers();
    } else {
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::unique_ptr<Platform> platform = createPlatform();
    SetupDialog dialog(*platform);
    for (int i = 1; i < argc; ++i) {
        std::string step = argv[i];
        int result = 0;
        if (!RunStep(*platform, dialog, step, result)) {
            std::fprintf(stderr, "unknown step %s\n", step.c_str());
            return 2;
        }
        std::printf("%s -> %d | %s\n", step.c_str(), result, visible(dialog.m_statusText).c_str());
        std::fflush(stdout);
    }
    return 0;
}
