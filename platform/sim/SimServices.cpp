#include "platform/sim/SimServices.h"

#include "paths/WindowsPaths.h"
#include "platform/sim/SimStateLock.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

using Record = SimServices::Record;
using Table = std::vector<Record>;

std::string hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

std::string restOf(std::istringstream& line) {
    std::string rest;
    std::getline(line >> std::ws, rest);
    return rest;
}

Table loadTable(const std::string& path) {
    Table table;
    std::ifstream in(path);
    std::string text;
    while (std::getline(in, text)) {
        std::istringstream line(text);
        std::string key;
        line >> key;
        if (key == "service") {
            table.emplace_back();
            table.back().settings.name = restOf(line);
            continue;
        }
        if (table.empty()) {
            continue;
        }
        Record& r = table.back();
        if (key == "display") {
            r.settings.displayName = restOf(line);
        } else if (key == "image") {
            r.settings.imagePath = restOf(line);
        } else if (key == "account") {
            r.settings.account = restOf(line);
        } else if (key == "type") {
            line >> r.settings.serviceType;
        } else if (key == "start-type") {
            line >> r.settings.startType;
        } else if (key == "error-control") {
            line >> r.settings.errorControl;
        } else if (key == "state") {
            line >> r.settledState;
        } else if (key == "pending") {
            line >> r.pendingState >> r.pendingSince >> r.pendingFor >> r.pendingOwner;
            if (r.pendingOwner == "-") {
                r.pendingOwner.clear();
            }
        } else if (key == "marked-for-delete") {
            line >> r.markedForDelete;
        } else if (key == "handles") {
            std::string owner;
            int count = 0;
            line >> owner >> count;
            r.openHandles[owner] = count;
        } else if (key == "control") {
            std::uint32_t code = 0;
            line >> code;
            r.controls.push_back(code);
        }
    }
    return table;
}

void saveTable(const std::string& path, const Table& table) {
    std::string temporary = path + ".new";
    {
        std::ofstream out(temporary, std::ios::trunc);
        for (const Record& r : table) {
            out << "service " << std::string_view(r.settings.name) << "\ndisplay "
                << std::string_view(r.settings.displayName) << "\nimage "
                << std::string_view(r.settings.imagePath) << "\naccount "
                << std::string_view(r.settings.account) << "\ntype " << r.settings.serviceType
                << "\nstart-type " << r.settings.startType << "\nerror-control "
                << r.settings.errorControl << "\nstate " << r.settledState << "\npending "
                << r.pendingState << ' ' << r.pendingSince << ' ' << r.pendingFor << ' '
                << (r.pendingOwner.empty() ? "-" : r.pendingOwner) << "\nmarked-for-delete "
                << r.markedForDelete << '\n';
            for (const auto& [owner, count] : r.openHandles) {
                out << "handles " << owner << ' ' << count << '\n';
            }
            for (std::uint32_t code : r.controls) {
                out << "control " << code << '\n';
            }
        }
    }
    // A reader without the lock (a person, a test) never sees half a file.
    std::rename(temporary.c_str(), path.c_str());
}

Table::iterator findRecord(Table& table, std::string_view name) {
    return std::find_if(table.begin(), table.end(),
                        [&](const Record& r) { return EqualsIgnoringCase(r.settings.name, name); });
}

bool ownerAlive(const std::string& owner) {
    pid_t pid = static_cast<pid_t>(std::atoll(owner.c_str()));
    if (pid <= 0) {
        return false;
    }
    return pid == ::getpid() || ::kill(pid, 0) == 0 || errno == EPERM;
}

std::uint32_t stateOf(const Record& r) {
    return r.pendingState != 0 ? r.pendingState : r.settledState;
}

String unquotedImage(const String& imagePath) {
    if (!imagePath.empty() && imagePath.front() == '"') {
        std::size_t end = imagePath.find('"', 1);
        return imagePath.substr(1, end == String::npos ? String::npos : end - 1);
    }
    return imagePath;
}

