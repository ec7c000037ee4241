// Runs the built svckeeper.exe against a "Vantrel Service" registered with
// this machine's service manager, in each state the service can be found in.
//
// Usage: keeper_end_to_end_tests <path of svckeeper.exe> <path of test_service.exe> [gtest options]
//
// No SCOPED_TRACE here: gtest keeps traces in thread-local storage, whose
// first use on Windows starts a watcher thread, and under qemu-i386 a Wine
// process with a second thread crashes or hangs in calls to the service
// manager.
#include <gtest/gtest.h>

#include <memory>

#include "ServiceSupport.h"
#include "TestSupport.h"

using namespace testing_support;

namespace {

std::wstring g_keeperExe;
std::wstring g_testService;

const std::wstring kServiceName = L"Vantrel Service";

constexpr DWORD kAutomatic = SERVICE_AUTO_START;
constexpr DWORD kOnDemand = SERVICE_DEMAND_START;
constexpr DWORD kDisabled = SERVICE_DISABLED;

DWORD HeldState(Behaviour behaviour) {
    switch (behaviour) {
        case Behaviour::StartPending:
            return SERVICE_START_PENDING;
        case Behaviour::Paused:
            return SERVICE_PAUSED;
        case Behaviour::ContinuePending:
            return SERVICE_CONTINUE_PENDING;
        default:
            return SERVICE_RUNNING;
    }
}

class KeeperEndToEnd : public ::testing::Test {
protected:
    void SetUp() override { RemoveLeftoverService(kServiceName); }

    void TearDown() override {
        if (service_) {
            EXPECT_TRUE(service_->Remove()) << "the service is gone once stopped and deleted";
        }
    }

    // Registers the service, stopped.
    void Register(Behaviour behaviour = Behaviour::Running, DWORD startType = kOnDemand) {
        ServiceOptions options;
        options.program = g_testService;
        options.behaviour = behaviour;
        options.name = kServiceName;
        options.startType = startType;
        service_ = std::make_unique<ScopedService>(options);
    }

    // Registers the service and starts it, so that it holds the state its
    // behaviour gives.
    void RegisterStarted(Behaviour behaviour) {
        Register(behaviour);
        ASSERT_EQ(service_->Start(), static_cast<DWORD>(NO_ERROR));
        ASSERT_TRUE(service_->WaitForState(HeldState(behaviour)));
        ASSERT_EQ(service_->Count("start"), 1);
    }

    void Keep(std::wstring_view arguments = L"") {
        EXPECT_EQ(RunProgram(g_keeperExe, arguments), 0) << "the keeper always ends normally";
    }

    DWORD StartType() const { return service_->Config().startType; }
    DWORD State() const { return service_->State(); }
    int Starts() const { return service_->Count("start"); }
    int Stops() const { return service_->Count("stop"); }

