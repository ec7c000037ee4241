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

#include <algorithm>
#include <map>
#include <memory>
#include <utility>

#include "common/modErrors.h"
#include "common/modProcess.h"
#include "tests/support/FailurePrinter.h"
#include "tests/support/ServiceSupport.h"
#include "tests/support/TestSupport.h"
#include "tests/support/TreeSnapshot.h"

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

// A run's decision log after its header, one line after another, each
// without the "[<process id>] " it starts with. Checks the file's form and
// its header on the way: a byte-order mark, every line ended by CR LF, one
// process id throughout, the program, its version, that same id, and the
// command line the keeper was started with.
std::string LogAfterHeader(const std::wstring& path, std::wstring_view arguments) {
    const std::string text = ReadWholeFile(path);
    EXPECT_EQ(text.substr(0, 3), "\xEF\xBB\xBF") << "a byte-order mark";
    const size_t headerEnd = text.find("\r\n");
    const size_t idEnd = text.find("] ");
    if (headerEnd == std::string::npos || idEnd > headerEnd) {
        ADD_FAILURE() << "no header: " << text;
        return std::string();
    }
    const std::string prefix = text.substr(3, idEnd + 2 - 3);
    const std::string header = text.substr(idEnd + 2, headerEnd - idEnd - 2);
    const std::string id = prefix.substr(1, prefix.size() - 3);
    EXPECT_EQ(header.rfind("svckeeper " VANTREL_PROGRAM_VERSION ", process " + id + ", started ", 0), 0u)
        << header;
    const std::string commandLine =
        "command line: " +
        Utf8(L"\"" + g_keeperExe + L"\"" + (arguments.empty() ? L"" : L" ") + std::wstring(arguments));
    EXPECT_EQ(header.substr(header.size() - std::min(header.size(), commandLine.size())), commandLine);
    std::string lines;
    size_t start = headerEnd + 2;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        EXPECT_EQ(text.compare(start, prefix.size(), prefix), 0) << text.substr(start, end - start);
        lines += text.substr(start + prefix.size(), end - start - prefix.size()) + "\n";
    }
    EXPECT_EQ(start, text.size()) << "the last line ends with CR LF";
    return lines;
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

    // Keep, with the decision log at `log`; the keeper takes the setting
    // from this process's environment.
    void KeepLogging(const std::wstring& log, std::wstring_view arguments = L"") {
        ASSERT_TRUE(::SetEnvironmentVariableW(L"VANTREL_TOOLS_LOG", log.c_str()));
        Keep(arguments);
        ::SetEnvironmentVariableW(L"VANTREL_TOOLS_LOG", nullptr);
    }

    // The keeper may set the start type; everything else stays as it was.
    static void ExpectOnlyTheStartTypeChanged(const ServiceConfig& after, const ServiceConfig& before) {
        EXPECT_EQ(after.startType, kAutomatic);
        ExpectSameBesidesStartType(after, before);
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
    // "" is two characters of argument text: an argument like any other.
    for (const wchar_t* arguments : {L"x", L"/start", L"keep it running, please", L"\"\""}) {
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

// Windows' own rule for a command line: a program's name not in quotes
// ends at the first blank. A caller that passes C:\Program Files\...\svckeeper.exe
// unquoted gives the keeper an argument, and the keeper stops the service
// it was meant to start; in quotes, it starts it.
TEST_F(KeeperEndToEnd, AProgramPathWithABlankMustBeInQuotes) {
    const TempFolder folder(L"keeper");
    const std::wstring installed = folder / L"Program Files\\Vantrel\\svckeeper.exe";
    MakeFolders(folder / L"Program Files\\Vantrel");
    ASSERT_TRUE(::CopyFileW(g_keeperExe.c_str(), installed.c_str(), FALSE));
    RegisterStarted(Behaviour::Running);
    EXPECT_EQ(RunProgramAs(installed, installed), 0);
    EXPECT_TRUE(service_->WaitForCount("stop", 1)) << "unquoted: the keeper saw an argument";
    EXPECT_TRUE(service_->WaitForState(SERVICE_STOPPED));
    EXPECT_EQ(StartType(), kOnDemand);
    EXPECT_EQ(RunProgramAs(installed, L"\"" + installed + L"\""), 0);
    EXPECT_TRUE(service_->WaitForState(SERVICE_RUNNING)) << "in quotes: no argument";
    EXPECT_EQ(StartType(), kAutomatic);
}

// A service not running, but started (still starting, or paused), is asked
// to start all the same; the manager refuses, and the service is not
// started again. Only the manager's answer in the log shows the request.
TEST_F(KeeperEndToEnd, AServiceStillStartingOrPausedIsAskedToStartAndMadeAutomatic) {
    const TempFolder logs(L"log");
    const std::pair<Behaviour, std::string> states[] = {
        {Behaviour::StartPending, "\"Start Pending\" (state 2)"},
        {Behaviour::Paused, "\"Paused\" (state 7)"}};
    for (const auto& [behaviour, state] : states) {
        RegisterStarted(behaviour);
        KeepLogging(logs / L"keep.log");
        EXPECT_EQ(StartType(), kAutomatic) << state;
        EXPECT_EQ(State(), HeldState(behaviour)) << state;
        EXPECT_EQ(Starts(), 1) << state;
        EXPECT_EQ(Stops(), 0) << state;
        const std::string log = LogAfterHeader(logs / L"keep.log", L"");
        EXPECT_NE(log.find("read the state: state read: " + state +
                           "\nstart: service manager opened\n"
                           "start: service \"Vantrel Service\" opened\n"
                           "start: start requested: failed: " +
                           Utf8(vantrel::SystemErrorMessage(ERROR_SERVICE_ALREADY_RUNNING)) + "\n"),
                  std::string::npos)
            << log;
        EXPECT_TRUE(service_->Remove()) << state;
        service_.reset();
        ASSERT_TRUE(::DeleteFileW((logs / L"keep.log").c_str()));
    }
}

// The service accepts no stop control until it has started; the keeper
// does not wait long to see that it did not stop, and says so.
TEST_F(KeeperEndToEnd, AServiceStillStartingIsLeftAsItIsWithAnArgument) {
    const TempFolder logs(L"log");
    RegisterStarted(Behaviour::StartPending);
    const ULONGLONG begun = ::GetTickCount64();
    KeepLogging(logs / L"stop.log", L"x");
    EXPECT_LT(::GetTickCount64() - begun, 9000u) << "the keeper looks at the state for a moment only";
    EXPECT_EQ(StartType(), kOnDemand);
    EXPECT_EQ(State(), static_cast<DWORD>(SERVICE_START_PENDING));
    EXPECT_EQ(Stops(), 0);
    // The manager's refusal differs between systems (1052 on Wine, 1061 on
    // Windows); what the log makes of it must not.
    const std::string log = LogAfterHeader(logs / L"stop.log", L"x");
    const size_t at = log.find("stop: stop requested: ");
    ASSERT_NE(at, std::string::npos) << log;
    const std::string line = log.substr(at, log.find('\n', at) - at);
    const std::string said = "; the service did not stop: its state is \"Start Pending\" (state 2)";
    EXPECT_EQ(line.rfind("stop: stop requested: failed: Error ", 0), 0u) << line;
    EXPECT_TRUE(line.size() > said.size() && line.compare(line.size() - said.size(), said.size(), said) == 0)
        << line;
}

TEST_F(KeeperEndToEnd, AnArgumentStopsAPausedService) {
    RegisterStarted(Behaviour::Paused);
    Keep(L"x");
    EXPECT_TRUE(service_->WaitForCount("stop", 1)) << "state now " << State();
    EXPECT_TRUE(service_->WaitForState(SERVICE_STOPPED));
    EXPECT_EQ(StartType(), kOnDemand);
}

// Each run asks for a start again; the keeper ends whatever the service
// does with it.
TEST_F(KeeperEndToEnd, AServiceThatFailsToStartIsAskedAgainOnEachRunAndNothingElseChanges) {
    Register(Behaviour::Refuse);
    const ServiceConfig before = service_->Config();
    for (int run = 1; run <= 2; ++run) {
        Keep();
        EXPECT_TRUE(service_->WaitForCount("start", run)) << "run " << run;
        EXPECT_TRUE(service_->WaitForState(SERVICE_STOPPED)) << "run " << run;
    }
    ExpectOnlyTheStartTypeChanged(service_->Config(), before);
}

TEST_F(KeeperEndToEnd, AServiceStuckStartingChangesInNothingButTheStartType) {
    RegisterStarted(Behaviour::StartPending);
    const ServiceConfig before = service_->Config();
    Keep();
    Keep(L"x");
    ExpectOnlyTheStartTypeChanged(service_->Config(), before);
    EXPECT_EQ(State(), static_cast<DWORD>(SERVICE_START_PENDING));
    EXPECT_EQ(Starts(), 1);
    EXPECT_EQ(Stops(), 0);
}

// The deletion falls on a different step of the keeper's run each time; the
// keeper ends normally and never brings the service back.
TEST_F(KeeperEndToEnd, AServiceDeletedWhileTheKeeperRunsIsNotBroughtBack) {
    for (const wchar_t* arguments : {L"", L"x"}) {
        for (DWORD delayMs : {0u, 200u, 400u, 700u}) {
            const std::string shown = testing::PrintToString(std::wstring(arguments)) + ", deleted after " +
                                      std::to_string(delayMs) + " ms";
            RegisterStarted(Behaviour::Running);
            RunningProgram keeper(g_keeperExe, arguments);
            ::Sleep(delayMs);
            // Deleted now; it may stay known, marked for deletion, while
            // the keeper still holds it open.
            service_->Remove();
            EXPECT_EQ(keeper.Wait(), 0) << shown;
            EXPECT_TRUE(service_->Remove()) << shown << ": the service is gone once the keeper has ended";
            EXPECT_FALSE(ServiceExists(kServiceName)) << shown;
            service_.reset();
        }
    }
}

// A service deleted while some program still holds it open stays, marked
// for deletion, until that program lets go. The keeper, asked to keep or
// stop such a service, must end normally and leave nothing behind that
// keeps it (its own handles are checked in process by the service tests).
// Wine's manager still starts a service marked for deletion (Windows
// refuses); this one stops itself at once.
TEST_F(KeeperEndToEnd, AServiceMarkedForDeletionGoesOnceItsLastHolderLetsGo) {
    Register(Behaviour::Refuse);
    {
        const ServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
        ASSERT_TRUE(manager);
        const ServiceHandle held(::OpenServiceW(manager.get(), kServiceName.c_str(), SERVICE_ALL_ACCESS));
        ASSERT_TRUE(held);
        ASSERT_TRUE(::DeleteService(held.get()));
        Keep();
        Keep(L"x");
    }
    EXPECT_TRUE(service_->Remove()) << "the service goes once the test lets go";
}

TEST_F(KeeperEndToEnd, WithoutTheServiceTheKeeperEndsQuietlyAndRegistersNothing) {
    Keep();
    Keep(L"x");
    EXPECT_FALSE(ServiceExists(kServiceName));
}

// Asked for a log, the keeper writes there each step, what it found and
// what came of it; a log it cannot open changes nothing it does.
TEST_F(KeeperEndToEnd, LogsEachStepAndItsOutcomeWhenAskedAndWorksAlikeWithoutAUsableLog) {
    const TempFolder logs(L"log");
    Register();
    KeepLogging(logs / L"stopped.log");
    ASSERT_TRUE(service_->WaitForState(SERVICE_RUNNING));
    KeepLogging(logs / L"running.log");
    KeepLogging(logs / L"argument.log", L"x");
    ASSERT_TRUE(service_->WaitForState(SERVICE_STOPPED));
    ASSERT_TRUE(service_->Remove());
    service_.reset();
    KeepLogging(logs / L"missing.log");

    const std::string keep =
        "no argument given, so the keeper sets service \"Vantrel Service\" to start automatically and starts "
        "it unless it is running\n";
    EXPECT_EQ(LogAfterHeader(logs / L"stopped.log", L""),
              keep +
                  "set to start automatically: service manager opened\n"
                  "set to start automatically: service \"Vantrel Service\" opened\n"
                  "set to start automatically: start type before: on demand (3)\n"
                  "set to start automatically: change to automatic succeeded\n"
                  "set to start automatically: start type after: automatic (2)\n"
                  "read the state: service manager opened\n"
                  "read the state: service \"Vantrel Service\" opened\n"
                  "read the state: state read: \"Stopped\" (state 1)\n"
                  "start: service manager opened\n"
                  "start: service \"Vantrel Service\" opened\n"
                  "start: start requested: succeeded\n"
                  "finished, exit status 0\n");
    EXPECT_EQ(LogAfterHeader(logs / L"running.log", L""),
              keep +
                  "set to start automatically: service manager opened\n"
                  "set to start automatically: service \"Vantrel Service\" opened\n"
                  "set to start automatically: start type before: automatic (2)\n"
                  "set to start automatically: already automatic, so the configuration is left as it is\n"
                  "read the state: service manager opened\n"
                  "read the state: service \"Vantrel Service\" opened\n"
                  "read the state: state read: \"Running\" (state 4)\n"
                  "start: no start requested: the service is running\n"
                  "finished, exit status 0\n");
    // Wine's manager may lose the service's answer to the stop as the
    // service ends (error 109): the service stopped all the same, and the
    // log says so, with the answer beside it.
    std::string argumentLog = LogAfterHeader(logs / L"argument.log", L"x");
    const std::string asked = "stop: stop requested: ";
    if (const size_t at = argumentLog.find(asked); at != std::string::npos) {
        const size_t end = argumentLog.find('\n', at);
        const std::string result = argumentLog.substr(at + asked.size(), end - at - asked.size());
        EXPECT_TRUE(result == "succeeded" ||
                    result.rfind("the service is stopped (the manager answered Error ", 0) == 0)
            << result;
        argumentLog.replace(at + asked.size(), end - at - asked.size(), "<result>");
    }
    EXPECT_EQ(argumentLog,
              "argument given: \"x\", so the keeper asks service \"Vantrel Service\" to stop\n"
              "stop: service manager opened\n"
              "stop: service \"Vantrel Service\" opened\n"
              "stop: stop requested: <result>\n"
              "finished, exit status 0\n");
    const auto notOpened = [](const std::string& step) {
        return step + ": service manager opened\n" + step + ": service \"Vantrel Service\" not opened: " +
               Utf8(vantrel::SystemErrorMessage(ERROR_SERVICE_DOES_NOT_EXIST)) + "\n";
    };
    EXPECT_EQ(LogAfterHeader(logs / L"missing.log", L""),
              keep + notOpened("set to start automatically") + notOpened("read the state") +
                  "read the state: state read: \"\" (no state)\n" + notOpened("start") +
                  "start: no start requested: the service could not be opened\n"
                  "finished, exit status 0\n");

    // A folder, a file in a folder that does not exist, the program itself,
    // a sweep's manifest and someone's notes, which the log must never
    // change; and names the system would make otherwise (a dot or blank at
    // their end), for which nothing is made.
    const TempFolder unusable(L"nolog");
    MakeFolders(unusable / L"folder");
    const std::string manifest = "\xEF\xBB\xBF" + Utf8(unusable / L"a.url") + "\r\n";
    WriteBytes(unusable / L"__shortcutsweep-en.ini", manifest);
    WriteBytes(unusable / L"notes.txt", "my notes\r\n");
    const Tree files = Snapshot(unusable.path());
    const std::string program = ReadWholeFile(g_keeperExe);
    for (const std::wstring& log :
         {unusable / L"folder", unusable / L"absent\\svckeeper.log", g_keeperExe,
          unusable / L"__shortcutsweep-en.ini", unusable / L"notes.txt",
          L"\\\\?\\" + (unusable / L"__shortcutsweep-de.ini."), unusable / L"keeper.log."}) {
        Register();
        const ServiceConfig before = service_->Config();
        KeepLogging(log);
        EXPECT_TRUE(service_->WaitForCount("start", 1));
        EXPECT_TRUE(service_->WaitForState(SERVICE_RUNNING));
        ExpectOnlyTheStartTypeChanged(service_->Config(), before);
        EXPECT_EQ(Stops(), 0);
        EXPECT_TRUE(service_->Remove());
        service_.reset();
    }
    EXPECT_EQ(Snapshot(unusable.path()), files) << "no log file made";
    EXPECT_EQ(ReadWholeFile(g_keeperExe), program) << "the program is never a log";
    EXPECT_EQ(ReadWholeFile(unusable / L"__shortcutsweep-en.ini"), manifest);
    EXPECT_EQ(ReadWholeFile(unusable / L"notes.txt"), "my notes\r\n");
}

// A service already automatic is not reconfigured at all: a manager may
// take any change as a chance to write the whole entry anew (Wine turns
// ImagePath from REG_EXPAND_SZ into REG_SZ and drops DependOnService), so
// the keeper asks for none, and the service's registry entry stays as it
// was, whether the keeper starts the service or finds it running.
TEST_F(KeeperEndToEnd, AServiceAlreadyAutomaticKeepsItsRegistryEntryAsItWas) {
    ServiceOptions options;
    options.program = g_testService;
    ScopedService dependency(options);
    options.name = kServiceName;
    options.startType = kAutomatic;
    options.dependencies = {dependency.name()};
    service_ = std::make_unique<ScopedService>(options);
    // As Windows' own manager and installers write it (Wine writes REG_SZ).
    const std::wstring path = service_->Config().binaryPath;
    HKEY key = nullptr;
    ASSERT_EQ(
        ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, (L"SYSTEM\\CurrentControlSet\\Services\\" + kServiceName).c_str(),
                        0, KEY_SET_VALUE, &key),
        ERROR_SUCCESS);
    const LSTATUS written =
        ::RegSetValueExW(key, L"ImagePath", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                         static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
    ASSERT_EQ(written, ERROR_SUCCESS);
    const std::map<std::wstring, std::wstring> before = ServiceRegistryEntry(kServiceName);
    ASSERT_EQ(before.count(L"DependOnService"), 1u);
    Keep();
    EXPECT_TRUE(service_->WaitForState(SERVICE_RUNNING));
    EXPECT_EQ(ServiceRegistryEntry(kServiceName), before) << "started";
    Keep();
    EXPECT_EQ(ServiceRegistryEntry(kServiceName), before) << "found running";
    EXPECT_EQ(StartType(), kAutomatic);
    EXPECT_EQ(Starts(), 1);
    // Before the service it depends on.
    EXPECT_TRUE(service_->Remove());
    service_.reset();
}

// Under Wine a folder L. is reported as L, so a link L\x.log to L.\x.log
// seems to be the log named: the decision log in L. is never appended to,
// and the keeper does its work all the same.
TEST_F(KeeperEndToEnd, ALogLinkedIntoATwinFolderIsNotWritten) {
    if (!RunningUnderWine()) {
        GTEST_SKIP() << "only a Linux file system under Wine holds such names";
    }
    const TempFolder logs(L"log");
    const std::string earlier = "\xEF\xBB\xBF[1] svckeeper, an earlier run\r\n";
    ASSERT_TRUE(
        RunUnixCommand({"/bin/sh", "-c",
                        "cd \"$1\" && mkdir L L. && printf %s \"$2\" >L./x.log && ln -s ../L./x.log L/x.log",
                        "sh", UnixPathOf(logs.path()), earlier}));
    const std::wstring target = L"\\\\?\\" + (logs / L"L.\\x.log");
    ASSERT_EQ(ReadWholeFile(target), earlier);
    Register();
    KeepLogging(logs / L"L\\x.log");
    EXPECT_TRUE(service_->WaitForState(SERVICE_RUNNING));
    EXPECT_EQ(ReadWholeFile(target), earlier);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    PrintFailuresWithoutDebugStrings();
    if (!FindProgramsUnderTest(argc, argv,
                               {{"svckeeper.exe", &g_keeperExe}, {"test_service.exe", &g_testService}})) {
        return 2;
    }
    return RUN_ALL_TESTS();
}
