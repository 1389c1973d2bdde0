// Drives the setup program's own service, file and process operations on a real Windows
// machine (Wine, in the checks), one step per argument, and prints what each step returned and
// the status line it left:
//   ServiceCheck.exe create start control:139 query stop delete query
// Steps: create, start (with retries), stop (with retries), startonce, stoponce, query,
// control:N, close (139), launch (133), delete, sleep:MS, lock, run:PATH[|PARAMETERS]
// (RunAndWait: 1 when it ran), ensure:PATH (EnsureDirectory), movefiles, deletetools,
// deleteprogram, deletetemp, sweep; hold (keeps a handle to the service open until the end),
// exec:PATH (the platform's own error for starting PATH); upgrade, removeservice, setaside (the
// first steps of an upgrade: its record, the old service's removal, the old folder set aside;
// a run that ends after them is an upgrade cut off halfway); resume (what the next run does
// first with such a record) and giveback (the restore of a run that fails after it).
// Output lines: "<step> -> <result> | <status line with \r\n written out>".

#include <cstdio>
#include <cstdlib>
#include <memory>
#include "text/StringType.h"
#include <vector>

#include "platform/Platform.h"
#include "setup/FileOperations.h"
#include "setup/ProductPaths.h"
#include "setup/ProductService.h"
#include "setup/Transaction.h"
#include "setup/Upgrade.h"

namespace {

String visible(const String& text) {
    String out;
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

bool startsWith(const String& text, const char* prefix) {
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

// Status lines go to the printed result, not to a window.
struct NoDisplay : StatusDisplay {
    void ShowStatus(const String&) override {}
};

// The program's own operations, as the sequences use them.
struct Operations {
    explicit Operations(Platform& platform)
        : service(platform), files(platform), upgrade(platform, files, service, changes, display) {}
    ProductService service;
    FileOperations files;
    Transaction changes;
    NoDisplay display;
    Upgrade upgrade;
};

// The result printed for a service operation: its error; for a query, the state it read or the
// error that stopped it.
int Printed(const ServiceOutcome& outcome, String& status) {
    status = outcome.statusLine;
    return outcome.error;
}

// One step; false for a step this program does not know.
bool RunStep(Platform& platform, Operations& operations, const String& step, int& result,
             String& status) {
    ProductService& service = operations.service;
    FileOperations& files = operations.files;
    if (step == "create") {
        result = Printed(service.CreateProductService(), status);
    } else if (step == "start") {
        result = Printed(service.StartOrStopWithRetry(SERVICE_MODE_START), status);
    } else if (step == "stop") {
        result = Printed(service.StartOrStopWithRetry(SERVICE_MODE_STOP), status);
    } else if (step == "startonce") {
        result = service.StartProductService();
    } else if (step == "stoponce") {
        result = service.StopProductService();
    } else if (step == "query") {
        ServiceQuery query = service.QueryServiceState();
        status = query.statusLine;
        result = query.error != 0 ? query.error : query.state;
    } else if (step == "delete") {
        result = Printed(service.DeleteProductService(), status);
    } else if (step == "close") {
        Printed(service.SendServiceControl(139), status);
    } else if (step == "launch") {
        Printed(service.SendServiceControl(133), status);
    } else if (startsWith(step, "control:")) {
        Printed(service.SendServiceControl(std::atoi(step.c_str() + 8)), status);
    } else if (startsWith(step, "sleep:")) {
        platform.clock().sleep(static_cast<std::uint32_t>(std::atoi(step.c_str() + 6)));
    } else if (step == "lock") {
        result = platform.acquireSetupLock() ? 1 : 0;
    } else if (startsWith(step, "run:")) {
        String command = step.substr(4);
        std::size_t bar = command.find('|');
        String parameters = bar == String::npos ? "" : command.substr(bar + 1);
        result = files.RunAndWait(command.substr(0, bar), parameters) ? 1 : 0;
    } else if (startsWith(step, "exec:")) {
        std::uint32_t exitCode = 0;
        result =
            static_cast<int>(platform.processes().runForExitCode(step.substr(5), "", exitCode));
    } else if (step == "hold") {
        result = HoldService(platform);
    } else if (startsWith(step, "ensure:")) {
        files.EnsureDirectory(step.substr(7));
    } else if (step == "movefiles") {
        files.MoveFilesIntoPlace();
    } else if (step == "deletetools") {
        files.DeleteSetupTools();
    } else if (step == "deleteprogram") {
        files.DeleteProgramDirectory();
    } else if (step == "deletetemp") {
        files.DeleteTempDirectory();
    } else if (step == "sweep") {
        files.SweepRedistLeftovers();
    } else if (step == "upgrade") {
        StepOutcome begun = operations.upgrade.Begin();
        status = begun.runLog;
        result = static_cast<int>(begun.error);
    } else if (step == "removeservice") {
        result = Printed(operations.upgrade.RemoveService(), status);
    } else if (step == "setaside") {
        result = static_cast<int>(operations.upgrade.SetAsideFolder());
    } else if (step == "resume") {
        Upgrade::Resumption resumed = operations.upgrade.ResumeInterrupted();
        status = resumed.note;
        result = static_cast<int>(resumed.error);
    } else if (step == "giveback") {
        Restoration restored = operations.changes.GiveBack();
        status = restored.runLog;
        result = static_cast<int>(restored.error);
    } else {
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    String error;
    std::unique_ptr<Platform> platform = createPlatform(error);
    Operations operations(*platform);
    for (int i = 1; i < argc; ++i) {
        String step = argv[i];
        int result = 0;
        String status;
        if (!RunStep(*platform, operations, step, result, status)) {
            std::fprintf(stderr, "unknown step %s\n", step.c_str());
            return 2;
        }
        std::printf("%s -> %d | %s\n", step.c_str(), result, visible(status).c_str());
        std::fflush(stdout);
    }
    return 0;
}