    std::unique_ptr<ScopedService> service_;
};

TEST_F(KeeperEndToEnd, AStoppedServiceIsMadeAutomaticAndStarted) {
    Register();
    Keep();
    EXPECT_EQ(StartType(), kAutomatic);
    EXPECT_TRUE(service_->WaitForCount("start", 1));
    EXPECT_TRUE(service_->WaitForState(SERVICE_RUNNING));
    EXPECT_EQ(Stops(), 0);
}

TEST_F(KeeperEndToEnd, BlanksAloneAreNoArgument) {
    Register();
    Keep(L"   ");
    EXPECT_EQ(StartType(), kAutomatic);
    EXPECT_TRUE(service_->WaitForCount("start", 1));
}

TEST_F(KeeperEndToEnd, AStoppedServiceIsLeftAsItIsWithAnArgument) {
    Register();
    Keep(L"x");
    EXPECT_EQ(StartType(), kOnDemand);
    EXPECT_EQ(State(), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(Starts(), 0);
    EXPECT_EQ(Stops(), 0);
}

TEST_F(KeeperEndToEnd, ADisabledServiceIsMadeAutomaticAndStarted) {
    Register(Behaviour::Running, kDisabled);
    Keep();
    EXPECT_EQ(StartType(), kAutomatic);
    EXPECT_TRUE(service_->WaitForCount("start", 1));
    EXPECT_TRUE(service_->WaitForState(SERVICE_RUNNING));
}

TEST_F(KeeperEndToEnd, ADisabledServiceStaysDisabledWithAnArgument) {
    Register(Behaviour::Running, kDisabled);
    Keep(L"x");
    EXPECT_EQ(StartType(), kDisabled);
    EXPECT_EQ(State(), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(Starts(), 0);
}

TEST_F(KeeperEndToEnd, ARunningServiceIsMadeAutomaticAndLeftRunning) {
    RegisterStarted(Behaviour::Running);
    Keep();
    EXPECT_EQ(StartType(), kAutomatic);
    EXPECT_EQ(State(), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(Starts(), 1);
    EXPECT_EQ(Stops(), 0);
}

TEST_F(KeeperEndToEnd, AnyArgumentStopsARunningService) {
    RegisterStarted(Behaviour::Running);
    int stops = 0;
    for (const wchar_t* arguments : {L"x", L"/start", L"keep it running, please"}) {
        const std::string shown = testing::PrintToString(std::wstring(arguments));
        if (State() != SERVICE_RUNNING) {
            ASSERT_EQ(service_->Start(), static_cast<DWORD>(NO_ERROR)) << shown;
            ASSERT_TRUE(service_->WaitForState(SERVICE_RUNNING)) << shown;
        }
        Keep(arguments);
        EXPECT_TRUE(service_->WaitForCount("stop", ++stops)) << shown;
        EXPECT_TRUE(service_->WaitForState(SERVICE_STOPPED)) << shown;
        EXPECT_EQ(StartType(), kOnDemand) << shown;
    }
}

// The manager refuses a start while the service is still starting, and the
// service accepts no stop control until it has started.
TEST_F(KeeperEndToEnd, AServiceStillStartingIsMadeAutomaticAndLeftStarting) {
    RegisterStarted(Behaviour::StartPending);
    Keep();
    EXPECT_EQ(StartType(), kAutomatic);
    EXPECT_EQ(State(), static_cast<DWORD>(SERVICE_START_PENDING));
    EXPECT_EQ(Starts(), 1);
}

TEST_F(KeeperEndToEnd, AServiceStillStartingIsLeftAsItIsWithAnArgument) {
    RegisterStarted(Behaviour::StartPending);
    Keep(L"x");
    EXPECT_EQ(StartType(), kOnDemand);
    EXPECT_EQ(State(), static_cast<DWORD>(SERVICE_START_PENDING));
    EXPECT_EQ(Stops(), 0);
}

// A paused service is not running: the keeper asks for a start, which the
// manager refuses, since the service is already started.
TEST_F(KeeperEndToEnd, APausedServiceIsMadeAutomaticAndStaysPaused) {
    RegisterStarted(Behaviour::Paused);
    Keep();
    EXPECT_EQ(StartType(), kAutomatic);
    EXPECT_EQ(State(), static_cast<DWORD>(SERVICE_PAUSED));
    EXPECT_EQ(Starts(), 1);
    EXPECT_EQ(Stops(), 0);
}

TEST_F(KeeperEndToEnd, AnArgumentStopsAPausedService) {
    RegisterStarted(Behaviour::Paused);
    Keep(L"x");
    EXPECT_TRUE(service_->WaitForCount("stop", 1));
    EXPECT_TRUE(service_->WaitForState(SERVICE_STOPPED));
    EXPECT_EQ(StartType(), kOnDemand);
}

TEST_F(KeeperEndToEnd, AServiceThatFailsToStartLeavesTheKeeperEndingNormally) {
    Register(Behaviour::Refuse);
    Keep();
    EXPECT_EQ(StartType(), kAutomatic);
    EXPECT_TRUE(service_->WaitForCount("start", 1));
    EXPECT_TRUE(service_->WaitForState(SERVICE_STOPPED));
}

TEST_F(KeeperEndToEnd, WithoutTheServiceTheKeeperEndsQuietlyAndRegistersNothing) {
    Keep();
    Keep(L"x");
    EXPECT_FALSE(ServiceExists(kServiceName));
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    PrintResultsToStandardOutputOnly();
    if (argc < 3) {
        fprintf(stderr, "usage: %s <path of svckeeper.exe> <path of test_service.exe> [gtest options]\n",
                argv[0]);
        return 2;
    }
    g_keeperExe = FromCommandLinePath(argv[1]);
    g_testService = FromCommandLinePath(argv[2]);
    return RUN_ALL_TESTS();
}
