#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include <unistd.h>

#include "platform/sim/SimPlatform.h"
#include "setup/ProductService.h"
#include "tests/unit/ScratchFolder.h"

namespace {

constexpr const char* kName = "JovixZIL";

using ::testing::AllOf;
using ::testing::Field;

::testing::Matcher<ServiceOutcome> Outcome(int error, const std::string& line) {
    return AllOf(Field("error", &ServiceOutcome::error, error),
                 Field("statusLine", &ServiceOutcome::statusLine, line));
}

// A state read (error 0), or a failure (state 0), with its status line.
::testing::Matcher<ServiceQuery> Query(int state, int error, const std::string& line) {
    return AllOf(Field("state", &ServiceQuery::state, state),
                 Field("error", &ServiceQuery::error, error),
                 Field("statusLine", &ServiceQuery::statusLine, line));
}

class ServiceControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_platform = std::make_unique<SimPlatform>(test_support::VirtualClockMachine(m_root));
        m_service = std::make_unique<ProductService>(*m_platform);
    }
    void installImage() {
        test_support::WriteHostFile(m_root + "/C/Program Files (x86)/ZIL/ZIL_Service.exe",
                                    "service");
    }
    void setKnobs(const SimServices::Knobs& knobs) { m_platform->setServiceKnobs(knobs); }
    void createRunning() {
        installImage();
        ASSERT_EQ(m_service->CreateProductService().error, 0);
        ASSERT_EQ(m_service->StartProductService(), 0);
        ASSERT_EQ(state(), SVC_RUNNING);
    }
    std::uint32_t state() { return m_platform->simServices().currentState(kName); }
    SimServices::Record record() {
        SimServices::Record r;
        EXPECT_TRUE(m_platform->simServices().lookup(kName, r));
        return r;
    }

    // Journal lines of one kind ("service", "sleep") from the given position on.
    std::vector<std::string> journal(const std::string& kind, std::size_t from = 0) {
        return test_support::JournalOf(test_support::JournalSince(m_platform->machine(), from),
                                       kind);
    }
    std::size_t journalSize() { return m_platform->machine().journalLines().size(); }
    std::size_t countRequests(const std::vector<std::string>& lines, const std::string& what) {
        return std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.rfind(std::string(kName) + " " + what + " ", 0) == 0;
        });
    }

    test_support::ScratchFolder m_folder{"zil-servicecontrol"};
    std::string m_root = m_folder.string();
    std::unique_ptr<SimPlatform> m_platform;
    std::unique_ptr<ProductService> m_service;
};

// Log readers in the field match these lines as the product has always written them, spelling
// and all; two of them carry the code itself.
TEST_F(ServiceControlTest, EachKnownCodeHasItsOwnLine) {
    const std::vector<std::pair<int, std::string>> lines = {
        {WIN_OK, "Request Successed !!!\r\n"},
        {WIN_FILE_NOT_FOUND, "EXE File Not Found !!!\r\n"},
        {WIN_IO_PENDING, "ERROR_IO_PENDING = 997\r\n"},
        {WIN_SERVICE_DISABLED, "ERROR_SERVICE_DISABLED = 1058 !!!\r\n"},
        {WIN_SERVICE_DOES_NOT_EXIST, "Service Not Exist !!!\r\n"},
        {WIN_SERVICE_CANNOT_ACCEPT_CTRL, "Service Can't control !!!\r\n"},
        {WIN_SERVICE_NOT_ACTIVE, "Service Not Start !!!\r\n"},
        {WIN_SERVICE_MARKED_FOR_DELETE, "Service Mark Delete = 1072 !!!\r\n"},
        {WIN_SERVICE_EXISTS, "ERROR_SERVICE_EXISTS = 1073\r\n"},
    };
    for (const auto& [code, line] : lines) {
        EXPECT_EQ(std::string(ProductService::ReportErrorCode(code)), line) << code;
    }
}

// Any other code is a number.
TEST_F(ServiceControlTest, ACodeWithoutALineOfItsOwnIsReportedByNumber) {
    for (int code : {-1, 1, 5, 996, 998, 1053, 1059, 1063, 65535, 2147483647}) {
        EXPECT_EQ(std::string(ProductService::ReportErrorCode(code)),
                  "Error Code," + std::to_string(code));
    }
}

