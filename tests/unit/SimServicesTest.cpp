#include "platform/sim/SimServices.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include <sys/wait.h>
#include <unistd.h>

#include "tests/unit/ScratchFolder.h"

namespace {

constexpr const char* kName = "JovixZIL";
constexpr const char* kImage = "\"C:\\Program Files (x86)\\ZIL\\ZIL_Service.exe\"";

class SimServicesTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(m_root + "/C/Program Files (x86)/ZIL");
        m_machine = std::make_unique<SimMachine>(config());
        m_services = std::make_unique<SimServices>(*m_machine);
    }
    SimConfig config() const { return test_support::VirtualClockMachine(m_root); }

    void writeHostFile(const std::string& relative) {
        test_support::WriteHostFile(m_root + "/" + relative, "x");
    }
    void installImage() { writeHostFile("C/Program Files (x86)/ZIL/ZIL_Service.exe"); }

    std::unique_ptr<ServiceManager> manager(std::uint32_t access = SVC_MANAGER_ALL_ACCESS) {
        std::unique_ptr<ServiceManager> m;
        EXPECT_EQ(m_services->openManager(access, m), WIN_OK);
        return m;
    }

    Win32Error create(const std::string& name = kName, const std::string& image = kImage) {
        ServiceSettings settings{
            name,  name, SVC_ALL_ACCESS, SVC_WIN32_OWN_PROCESS, SVC_AUTO_START, SVC_ERROR_NORMAL,
            image, ""};
        std::unique_ptr<Service> service;
        return manager()->createService(settings, service);
    }

    std::unique_ptr<Service> open(std::uint32_t access, Win32Error expected = WIN_OK) {
        std::unique_ptr<Service> service;
        EXPECT_EQ(manager()->openService(kName, access, service), expected);
        return service;
    }

    Win32Error control(std::uint32_t code) {
        ServiceStatus status;
        return open(SVC_ALL_ACCESS)->control(code, status);
    }

    void createRunning() {
        installImage();
        ASSERT_EQ(create(), WIN_OK);
        ASSERT_EQ(open(SVC_START)->start(), WIN_OK);
        ASSERT_EQ(m_services->currentState(kName), SVC_RUNNING);
    }

    bool journalHas(const std::string& line) const {
        auto lines = m_machine->journalLines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    test_support::ScratchFolder m_folder{"zil-simservices"};
    std::string m_root = m_folder.string();
    std::unique_ptr<SimMachine> m_machine;
    std::unique_ptr<SimServices> m_services;
};

// The product's own tests hold the rest of the manager; these are what they would let through.
TEST_F(SimServicesTest, NamesIgnoreCase) {
    EXPECT_EQ(create(), WIN_OK);
    EXPECT_EQ(create("JOVIXzil"), WIN_SERVICE_EXISTS);
    EXPECT_EQ(create(""), WIN_INVALID_NAME);
    SimServices::Record record;
    ASSERT_TRUE(m_services->lookup("jovixzil", record));
    EXPECT_EQ(record.settings.name, kName);
}

TEST_F(SimServicesTest, EachRequestNeedsExactlyItsAccessRight) {
    struct Request {
        std::uint32_t right;
        std::function<Win32Error(Service&)> call;
    };
    ServiceStatus status;
    std::vector<Request> requests = {
        {SVC_START, [](Service& s) { return s.start(); }},
        {SVC_STOP, [&](Service& s) { return s.control(SVC_CONTROL_STOP, status); }},
        {SVC_USER_DEFINED_CONTROL, [&](Service& s) { return s.control(139, status); }},
        {SVC_QUERY_STATUS, [&](Service& s) { return s.queryStatus(status); }},
        {SVC_QUERY_CONFIG,
         [](Service& s) {
             ServiceSettings settings;
             return s.queryConfig(settings);
         }},
        {SVC_DELETE, [](Service& s) { return s.remove(); }},
    };
    installImage();
    ASSERT_EQ(create(), WIN_OK);
    for (const Request& request : requests) {
        for (const Request& granted : requests) {
            auto service = open(granted.right);
            ASSERT_NE(service, nullptr);
            Win32Error error = request.call(*service);
            EXPECT_EQ(error == WIN_ACCESS_DENIED, granted.right != request.right)
                << "right " << request.right << " granted " << granted.right << " -> " << error;
        }
        // Undo whatever the allowed request changed, so each starts from a stopped service.
        if (m_services->currentState(kName) == SVC_RUNNING) {
            control(SVC_CONTROL_STOP);
        }
        SimServices::Record record;
        if (!m_services->lookup(kName, record)) {
            ASSERT_EQ(create(), WIN_OK);
        }
    }

    std::unique_ptr<ServiceManager> connectOnly = manager(SVC_MANAGER_CONNECT);
    std::unique_ptr<Service> service;
    ServiceSettings settings{
        "Other",        "Other",          SVC_ALL_ACCESS, SVC_WIN32_OWN_PROCESS,
        SVC_AUTO_START, SVC_ERROR_NORMAL, kImage,         ""};
    EXPECT_EQ(connectOnly->createService(settings, service), WIN_ACCESS_DENIED);
    EXPECT_EQ(manager(SVC_MANAGER_CREATE_SERVICE)->openService(kName, SVC_START, service),
              WIN_ACCESS_DENIED);
}