std::string knobsPath(const SimMachine& machine) {
    return machine.root() + "/service-knobs.txt";
}

// One request: the lock held, the table loaded and settled, the change, the table written.
class SimServiceState {
public:
    explicit SimServiceState(SimServices& services) : m_services(services) {}

    // Runs change on the settled table; a change that returns WIN_OK or not, the table is
    // written back, because settling alone may have completed a deletion or a pending state.
    Win32Error transact(const std::function<Win32Error(Table&)>& change) {
        SimMachine& machine = m_services.machine();
        SimStateLock lock(machine.root() + "/services.lock");
        if (!lock.held()) {
            return WIN_ACCESS_DENIED;
        }
        std::string path = machine.root() + "/services.txt";
        Table table = loadTable(path);
        settle(table);
        Win32Error error = change(table);
        settle(table);
        saveTable(path, table);
        return error;
    }

private:
    void settle(Table& table) {
        std::uint64_t now = m_services.machine().now();
        for (Record& r : table) {
            settlePending(r, now);
            std::erase_if(r.openHandles, [](const auto& entry) {
                return entry.second <= 0 || !ownerAlive(entry.first);
            });
        }
        std::erase_if(table, [&](const Record& r) {
            bool gone = r.markedForDelete && stateOf(r) == SVC_STOPPED && r.openHandles.empty();
            if (gone) {
                m_services.machine().journal("service", r.settings.name + " deletion complete");
            }
            return gone;
        });
    }

    void settlePending(Record& r, std::uint64_t now) {
        if (r.pendingState == 0 || r.pendingFor == SimServices::SIM_FOREVER) {
            return;
        }
        // Another process's clock cannot be compared with ours: its change has had its time.
        bool ours =
            r.pendingOwner == m_services.owner() || r.pendingOwner == SimServices::SIM_ANY_CLOCK;
        if (!ours || now >= r.pendingSince + r.pendingFor) {
            r.pendingState = 0;
            r.pendingOwner.clear();
        }
    }

    SimServices& m_services;
};

class SimService : public Service {
public:
    SimService(SimServices& services, String name, std::uint32_t access)
        : m_services(services), m_name(std::move(name)), m_access(access) {}

    ~SimService() override {
        SimServiceState(m_services).transact([&](Table& table) -> Win32Error {
            auto it = findRecord(table, m_name);
            if (it != table.end()) {
                --it->openHandles[m_services.owner()];
            }
            return WIN_OK;
        });
    }

    Win32Error start() override {
        return request("start", SVC_START, [&](Record& r) -> Win32Error { return startRecord(r); });
    }

    Win32Error control(std::uint32_t code, ServiceStatus& status) override {
        std::uint32_t needed = code == SVC_CONTROL_STOP ? SVC_STOP : SVC_USER_DEFINED_CONTROL;
        return request("control " + std::to_string(code), needed, [&](Record& r) -> Win32Error {
            Win32Error error = controlRecord(r, code);
            fill(r, status);
            return error;
        });
    }

    Win32Error remove() override {
        return request("delete", SVC_DELETE, [](Record& r) -> Win32Error {
            if (r.markedForDelete) {
                return WIN_SERVICE_MARKED_FOR_DELETE;
            }
            r.markedForDelete = true;
            return WIN_OK;
        });
    }

    Win32Error queryStatus(ServiceStatus& status) override {
        return request("query", SVC_QUERY_STATUS, [&](Record& r) -> Win32Error {
            fill(r, status);
            return WIN_OK;
        });
    }