TEST_F(ServiceControlTest, QueryReportsEachStateOrTheFailure) {
    EXPECT_THAT(m_service->QueryServiceState(),
                Query(0, WIN_SERVICE_DOES_NOT_EXIST, "Service Not Exist !!!\r\n"));

    installImage();
    ASSERT_EQ(m_service->CreateProductService().error, 0);
    EXPECT_THAT(m_service->QueryServiceState(),
                Query(SVC_STOPPED, 0, "Query Code = STOP --> 1\r\n"));

    setKnobs({.startDelay = 1000, .stopDelay = 1000});
    ASSERT_EQ(m_service->StartProductService(), 0);
    EXPECT_THAT(m_service->QueryServiceState(), Query(SVC_START_PENDING, 0, "Query Code = 2\r\n"));
    m_platform->clock().sleep(1000);
    EXPECT_THAT(m_service->QueryServiceState(),
                Query(SVC_RUNNING, 0, "Query Code = Running --> 4\r\n"));
    ASSERT_EQ(m_service->StopProductService(), 0);
    EXPECT_THAT(m_service->QueryServiceState(), Query(SVC_STOP_PENDING, 0, "Query Code = 3\r\n"));

    m_platform->faults().fail(SimFaultKind::SvcOpen, 1, WIN_ACCESS_DENIED, true);
    EXPECT_THAT(m_service->QueryServiceState(), Query(0, WIN_ACCESS_DENIED, "Error Code,5"));
}

TEST_F(ServiceControlTest, EachOperationAsksForItsOwnAccessRights) {
    createRunning();
    using Operation = std::function<void()>;
    const std::vector<std::pair<Operation, std::vector<std::string>>> cases = {
        {[&] { m_service->SendServiceControl(139); },
         {"SCM open 0x1", "JovixZIL open 0x100", "JovixZIL control 139"}},
        {[&] { m_service->QueryServiceState(); },
         {"SCM open 0x1", "JovixZIL open 0x1", "JovixZIL config", "SCM open 0x1",
          "JovixZIL open 0x4", "JovixZIL query"}},
        {[&] { m_service->StopProductService(); },
         {"SCM open 0x1", "JovixZIL open 0x20", "JovixZIL control 1"}},
        {[&] { m_service->StartProductService(); },
         {"SCM open 0x1", "JovixZIL open 0x10", "JovixZIL start"}},
        {[&] { m_service->DeleteProductService(); },
         {"SCM open 0xF003F", "JovixZIL open 0xF01FF", "JovixZIL control 1", "JovixZIL delete"}},
        {[&] { m_service->CreateProductService(); },
         {"SCM open 0xF003F", "JovixZIL create \"C:\\Program Files (x86)\\ZIL\\ZIL_Service.exe\""}},
    };
    for (const auto& [operation, expected] : cases) {
        std::size_t from = journalSize();
        operation();
        std::vector<std::string> requests;
        for (const std::string& line : journal("service", from)) {
            if (line.find(" -> ") != std::string::npos) {
                requests.push_back(line.substr(0, line.find(" -> ")));
            }
        }
        EXPECT_EQ(requests, expected);
    }
    EXPECT_THAT(m_service->CreateProductService(),
                Outcome(WIN_SERVICE_EXISTS, "ERROR_SERVICE_EXISTS = 1073\r\n"));
}

TEST_F(ServiceControlTest, TheServiceIsRegisteredAsTheProductNeedsIt) {
    EXPECT_THAT(m_service->CreateProductService(), Outcome(0, "Request Successed !!!\r\n"));
    SimServices::Record r = record();
    EXPECT_EQ(r.settings.name, "JovixZIL");
    EXPECT_EQ(r.settings.displayName, "JovixZIL");
    EXPECT_EQ(r.settings.imagePath, "\"C:\\Program Files (x86)\\ZIL\\ZIL_Service.exe\"");
    EXPECT_EQ(r.settings.serviceType, SVC_WIN32_OWN_PROCESS);
    EXPECT_EQ(r.settings.startType, SVC_AUTO_START);
    EXPECT_EQ(r.settings.errorControl, SVC_ERROR_NORMAL);
    EXPECT_TRUE(r.openHandles.empty());  // every handle closed again

    // Without its image the start fails with 2, and the quoted path is what was looked up.
    EXPECT_EQ(m_service->StartProductService(), WIN_FILE_NOT_FOUND);
    installImage();
    EXPECT_EQ(m_service->StartProductService(), 0);
}