TEST_F(SimServicesTest, OnlyStopAndUserDefinedCodesAreAccepted) {
    createRunning();
    auto service = open(SVC_ALL_ACCESS);
    std::vector<std::uint32_t> accepted;
    for (std::uint32_t code = 0; code <= 300; ++code) {
        if (code == SVC_CONTROL_STOP) {
            continue;
        }
        ServiceStatus status;
        Win32Error error = service->control(code, status);
        bool userDefined = code >= 128 && code <= 255;
        EXPECT_EQ(error, userDefined ? WIN_OK : WIN_INVALID_SERVICE_CONTROL) << code;
        EXPECT_EQ(status.currentState, SVC_RUNNING);
        if (error == WIN_OK) {
            accepted.push_back(code);
        }
    }
    SimServices::Record record;
    ASSERT_TRUE(m_services->lookup(kName, record));
    EXPECT_EQ(record.controls, accepted);
    EXPECT_EQ(accepted.size(), 128u);
    EXPECT_TRUE(journalHas("service: JovixZIL control 139 -> 0"));
    EXPECT_TRUE(journalHas("service: JovixZIL control 2 -> 1052"));
}

// Another process cannot compare clocks with this one: to it a pending start has completed.
TEST_F(SimServicesTest, AStartIsPendingOnTheClockOfItsProcessOnly) {
    installImage();
    ASSERT_EQ(create(), WIN_OK);
    m_services->setKnobs({.startDelay = 5000});
    ASSERT_EQ(open(SVC_START)->start(), WIN_OK);
    EXPECT_EQ(m_services->currentState(kName), SVC_START_PENDING);
    SimMachine other(config());
    SimServices otherServices(other);
    EXPECT_EQ(otherServices.currentState(kName), SVC_RUNNING);
    EXPECT_EQ(m_services->currentState(kName), SVC_RUNNING);
}

// A service that a run finds on its way: a change that a test wrote with the owner "*" runs on
// the clock of whoever looks, so every process sees it pending until its own clock gets there,
// and takes no control meanwhile; a paused service takes a stop as a running one does.
TEST_F(SimServicesTest, AServiceFoundOnItsWayGetsThereOnTheLookersClock) {
    struct Case {
        std::uint32_t settled;
        std::uint32_t pending;  // 0: settled already
    };
    for (const Case& c : {Case{SVC_RUNNING, SVC_START_PENDING}, Case{SVC_STOPPED, SVC_STOP_PENDING},
                          Case{SVC_RUNNING, 5}, Case{SimServices::SIM_PAUSED, 6},
                          Case{SimServices::SIM_PAUSED, 0}}) {
        SCOPED_TRACE(std::to_string(c.settled) + " " + std::to_string(c.pending));
        std::filesystem::remove(m_root + "/services.txt");
        SetUp();  // a clock of its own from 0
        createRunning();
        const std::string table = m_root + "/services.txt";
        std::string text = test_support::ReadHostFile(table);
        text.replace(text.find("state 4"), 7, "state " + std::to_string(c.settled));
        text.replace(text.find("pending 0 0 0 -"), 15,
                     "pending " + std::to_string(c.pending) + " 0 1000 *");
        test_support::WriteHostFile(table, text);
        if (c.pending != 0) {
            for (int look = 0; look < 2; ++look) {
                SimMachine other(config());
                SimServices otherServices(other);
                EXPECT_EQ(otherServices.currentState(kName), c.pending);
            }
            EXPECT_EQ(control(SVC_CONTROL_STOP), WIN_SERVICE_CANNOT_ACCEPT_CTRL);
            EXPECT_EQ(control(139), WIN_SERVICE_CANNOT_ACCEPT_CTRL);
            m_machine->sleep(999);
            EXPECT_EQ(m_services->currentState(kName), c.pending);
            m_machine->sleep(1);
        }
        EXPECT_EQ(m_services->currentState(kName), c.settled);
        if (c.settled != SVC_STOPPED) {
            EXPECT_EQ(control(SVC_CONTROL_STOP), WIN_OK);
        }
        EXPECT_EQ(m_services->currentState(kName), SVC_STOPPED);
        SimMachine other(config());
        EXPECT_EQ(SimServices(other).currentState(kName), SVC_STOPPED) << "settled for all";
    }
}