    Win32Error queryConfig(ServiceSettings& settings) override {
        return request("config", SVC_QUERY_CONFIG, [&](Record& r) -> Win32Error {
            settings = r.settings;
            settings.desiredAccess = 0;
            return WIN_OK;
        });
    }

private:
    Win32Error request(std::string_view what, std::uint32_t needed,
                       const std::function<Win32Error(Record&)>& act) {
        SimMachine& machine = m_services.machine();
        std::uint32_t state = 0;
        Win32Error error = (m_access & needed) != needed ? WIN_ACCESS_DENIED : WIN_OK;
        if (error == WIN_OK) {
            error = SimServiceState(m_services).transact([&](Table& table) -> Win32Error {
                auto it = findRecord(table, m_name);
                if (it == table.end()) {
                    return WIN_INVALID_HANDLE;
                }
                Win32Error outcome = act(*it);
                state = stateOf(*it);
                return outcome;
            });
        }
        String line = m_name + " " + what + " -> " + ToString(error);
        if (what == "query" && error == WIN_OK) {
            line += ", state " + ToString(state);
        }
        machine.journal("service", line);
        return error;
    }

    Win32Error startRecord(Record& r) {
        if (r.markedForDelete) {
            return WIN_SERVICE_MARKED_FOR_DELETE;
        }
        if (stateOf(r) != SVC_STOPPED) {
            return WIN_SERVICE_ALREADY_RUNNING;
        }
        SimMachine& machine = m_services.machine();
        if (!machine.isFile(unquotedImage(r.settings.imagePath))) {
            return WIN_FILE_NOT_FOUND;
        }
        SimServices::Knobs knobs = m_services.knobs();
        if (knobs.needsRuntime && !machine.isFile(SIM_RUNTIME_MARKER)) {
            return WIN_SERVICE_REQUEST_TIMEOUT;
        }
        r.settledState = SVC_RUNNING;
        if (knobs.neverStarts || knobs.startDelay > 0) {
            r.pendingState = SVC_START_PENDING;
            r.pendingOwner = m_services.owner();
            r.pendingSince = machine.now();
            r.pendingFor = knobs.neverStarts ? SimServices::SIM_FOREVER : knobs.startDelay;
        }
        return WIN_OK;
    }

    Win32Error controlRecord(Record& r, std::uint32_t code) {
        bool userDefined = code >= 128 && code <= 255;
        if (code != SVC_CONTROL_STOP && !userDefined) {
            return WIN_INVALID_SERVICE_CONTROL;
        }
        std::uint32_t state = stateOf(r);
        if (state == SVC_STOPPED) {
            return WIN_SERVICE_NOT_ACTIVE;
        }
        if (state != SVC_RUNNING && state != SimServices::SIM_PAUSED) {
            return WIN_SERVICE_CANNOT_ACCEPT_CTRL;
        }
        if (userDefined) {
            r.controls.push_back(code);
            return WIN_OK;
        }
        r.settledState = SVC_STOPPED;
        std::uint32_t delay = m_services.knobs().stopDelay;
        if (delay > 0) {
            r.pendingState = SVC_STOP_PENDING;
            r.pendingOwner = m_services.owner();
            r.pendingSince = m_services.machine().now();
            r.pendingFor = delay;
        }
        return WIN_OK;
    }

    static void fill(const Record& r, ServiceStatus& status) { status.currentState = stateOf(r); }

    SimServices& m_services;
    String m_name;
    std::uint32_t m_access;
};

class SimServiceManager : public ServiceManager {
public:
    SimServiceManager(SimServices& services, std::uint32_t access)
        : m_services(services), m_access(access) {}

    Win32Error openService(const String& name, std::uint32_t access,
                           std::unique_ptr<Service>& service) override {
        Win32Error error = (m_access & SVC_MANAGER_CONNECT) == 0 ? WIN_ACCESS_DENIED : WIN_OK;
        String recordedName = name;
        if (error == WIN_OK) {
            error = SimServiceState(m_services).transact([&](Table& table) -> Win32Error {
                auto it = findRecord(table, name);
                if (it == table.end()) {
                    return WIN_SERVICE_DOES_NOT_EXIST;
                }
                if (it->markedForDelete) {
                    return WIN_SERVICE_MARKED_FOR_DELETE;
                }
                recordedName = it->settings.name;
                ++it->openHandles[m_services.owner()];
                return WIN_OK;
            });
        }
        if (error == WIN_OK) {
            service = std::make_unique<SimService>(m_services, recordedName, access);
        }
        m_services.machine().journal(
            "service", name + " open " + std::string_view(hex(access)) + " -> " + ToString(error));
        return error;
    }