TEST_F(ServiceControlTest, NoServiceInstalled) {
    EXPECT_EQ(m_service->SendServiceControl(139).statusLine, "Open Service Failed... \r\n");
    EXPECT_THAT(m_service->DeleteProductService(),
                Outcome(WIN_SERVICE_DOES_NOT_EXIST, "Service Not Exist !!!\r\n"));
    EXPECT_EQ(m_service->StopProductService(), WIN_SERVICE_DOES_NOT_EXIST);
    EXPECT_EQ(m_service->StartProductService(), WIN_SERVICE_DOES_NOT_EXIST);

    m_platform->faults().fail(SimFaultKind::SvcOpen, 1, WIN_ACCESS_DENIED, true);
    EXPECT_EQ(m_service->SendServiceControl(139).statusLine, "Open SCM Failed... \r\n");
    EXPECT_THAT(m_service->CreateProductService(), Outcome(WIN_ACCESS_DENIED, "Error Code,5"));
}

TEST_F(ServiceControlTest, ControlCodesReachOnlyARunningService) {
    installImage();
    ASSERT_EQ(m_service->CreateProductService().error, 0);
    EXPECT_THAT(m_service->SendServiceControl(139),
                Outcome(WIN_SERVICE_NOT_ACTIVE, "ControlService Failed... \r\n"));
    ASSERT_EQ(m_service->StartProductService(), 0);
    EXPECT_THAT(m_service->SendServiceControl(139), Outcome(0, "ControlService Success... \r\n"));
    for (int code : {133, 137, 138, 140}) {
        m_service->SendServiceControl(code);
    }
    EXPECT_EQ(record().controls, (std::vector<std::uint32_t>{139, 133, 137, 138, 140}));
}

// Six requests at most, 189 ms apart; a service still starting after them is waited for, a
// query every 189 ms, up to 30 s from the first request.
TEST_F(ServiceControlTest, AStartIsRetriedThenWaitedForUntilTheServiceRuns) {
    installImage();
    ASSERT_EQ(m_service->CreateProductService().error, 0);
    for (std::uint32_t delay :
         {0u, 1u, 188u, 189u, 190u, 400u, 945u, 1134u, 1135u, 2000u, 3000u, 29900u}) {
        setKnobs({.startDelay = delay});
        std::size_t from = journalSize();
        std::uint64_t started = m_platform->clock().now();
        ServiceOutcome result = m_service->StartOrStopWithRetry(SERVICE_MODE_START);

        // A query follows each request after 189 ms; the service runs from `delay` on.
        std::size_t queries = std::max<std::size_t>(1, (delay + 188) / 189);
        std::vector<std::string> service = journal("service", from);
        EXPECT_EQ(countRequests(service, "start"), std::min<std::size_t>(queries, 6)) << delay;
        EXPECT_EQ(countRequests(service, "query"), queries) << delay;
        EXPECT_EQ(journal("sleep", from), std::vector<std::string>(queries, "189")) << delay;
        EXPECT_EQ(m_platform->clock().now() - started, 189 * queries);
        EXPECT_THAT(result, Outcome(0, "Query Code = Running --> 4\r\n")) << delay;
        m_platform->clock().sleep(delay);
        ASSERT_EQ(m_service->StartOrStopWithRetry(SERVICE_MODE_STOP).error, 0);
        ASSERT_EQ(state(), SVC_STOPPED);
    }
}

