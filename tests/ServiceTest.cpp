// The service operations, against the service manager of the machine the
// tests run on, on services each test registers for itself.
//
// Usage: keeper_service_tests <path of test_service.exe> [gtest options]
//
// No SCOPED_TRACE here: gtest keeps traces in thread-local storage, whose
// first use on Windows starts a watcher thread, and under qemu-i386 a Wine
// process with a second thread crashes or hangs in calls to the service
// manager. A failure or a skip starts that thread too.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <utility>
#include <vector>

#include "keeper/modService.h"
#include "tests/support/FailurePrinter.h"
#include "tests/support/ServiceSupport.h"
#include "tests/support/TestSupport.h"

using namespace testing_support;
using vantrel::keeper::ServiceStatusText;
using vantrel::keeper::SetServiceAutoStart;
using vantrel::keeper::StartNamedService;
using vantrel::keeper::StopNamedService;

namespace {

std::wstring g_testService;

// The manager of this machine.
const std::string kHere;

ServiceOptions Options(Behaviour behaviour = Behaviour::Running) {
    ServiceOptions options;
    options.program = g_testService;
    options.behaviour = behaviour;
    return options;
}

TEST(ServiceStatusText, NamesTheStateAStartedServiceHolds) {
    struct HeldState {
        Behaviour behaviour;
        DWORD state;
        const char* text;
    };
    const HeldState heldStates[] = {
        {Behaviour::Running, SERVICE_RUNNING, "Running"},
        {Behaviour::StartPending, SERVICE_START_PENDING, "Start Pending"},
        {Behaviour::Paused, SERVICE_PAUSED, "Paused"},
        {Behaviour::ContinuePending, SERVICE_CONTINUE_PENDING, "Coninue Pending"},
    };
    for (const HeldState& held : heldStates) {
        ScopedService service(Options(held.behaviour));
        ASSERT_EQ(service.Start(), static_cast<DWORD>(NO_ERROR)) << held.text;
        ASSERT_TRUE(service.WaitForState(held.state)) << held.text;

        EXPECT_EQ(ServiceStatusText(kHere, service.AnsiName()), held.text);
    }
}

TEST(ServiceStatusText, IsStoppedBeforeAStartAndAfterAStop) {
    ScopedService service(Options());
    EXPECT_EQ(ServiceStatusText(kHere, service.AnsiName()), "Stopped");
    ASSERT_EQ(service.Start(), static_cast<DWORD>(NO_ERROR));
    ASSERT_TRUE(service.WaitForState(SERVICE_RUNNING));
    StopNamedService(kHere, service.AnsiName());
    ASSERT_TRUE(service.WaitForState(SERVICE_STOPPED));
    EXPECT_EQ(ServiceStatusText(kHere, service.AnsiName()), "Stopped");
}

TEST(ServiceOperations, OnAMissingServiceGiveNoTextAndCreateNothing) {
    const std::string missing = "VantrelTest-missing-" + std::to_string(::GetCurrentProcessId());
    EXPECT_EQ(ServiceStatusText(kHere, missing), "");
    StartNamedService(kHere, missing);
    StopNamedService(kHere, missing);
    SetServiceAutoStart(kHere, missing);
    EXPECT_FALSE(ServiceExists(std::wstring(missing.begin(), missing.end())));
}

TEST(ServiceOperations, TakeTheServiceNameNotItsDisplayName) {
    ServiceOptions options = Options();
    options.displayName = L"VantrelTest display " + std::to_wstring(::GetCurrentProcessId());
    ScopedService service(options);
    const std::string displayName = Ansi(options.displayName);

    EXPECT_EQ(ServiceStatusText(kHere, displayName), "");
    SetServiceAutoStart(kHere, displayName);
    StartNamedService(kHere, displayName);

    EXPECT_EQ(service.Config().startType, static_cast<DWORD>(SERVICE_DEMAND_START));
    EXPECT_EQ(service.State(), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(service.Count("start"), 0);
}

// A handle left open on a service keeps a deleted service from going.
TEST(ServiceOperations, CloseTheirHandlesOnEveryPath) {
    const std::pair<const char*, std::function<void(const std::string&)>> operations[] = {
        {"ServiceStatusText", [](const std::string& name) { ServiceStatusText(kHere, name); }},
        {"StartNamedService", [](const std::string& name) { StartNamedService(kHere, name); }},
        {"StopNamedService", [](const std::string& name) { StopNamedService(kHere, name); }},
        {"SetServiceAutoStart", [](const std::string& name) { SetServiceAutoStart(kHere, name); }},
    };
    for (const auto& [what, operation] : operations) {
        ScopedService service(Options());
        operation(service.AnsiName());
        EXPECT_TRUE(service.Remove()) << what;
    }
}

TEST(StartNamedService, StartsAStoppedService) {
    ScopedService service(Options());
    StartNamedService(kHere, service.AnsiName());
    EXPECT_TRUE(service.WaitForCount("start", 1));
    EXPECT_TRUE(service.WaitForState(SERVICE_RUNNING));
}

TEST(StartNamedService, DoesNotWaitForTheServiceToRun) {
    ScopedService service(Options(Behaviour::StartPending));
    StartNamedService(kHere, service.AnsiName());
    EXPECT_TRUE(service.WaitForCount("start", 1));
    EXPECT_EQ(service.State(), static_cast<DWORD>(SERVICE_START_PENDING));
}

TEST(StopNamedService, SendsTheStopControlToARunningOrPausedService) {
    const std::pair<Behaviour, DWORD> cases[] = {{Behaviour::Running, SERVICE_RUNNING},
                                                 {Behaviour::Paused, SERVICE_PAUSED}};
    for (const auto& [behaviour, held] : cases) {
        ScopedService service(Options(behaviour));
        ASSERT_EQ(service.Start(), static_cast<DWORD>(NO_ERROR)) << "state " << held;
        ASSERT_TRUE(service.WaitForState(held)) << "state " << held;

        StopNamedService(kHere, service.AnsiName());

        EXPECT_TRUE(service.WaitForCount("stop", 1)) << "state " << held;
        EXPECT_TRUE(service.WaitForState(SERVICE_STOPPED)) << "state " << held;
        EXPECT_EQ(service.Config().startType, static_cast<DWORD>(SERVICE_DEMAND_START)) << "state " << held;
    }
}

TEST(SetServiceAutoStart, MakesAnyServiceAutomaticAndChangesNothingElse) {
    const DWORD startTypes[] = {SERVICE_DEMAND_START, SERVICE_DISABLED, SERVICE_AUTO_START};
    for (DWORD startType : startTypes) {
        ServiceOptions options = Options();
        options.startType = startType;
        options.errorControl = SERVICE_ERROR_IGNORE;
        options.displayName = L"VantrelTest keeper " + std::to_wstring(startType);
        options.group = L"VantrelTestGroup";
        ScopedService service(options);
        const ServiceConfig before = service.Config();
        ASSERT_EQ(before.startType, startType);

        SetServiceAutoStart(kHere, service.AnsiName());

        const ServiceConfig after = service.Config();
        EXPECT_EQ(after.startType, static_cast<DWORD>(SERVICE_AUTO_START)) << "from start type " << startType;
        EXPECT_EQ(after.serviceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS)) << "from " << startType;
        EXPECT_EQ(after.errorControl, static_cast<DWORD>(SERVICE_ERROR_IGNORE)) << "from " << startType;
        EXPECT_EQ(after.group, L"VantrelTestGroup") << "from " << startType;
        EXPECT_EQ(after.displayName, options.displayName) << "from " << startType;
        ExpectSameBesidesStartType(after, before);
        EXPECT_EQ(service.State(), static_cast<DWORD>(SERVICE_STOPPED))
            << "setting the start type starts nothing";
        EXPECT_EQ(service.Count("start"), 0) << "from " << startType;
    }
}

TEST(SetServiceAutoStart, LeavesARunningServiceRunning) {
    ScopedService service(Options());
    ASSERT_EQ(service.Start(), static_cast<DWORD>(NO_ERROR));
    ASSERT_TRUE(service.WaitForState(SERVICE_RUNNING));

    SetServiceAutoStart(kHere, service.AnsiName());

    EXPECT_EQ(service.Config().startType, static_cast<DWORD>(SERVICE_AUTO_START));
    EXPECT_EQ(service.State(), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(service.Count("stop"), 0);
    EXPECT_EQ(service.Count("start"), 1);
}

// Reading the configuration through the ANSI calls turns these characters
// into "?"; they must come through untouched, and the service must still
// start from its path.
TEST(SetServiceAutoStart, KeepsTextsThatTheAnsiCodePageCannotHold) {
    const std::wstring japanese = L"\u30D9\u30F3\u30C8\u30EC\u30EB";
    TempFolder folder(L"keeper");
    const std::wstring programFolder = folder / (L"\u30B5\u30FC\u30D3\u30B9 " + japanese);
    MakeFolders(programFolder);
    const std::wstring program = programFolder + L"\\test_service.exe";
    ASSERT_TRUE(::CopyFileW(g_testService.c_str(), program.c_str(), FALSE));

    ServiceOptions options = Options();
    options.program = program;
    options.displayName = japanese + L" \u30B5\u30FC\u30D3\u30B9 \u00E9t\u00E9";
    options.group = L"Vantrel " + japanese;
    ASSERT_FALSE(RoundTripsThroughAnsi(options.displayName))
        << "the test needs text outside the ANSI code page";
    ScopedService service(options);
    const ServiceConfig before = service.Config();
    ASSERT_EQ(before.displayName, options.displayName);
    ASSERT_NE(before.binaryPath.find(programFolder), std::wstring::npos);

    SetServiceAutoStart(kHere, service.AnsiName());

    const ServiceConfig after = service.Config();
    EXPECT_EQ(after.startType, static_cast<DWORD>(SERVICE_AUTO_START));
    EXPECT_EQ(after.displayName, options.displayName);
    EXPECT_EQ(after.group, options.group);
    ExpectSameBesidesStartType(after, before);
    ASSERT_EQ(service.Start(), static_cast<DWORD>(NO_ERROR));
    EXPECT_TRUE(service.WaitForCount("start", 1));
    EXPECT_TRUE(service.WaitForState(SERVICE_RUNNING));
}

// Last: see the note at the top.
// A change of the start type keeps the dependencies, and a service already
// automatic is not reconfigured at all. Wine writes a service's entry anew
// on any change and drops them there, so under Wine only a service already
// automatic is asked. Wine reports no dependencies through the manager
// either: the registry, where the manager keeps them, shows them.
TEST(SetServiceAutoStart, KeepsDependencies) {
    std::vector<DWORD> startTypes = {SERVICE_AUTO_START};
    if (!RunningUnderWine()) {
        startTypes.push_back(SERVICE_DEMAND_START);
    }
    for (const DWORD startType : startTypes) {
        ScopedService dependency(Options());
        ServiceOptions options = Options();
        options.startType = startType;
        options.group = L"VantrelTestGroup";
        options.dependencies = {dependency.name(), L"+VantrelTestGroup"};
        ScopedService service(options);
        std::map<std::wstring, std::wstring> before = ServiceRegistryEntry(service.name());
        ASSERT_EQ(before[L"DependOnService"], L"REG_MULTI_SZ " + dependency.name())
            << "start type " << startType;
        ASSERT_EQ(before[L"DependOnGroup"], L"REG_MULTI_SZ VantrelTestGroup") << "start type " << startType;
        const ServiceConfig config = service.Config();

        SetServiceAutoStart(kHere, service.AnsiName());

        std::map<std::wstring, std::wstring> after = ServiceRegistryEntry(service.name());
        EXPECT_EQ(service.Config().startType, static_cast<DWORD>(SERVICE_AUTO_START)) << startType;
        EXPECT_EQ(after[L"DependOnService"], before[L"DependOnService"]) << "start type " << startType;
        EXPECT_EQ(after[L"DependOnGroup"], before[L"DependOnGroup"]) << "start type " << startType;
        EXPECT_EQ(service.Config().dependencies, config.dependencies) << "start type " << startType;
    }
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    PrintFailuresWithoutDebugStrings();
    if (!FindProgramsUnderTest(argc, argv, {{"test_service.exe", &g_testService}})) {
        return 2;
    }
    return RUN_ALL_TESTS();
}