TEST_F(SimServicesTest, DeletionWaitsForTheStopAndTheLastHandle) {
    createRunning();
    auto holder = open(SVC_ALL_ACCESS);
    // A second owner stands for another process holding a handle too.
    SimMachine other(config());
    SimServices otherServices(other);
    std::unique_ptr<ServiceManager> otherManager;
    ASSERT_EQ(otherServices.openManager(SVC_MANAGER_CONNECT, otherManager), WIN_OK);
    std::unique_ptr<Service> otherHandle;
    ASSERT_EQ(otherManager->openService(kName, SVC_QUERY_STATUS, otherHandle), WIN_OK);

    EXPECT_EQ(holder->remove(), WIN_OK);
    EXPECT_EQ(holder->remove(), WIN_SERVICE_MARKED_FOR_DELETE);
    open(SVC_QUERY_STATUS, WIN_SERVICE_MARKED_FOR_DELETE);
    EXPECT_EQ(create(), WIN_SERVICE_MARKED_FOR_DELETE);
    EXPECT_EQ(holder->start(), WIN_SERVICE_MARKED_FOR_DELETE);

    ServiceStatus status;
    EXPECT_EQ(holder->control(139, status), WIN_OK);
    EXPECT_EQ(holder->control(SVC_CONTROL_STOP, status), WIN_OK);
    holder.reset();
    SimServices::Record record;
    ASSERT_TRUE(m_services->lookup(kName, record));
    EXPECT_TRUE(record.markedForDelete);
    EXPECT_EQ(record.openHandles.size(), 1u);

    otherHandle.reset();
    EXPECT_FALSE(m_services->lookup(kName, record));
    EXPECT_TRUE(journalHas("service: JovixZIL deletion complete"));
    EXPECT_EQ(create(), WIN_OK);
}

TEST_F(SimServicesTest, HandlesOfAProcessThatDiedDoNotHoldADeletion) {
    installImage();
    ASSERT_EQ(create(), WIN_OK);
    pid_t child = ::fork();
    if (child == 0) {
        SimMachine machine(config());
        SimServices services(machine);
        std::unique_ptr<ServiceManager> m;
        std::unique_ptr<Service> s;
        services.openManager(SVC_MANAGER_CONNECT, m);
        m->openService(kName, SVC_QUERY_STATUS, s);
        ::_exit(s ? 0 : 1);  // dies with the handle open
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_EQ(WEXITSTATUS(status), 0);

    ASSERT_EQ(open(SVC_DELETE)->remove(), WIN_OK);
    SimServices::Record record;
    EXPECT_FALSE(m_services->lookup(kName, record));
}

TEST_F(SimServicesTest, TwoProcessesAtOnceLoseNoRequest) {
    createRunning();
    constexpr int kRequests = 60;
    std::vector<pid_t> children;
    for (std::uint32_t code : {150u, 200u}) {
        pid_t child = ::fork();
        if (child == 0) {
            SimMachine machine(config());
            SimServices services(machine);
            int failures = 0;
            for (int i = 0; i < kRequests; ++i) {
                std::unique_ptr<ServiceManager> m;
                std::unique_ptr<Service> s;
                ServiceStatus status;
                failures += services.openManager(SVC_MANAGER_CONNECT, m) != WIN_OK ||
                            m->openService(kName, SVC_USER_DEFINED_CONTROL, s) != WIN_OK ||
                            s->control(code, status) != WIN_OK;
            }
            // Both race to create the same new service; exactly one may win.
            std::unique_ptr<ServiceManager> m;
            std::unique_ptr<Service> s;
            services.openManager(SVC_MANAGER_ALL_ACCESS, m);
            ServiceSettings settings{
                "Race",         "Race",           SVC_ALL_ACCESS, SVC_WIN32_OWN_PROCESS,
                SVC_AUTO_START, SVC_ERROR_NORMAL, kImage,         ""};
            Win32Error created = m->createService(settings, s);
            ::_exit(failures > 0                    ? 3
                    : created == WIN_OK             ? 0
                    : created == WIN_SERVICE_EXISTS ? 1
                                                    : 2);
        }
        children.push_back(child);
    }
    int winners = 0;
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_LE(WEXITSTATUS(status), 1) << "child failed with " << WEXITSTATUS(status);
        winners += WEXITSTATUS(status) == 0;
    }
    EXPECT_EQ(winners, 1);
    SimServices::Record record;
    ASSERT_TRUE(m_services->lookup(kName, record));
    EXPECT_EQ(std::count(record.controls.begin(), record.controls.end(), 150u), kRequests);
    EXPECT_EQ(std::count(record.controls.begin(), record.controls.end(), 200u), kRequests);
    EXPECT_EQ(record.controls.size(), 2u * kRequests);
    EXPECT_TRUE(record.openHandles.empty());
    EXPECT_TRUE(m_services->lookup("Race", record));
}

}  // namespace