// Still pending after 30 s, or never leaving its start: the last request's code, after the first
// round at or past 30 s.
TEST_F(ServiceControlTest, AServiceThatNeverStartsIsGivenThirtySecondsAndTheLastCode) {
    installImage();
    ASSERT_EQ(m_service->CreateProductService().error, 0);
    for (const SimServices::Knobs& knobs :
         {SimServices::Knobs{.startDelay = 40000}, SimServices::Knobs{.neverStarts = true},
          SimServices::Knobs{.needsRuntime = true}}) {
        setKnobs(knobs);
        std::size_t from = journalSize();
        std::uint64_t started = m_platform->clock().now();
        ServiceOutcome result = m_service->StartOrStopWithRetry(SERVICE_MODE_START);
        std::uint64_t elapsed = m_platform->clock().now() - started;
        std::vector<std::string> service = journal("service", from);
        EXPECT_EQ(countRequests(service, "start"), 6u);
        if (!knobs.needsRuntime) {
            EXPECT_GE(elapsed, 30000u);
            EXPECT_LT(elapsed - 189, 30000u);
            EXPECT_EQ(countRequests(service, "query"), elapsed / 189);
            EXPECT_THAT(result, Outcome(WIN_SERVICE_ALREADY_RUNNING, "Query Code = 2\r\n"));
            if (knobs.neverStarts) {
                // It can be neither stopped nor deleted for good while it hangs in its start.
                EXPECT_EQ(m_service->StartOrStopWithRetry(SERVICE_MODE_STOP).error,
                          WIN_SERVICE_CANNOT_ACCEPT_CTRL);
                EXPECT_EQ(m_service->DeleteProductService().error, 0);
                EXPECT_EQ(m_service->QueryServiceState().error, WIN_SERVICE_MARKED_FOR_DELETE);
                EXPECT_EQ(m_service->CreateProductService().error, WIN_SERVICE_MARKED_FOR_DELETE);
            } else {
                // One that only starts slowly is waited for, then stopped.
                EXPECT_EQ(m_service->StartOrStopWithRetry(SERVICE_MODE_STOP).error, 0);
                EXPECT_EQ(m_service->QueryServiceState().state, SVC_STOPPED);
            }
            // A fresh machine for the next case.
            m_service.reset();
            m_platform.reset();
            std::filesystem::remove_all(m_root);
            SetUp();
            installImage();
            ASSERT_EQ(m_service->CreateProductService().error, 0);
        } else {
            // A start that is refused leaves it stopped: nothing to wait for.
            EXPECT_EQ(countRequests(service, "query"), 6u);
            EXPECT_EQ(journal("sleep", from), std::vector<std::string>(6, "189"));
            EXPECT_THAT(result,
                        Outcome(WIN_SERVICE_REQUEST_TIMEOUT, "Query Code = STOP --> 1\r\n"));
        }
    }
}

// A stop that takes longer than six rounds is waited for the same way.
TEST_F(ServiceControlTest, AStopStillPendingIsWaitedFor) {
    createRunning();
    setKnobs({.stopDelay = 3000});
    std::size_t from = journalSize();
    EXPECT_THAT(m_service->StartOrStopWithRetry(SERVICE_MODE_STOP),
                Outcome(0, "Query Code = STOP --> 1\r\n"));
    std::vector<std::string> service = journal("service", from);
    EXPECT_EQ(countRequests(service, "control 1"), 6u);
    EXPECT_EQ(countRequests(service, "query"), (3000u + 188) / 189);
}

TEST_F(ServiceControlTest, AStopSucceedsOnceTheServiceIsStoppedWhateverTheRequestSaid) {
    createRunning();
    EXPECT_THAT(m_service->StartOrStopWithRetry(1), Outcome(0, "Query Code = STOP --> 1\r\n"));
    std::size_t from = journalSize();
    // Already stopped: the request fails with 1062, the query sees the wanted state.
    EXPECT_EQ(m_service->StartOrStopWithRetry(1).error, 0);
    EXPECT_EQ(countRequests(journal("service", from), "control 1"), 1u);
    EXPECT_EQ(journal("service", from).at(2), "JovixZIL control 1 -> 1062");
}

TEST_F(ServiceControlTest, DeletionOfARunningServiceCompletesWhenItHasStopped) {
    createRunning();
    setKnobs({.stopDelay = 400});
    EXPECT_THAT(m_service->DeleteProductService(), Outcome(0, "Request Successed !!!\r\n"));
    EXPECT_TRUE(record().markedForDelete);
    EXPECT_THAT(m_service->QueryServiceState(),
                Query(0, WIN_SERVICE_MARKED_FOR_DELETE, "Service Mark Delete = 1072 !!!\r\n"));
    EXPECT_EQ(m_service->DeleteProductService().error, WIN_SERVICE_MARKED_FOR_DELETE);
    m_platform->clock().sleep(400);
    EXPECT_EQ(m_service->QueryServiceState().error, WIN_SERVICE_DOES_NOT_EXIST);

    // A stopped service: the stop request fails, the deletion succeeds, and that is the result.
    ASSERT_EQ(m_service->CreateProductService().error, 0);
    std::size_t from = journalSize();
    EXPECT_EQ(m_service->DeleteProductService().error, 0);
    std::vector<std::string> service = journal("service", from);
    EXPECT_NE(std::find(service.begin(), service.end(), "JovixZIL control 1 -> 1062"),
              service.end());
    EXPECT_EQ(m_service->QueryServiceState().error, WIN_SERVICE_DOES_NOT_EXIST);
}

}  // namespace