    Win32Error createService(const ServiceSettings& settings,
                             std::unique_ptr<Service>& service) override {
        Win32Error error =
            (m_access & SVC_MANAGER_CREATE_SERVICE) == 0 ? WIN_ACCESS_DENIED : WIN_OK;
        if (error == WIN_OK && !validName(settings.name)) {
            error = WIN_INVALID_NAME;
        }
        if (error == WIN_OK) {
            error = SimServiceState(m_services).transact([&](Table& table) -> Win32Error {
                return addRecord(table, settings);
            });
        }
        if (error == WIN_OK) {
            service =
                std::make_unique<SimService>(m_services, settings.name, settings.desiredAccess);
        }
        m_services.machine().journal(
            "service", settings.name + " create " + settings.imagePath + " -> " + ToString(error));
        return error;
    }

private:
    static bool validName(const String& name) {
        return !name.empty() && name.size() <= 256 && name.find_first_of("\\/\r\n") == String::npos;
    }

    Win32Error addRecord(Table& table, const ServiceSettings& settings) {
        auto it = findRecord(table, settings.name);
        if (it != table.end()) {
            return it->markedForDelete ? WIN_SERVICE_MARKED_FOR_DELETE : WIN_SERVICE_EXISTS;
        }
        Record r;
        r.settings = settings;
        r.settings.desiredAccess = 0;
        r.openHandles[m_services.owner()] = 1;
        table.push_back(std::move(r));
        return WIN_OK;
    }

    SimServices& m_services;
    std::uint32_t m_access;
};

std::atomic<int> theSimServicesInstances{0};

}  // namespace

SimServices::SimServices(SimMachine& machine)
    : m_machine(machine),
      m_owner(std::to_string(::getpid()) + "." + std::to_string(++theSimServicesInstances)) {}

Win32Error SimServices::openManager(std::uint32_t access,
                                    std::unique_ptr<ServiceManager>& manager) {
    manager = std::make_unique<SimServiceManager>(*this, access);
    m_machine.journal("service", "SCM open " + hex(access) + " -> 0");
    return WIN_OK;
}

void SimServices::setKnobs(const Knobs& knobs) {
    std::ofstream out(knobsPath(m_machine), std::ios::trunc);
    out << "start-delay " << knobs.startDelay << "\nstop-delay " << knobs.stopDelay
        << "\nneeds-runtime " << knobs.needsRuntime << "\nnever-starts " << knobs.neverStarts
        << '\n';
}

SimServices::Knobs SimServices::knobs() const {
    Knobs knobs;
    std::ifstream in(knobsPath(m_machine));
    std::string key;
    std::uint64_t value = 0;
    while (in >> key >> value) {
        if (key == "start-delay") {
            knobs.startDelay = static_cast<std::uint32_t>(value);
        } else if (key == "stop-delay") {
            knobs.stopDelay = static_cast<std::uint32_t>(value);
        } else if (key == "needs-runtime") {
            knobs.needsRuntime = value != 0;
        } else if (key == "never-starts") {
            knobs.neverStarts = value != 0;
        }
    }
    return knobs;
}

bool SimServices::lookup(std::string_view name, Record& record) {
    bool found = false;
    SimServiceState(*this).transact([&](Table& table) -> Win32Error {
        auto it = findRecord(table, name);
        found = it != table.end();
        if (found) {
            record = *it;
        }
        return WIN_OK;
    });
    return found;
}

std::uint32_t SimServices::currentState(std::string_view name) {
    Record record;
    return lookup(name, record) ? stateOf(record) : 0;
}
