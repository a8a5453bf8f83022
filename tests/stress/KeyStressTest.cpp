// Key presses as a stuck or bouncing key makes them: copies of the launcher
// started with random gaps and in bursts of simultaneous starts, over several
// rounds. Throughout, at most one target runs at any moment; after each round
// the lamp matches whether a target runs; at the end every copy has ended
// cleanly within its bound and nothing is left running.
//
// The schedules come from a fixed list of seeds, one case per seed, each named
// by its seed; AVENOR_STRESS_SEED=<n> runs the schedule of <n> instead (the
// interleaving of the copies is up to the system).
#include "WorkingRun.h"

#include "Poll.h"
#include "Processes.h"
#include "WinePath.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <mutex>
#include <random>
#include <sstream>
#include <thread>

using namespace tb;

namespace {

// Working runs: the driver stand-in, and the launcher's English texts.
const NeedRow kNeeds[] = {{Need::Driver, "*"}, {Need::UsEnglishUi, "*"}};
const bool kNeedsKnown = RegisterNeeds(kNeeds, 2);

const int kRounds = 3;
const int kSinglesPerRound = 10; // plus one burst per round
const int kBurstSize = 5;
const unsigned kMaxGapMs = 600;

// Bounds. A copy that does not become the working copy ends within
// kCopyBoundMs of its start; a working copy ends within kTailBoundMs of the
// end of the target it started. After a round everything but at most one
// working run with its target has ended within kSettleMs, and that working
// copy has handled what the others posted to it (see Settle).
const DWORD kCopyBoundMs = 20000;
const DWORD kTailBoundMs = 20000;
const DWORD kSettleMs = 45000;

const DWORD kSampleMs = 5;     // how often the running targets are counted
const DWORD kBoxCheckMs = 200; // how often the copies are looked at for boxes
const DWORD kPollMs = 50;

// One expected trace line, whatever the test bed calls its type.
using Line = ExpectedLine;
using Lines = std::vector<Line>;

// Every run goes through the same schedules: a failure repeats with its seed.
const unsigned kSeeds[] = {2009u};

std::vector<unsigned> StressSeeds() {
    char text[32] = {};
    DWORD cch = GetEnvironmentVariableA("AVENOR_STRESS_SEED", text, sizeof(text));
    if (cch > 0 && cch < sizeof(text))
        return {static_cast<unsigned>(strtoul(text, nullptr, 10))};
    return std::vector<unsigned>(std::begin(kSeeds), std::end(kSeeds));
}

// 100 ns units of a FILETIME, as milliseconds.
long long Ms(const FILETIME &t) {
    return static_cast<long long>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) |
                                  t.dwLowDateTime) /
           10000;
}

// Start and end of a process that has ended, in milliseconds of system time.
bool Lifetime(HANDLE process, long long *start, long long *end) {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user))
        return false;
    *start = Ms(created);
    *end = Ms(exited);
    return true;
}

using Target = ProcessEntry;

// The running "Lumora.exe" processes with the process that started each.
std::vector<Target> RunningTargets() {
    return ProcessesNamed(kLumoraExe);
}

// A line of the test's report, on its output.
void Say(const std::string &text) {
    fputs(("[stress] " + text + "\n").c_str(), stdout);
    fflush(stdout);
}

// A copy of the launcher started by this test (E2eTest::Launch), which ends it
// if it still runs when the test ends. Its handle stays open until then, so
// its id is not given to another process meanwhile and its trace lines stay
// its own.
struct Copy {
    ChildProcess *child = nullptr;
    HANDLE process = nullptr;
    DWORD pid = 0;
    int round = 0;
    bool burst = false;

    bool Running() const { return child->Running(); }
};

// Watches the run from two threads of its own. One counts the running targets
// as often as it can (every few milliseconds on an idle machine) and keeps a
// handle to every target it sees, so that its times can be read once it has
// ended. The other answers any box a copy shows, so that no copy waits for a
// user who is not there.
class Watch {
public:
    ~Watch() { Stop(); }

    void Start() {
        stop_ = false;
        sampler_ = std::thread(&Watch::Sample, this);
        answerer_ = std::thread(&Watch::Answer, this);
    }
    void Stop() {
        {
            std::lock_guard<std::mutex> guard(lock_);
            stop_ = true;
        }
        if (sampler_.joinable())
            sampler_.join();
        if (answerer_.joinable())
            answerer_.join();
    }
    void AddCopy(DWORD pid) {
        std::lock_guard<std::mutex> guard(lock_);
        copyPids_.push_back(pid);
    }

    struct Seen {
        DWORD pid;
        DWORD parent;
        HANDLE process;
    };
    // Read after Stop().
    std::vector<Seen> targets;
    std::vector<std::pair<DWORD, std::wstring>> boxes; // copy, text
    size_t samples = 0;
    size_t mostAtOnce = 0;
    DWORD longestGapMs = 0;

    void CloseTargets() {
        for (Seen &s : targets)
            if (s.process != nullptr)
                CloseHandle(s.process);
        targets.clear();
    }

private:
    bool Stopping() {
        std::lock_guard<std::mutex> guard(lock_);
        return stop_;
    }

    void Sample() {
        DWORD last = GetTickCount();
        while (!Stopping()) {
            const std::vector<Target> now = RunningTargets();
            const DWORD t = GetTickCount();
            ++samples;
            longestGapMs = std::max(longestGapMs, t - last);
            last = t;
            mostAtOnce = std::max(mostAtOnce, now.size());
            for (const Target &target : now) {
                bool known = false;
                for (const Seen &s : targets)
                    known = known || s.pid == target.pid;
                if (!known)
                    targets.push_back(Seen{
                        target.pid, target.parent,
                        OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, target.pid)});
            }
            Sleep(kSampleMs);
        }
    }

    void Answer() {
        while (!Stopping()) {
            std::vector<DWORD> copies;
            {
                std::lock_guard<std::mutex> guard(lock_);
                copies = copyPids_;
            }
            for (DWORD pid : copies) {
                for (HWND box : VisibleBoxesOf(pid)) {
                    const BoxView view = ReadBox(box);
                    PressButton(box, IDOK, kPressMs);
                    boxes.emplace_back(pid, view.text);
                }
            }
            Sleep(kBoxCheckMs);
        }
    }

    std::thread sampler_;
    std::thread answerer_;
    std::mutex lock_;
    bool stop_ = false;
    std::vector<DWORD> copyPids_;
};

enum Kind { kWorking, kForwarded, kNoWindow, kRefused, kUnknown };

const std::string kLocalExists = NotifyLine("InitInstance", "m_hLocalMutex - ERROR_ALREADY_EXISTS");
const std::string kGlobalExists =
    NotifyLine("InitInstance", "m_hGlobalMutex - ERROR_ALREADY_EXISTS");

// The line with a working copy's window handle, by its form: the test does not
// look for the window of each of its many copies.
const Line kWindowLine = NoteLike("MainThreadCreateWindow", "g_hWnd: 0x[0-9A-F]{8}");

// What a copy started with the switch did, from its trace.
Kind Classify(const std::vector<std::string> &trace) {
    bool local = false;
    bool noWindow = false;
    bool global = false;
    for (const std::string &line : trace) {
        if (kWindowLine.matches(line))
            return kWorking;
        local = local || line == kLocalExists;
        global = global || line == kGlobalExists;
        noWindow =
            noWindow || IsErrorLine(line, "InitInstance", "Mutex exist but FindWindowEx failed");
    }
    if (local)
        return noWindow ? kNoWindow : kForwarded;
    return global ? kRefused : kUnknown;
}

// The whole trace a copy of each kind leaves; for the working copy only the
// lines before its loop runs, since every later press with the switch turns
// its trace off or on again.
Lines ExpectedTrace(Kind kind) {
    const Lines head = {NoteLike("Avenor", "v1\\.0\\.0001 \\(.*\\)"),
                        Note("InitInstance - GetUserDefaultUILanguage (g_tszLangID)", "0x0409")};
    const Line end = Note("ExitInstance", "I am called!");
    switch (kind) {
    case kWorking:
        return head + kWindowLine + NoTargetWindow();
    case kForwarded:
        return head + Note("InitInstance", "m_hLocalMutex - ERROR_ALREADY_EXISTS") + end;
    case kNoWindow:
        // Any code: under load the lookup meets windows that come and go.
        return head + Note("InitInstance", "m_hLocalMutex - ERROR_ALREADY_EXISTS") +
               Error("InitInstance", "Mutex exist but FindWindowEx failed") + end;
    default:
        return {};
    }
}

class KeyStressTest : public WorkingRunTest, public ::testing::WithParamInterface<unsigned> {
protected:
    // Starts one copy with the switch; one of a burst starts suspended.
    Copy *StartCopy(int round, bool burst) {
        ChildProcess &child = Launch(L" /d", {{L"LUMORA_MODE", L""}}, burst);
        if (child.Pid() == 0)
            return nullptr;
        Copy copy;
        copy.child = &child;
        copy.process = child.Handle();
        copy.pid = child.Pid();
        copy.round = round;
        copy.burst = burst;
        watch_.AddCopy(copy.pid);
        copies_.push_back(std::unique_ptr<Copy>(new Copy(copy)));
        return copies_.back().get();
    }

    // Starts kBurstSize copies suspended and lets them all go at once.
    void StartBurst(int round) {
        std::vector<Copy *> burst;
        for (int i = 0; i < kBurstSize; ++i) {
            Copy *copy = StartCopy(round, true);
            if (copy != nullptr)
                burst.push_back(copy);
        }
        for (Copy *copy : burst)
            EXPECT_TRUE(copy->child->Resume());
    }

    // Whether every copy has ended but at most one working copy whose target
    // runs with its window up.
    bool SettledNow(bool *targetRuns) const {
        std::vector<DWORD> running;
        for (const auto &copy : copies_)
            if (copy->Running())
                running.push_back(copy->pid);
        const std::vector<Target> targets = RunningTargets();
        *targetRuns = false;
        if (running.empty())
            return targets.empty();
        if (running.size() != 1 || targets.size() != 1 || targets[0].parent != running[0])
            return false;
        if (OwnerOf(FindWindowW(kLauncherWindowName, kLauncherWindowName)) != running[0] ||
            FindLumoraPid() != targets[0].pid)
            return false;
        *targetRuns = true;
        return true;
    }

    // Waits until SettledNow() holds for good: no copy runs, or the working copy
    // has handled all that ended copies posted before a resume broadcast posted
    // now, whose lamp request still lights the lamp (none was a close request).
    bool Settle(bool *targetRuns) const {
        return PollUntil(kSettleMs, kPollMs, [&] {
            if (!SettledNow(targetRuns))
                return false;
            AcpiStandInHistory h = {};
            if (!*targetRuns || !StandInHistory(h))
                return !*targetRuns;
            const unsigned before = h.total;
            return PostMessageW(FindWindowW(kLauncherWindowName, kLauncherWindowName),
                                WM_POWERBROADCAST, kPbtResumeSuspend, 0) &&
                   PollUntil(kSettleMs, kPollMs,
                             [&] { return StandInHistory(h) && h.total > before; }) &&
                   h.requests[h.count - 1].argument == kLampOn && SettledNow(targetRuns);
        });
    }

    // The last lamp request and the lamp state the driver keeps match whether
    // a target runs. (The working runs are in the 64-bit prefix, where the
    // request carries its argument where the stand-in can read it.)
    void ExpectLampMatches(bool targetRuns, int round) {
        AcpiStandInHistory history = {};
        ASSERT_TRUE(StandInHistory(history));
        ASSERT_GT(history.count, 0u);
        const AcpiStandInRequest &last = history.requests[history.count - 1];
        EXPECT_EQ(targetRuns ? kLampOn : kLampOff, last.argument) << "after round " << round;
        EXPECT_EQ(targetRuns ? 1 : 0, history.lamp) << "after round " << round;
    }

    void TearDown() override {
        watch_.Stop();
        watch_.CloseTargets();
        copies_.clear();
        WorkingRunTest::TearDown();
    }

    std::vector<std::unique_ptr<Copy>> copies_;
    Watch watch_;
};

} // namespace

TEST_P(KeyStressTest, StuckAndBouncingKeyKeepsOneTargetAndEndsClean) {
    const unsigned seed = GetParam();
    Say("seed " + std::to_string(seed) + " (AVENOR_STRESS_SEED=" + std::to_string(seed) +
        " repeats this schedule)");
    RecordProperty("seed", static_cast<int>(seed & 0x7FFFFFFF));
    std::mt19937 random(seed);
    const DWORD begin = GetTickCount();
    watch_.Start();

    bool targetRuns = false;
    for (int round = 1; round <= kRounds; ++round) {
        const int burstAt = static_cast<int>(random() % (kSinglesPerRound + 1));
        for (int event = 0; event <= kSinglesPerRound; ++event) {
            Sleep(random() % (kMaxGapMs + 1));
            if (event == burstAt)
                StartBurst(round);
            else
                StartCopy(round, false);
        }
        ASSERT_TRUE(Settle(&targetRuns))
            << "round " << round << ": the copies did not settle within " << kSettleMs << " ms";
        ExpectLampMatches(targetRuns, round);
        Say("round " + std::to_string(round) + ": " + std::to_string(copies_.size()) +
            " copies so far, target " + (targetRuns ? "running" : "not running"));
    }
    // One more press to close a target the rounds left running.
    const bool finalPress = targetRuns;
    if (finalPress) {
        StartCopy(kRounds + 1, false);
        ASSERT_TRUE(Settle(&targetRuns)) << "the last press did not settle";
        EXPECT_FALSE(targetRuns) << "the last press did not close the target";
    }
    ExpectLampMatches(false, kRounds + 1);
    EXPECT_TRUE(LumoraPids().empty());
    watch_.Stop();
    const DWORD wall = GetTickCount() - begin;

    // What each copy did, and that it ended cleanly in time.
    ASSERT_TRUE(trace_.Flush(kFlushMs));
    size_t counts[kUnknown + 1] = {};
    long long longestCopy = 0;
    std::vector<const Copy *> working;
    std::vector<const Copy *> refused;
    for (const auto &copy : copies_) {
        SCOPED_TRACE("copy " + std::to_string(copy->pid) + " of round " +
                     std::to_string(copy->round) + (copy->burst ? " (burst)" : ""));
        DWORD code = STILL_ACTIVE;
        ASSERT_FALSE(copy->Running());
        ASSERT_TRUE(GetExitCodeProcess(copy->process, &code));
        EXPECT_EQ(0u, code) << "the copy crashed or was ended";
        const std::vector<std::string> trace = trace_.LinesOf(copy->pid);
        const Kind kind = Classify(trace);
        ++counts[kind];
        EXPECT_NE(kUnknown, kind) << Dump(trace);
        if (kind == kWorking) {
            working.push_back(copy.get());
            EXPECT_TRUE(MatchesAt(trace, 0, ExpectedTrace(kind)));
            continue;
        }
        if (kind == kRefused) {
            refused.push_back(copy.get());
        } else {
            EXPECT_TRUE(MatchesExactly(trace, ExpectedTrace(kind)));
        }
        long long start = 0, end = 0;
        ASSERT_TRUE(Lifetime(copy->process, &start, &end));
        longestCopy = std::max(longestCopy, end - start);
        EXPECT_LE(end - start, static_cast<long long>(kCopyBoundMs));
    }
    // No copy may be refused as if a copy ran in another session: only a
    // working copy holds the machine-wide mutex, and one that is ending may
    // still hold it after it has let go of the per-session one.
    for (const Copy *copy : refused) {
        long long start = 0, end = 0;
        Lifetime(copy->process, &start, &end);
        std::string ending = "no working copy ended meanwhile";
        for (const Copy *w : working) {
            long long wStart = 0, wEnd = 0;
            if (Lifetime(w->process, &wStart, &wEnd) && wEnd >= start && wEnd <= end)
                ending = "working copy " + std::to_string(w->pid) + " ended " +
                         std::to_string(wEnd - start) + " ms after this copy started";
        }
        std::string text = "<none seen>";
        for (const auto &box : watch_.boxes)
            if (box.first == copy->pid)
                text = "\"" + ToAnsi(box.second) + "\"";
        ADD_FAILURE() << "copy " << copy->pid << " of round " << copy->round
                      << " was refused as if another session ran a copy (box " << text << "); "
                      << ending << "\n"
                      << Dump(trace_.LinesOf(copy->pid));
    }
    for (const auto &box : watch_.boxes) {
        bool explained = false;
        for (const Copy *copy : refused)
            explained = explained || copy->pid == box.first;
        if (!explained)
            ADD_FAILURE() << "copy " << box.first << " showed a box: " << ToAnsi(box.second);
    }

    // The targets: one per working copy, started by it, never two at once,
    // each one's working copy gone within its bound after the target.
    const std::vector<LumoraStart> logged = Log().Starts();
    EXPECT_EQ(1u, watch_.mostAtOnce) << "targets ran at the same time";
    EXPECT_EQ(working.size(), logged.size());
    EXPECT_EQ(working.size(), watch_.targets.size());
    for (const LumoraStart &start : logged) {
        bool seen = false;
        for (const Watch::Seen &s : watch_.targets)
            seen = seen || s.pid == start.pid;
        EXPECT_TRUE(seen) << "target " << start.pid << " ran between two samples";
    }
    std::vector<std::pair<long long, long long>> spans;
    long long longestTail = 0;
    for (const Copy *copy : working) {
        SCOPED_TRACE("working copy " + std::to_string(copy->pid));
        const Watch::Seen *target = nullptr;
        for (const Watch::Seen &s : watch_.targets)
            if (s.parent == copy->pid)
                target = target == nullptr ? &s : nullptr;
        ASSERT_NE(nullptr, target) << "not exactly one target started by this copy";
        long long targetStart = 0, targetEnd = 0, copyStart = 0, copyEnd = 0;
        ASSERT_NE(nullptr, target->process);
        ASSERT_TRUE(Lifetime(target->process, &targetStart, &targetEnd));
        ASSERT_TRUE(Lifetime(copy->process, &copyStart, &copyEnd));
        spans.emplace_back(targetStart, targetEnd);
        longestTail = std::max(longestTail, copyEnd - targetEnd);
        EXPECT_LE(copyEnd - targetEnd, static_cast<long long>(kTailBoundMs));
        EXPECT_LE(copyStart, targetStart);
    }
    std::sort(spans.begin(), spans.end());
    for (size_t i = 1; i < spans.size(); ++i)
        EXPECT_LE(spans[i - 1].second, spans[i].first) << "target " << i << " started early";
    // The log agrees: every start is followed by its exit before the next one.
    bool open = false;
    for (const std::wstring &line : Log().Lines()) {
        if (line.compare(0, 6, L"start ") == 0) {
            EXPECT_FALSE(open) << "two targets started without an exit between";
            open = true;
        } else if (line.compare(0, 5, L"exit ") == 0) {
            EXPECT_TRUE(open) << "an exit without a start";
            open = false;
        }
    }
    EXPECT_FALSE(open) << "a target did not exit";
    EXPECT_EQ(0u, KillProcessesUnder(sandbox_->Root(), 5000)) << "processes were left running";

    std::ostringstream report;
    report << "seed " << seed << ": " << copies_.size() << " copies started (" << kRounds
           << " bursts of " << kBurstSize << ", " << (finalPress ? "one" : "no")
           << " closing press), " << counts[kWorking] << " working, " << counts[kForwarded]
           << " forwarded, " << counts[kNoWindow] << " refused for want of a window, "
           << counts[kRefused] << " refused with a box, " << counts[kUnknown] << " unclassified; "
           << logged.size() << " targets started, " << Log().CountCloses()
           << " closed on a press; at most " << watch_.mostAtOnce << " target(s) at once in "
           << watch_.samples << " samples (longest gap " << watch_.longestGapMs
           << " ms); longest non-working copy " << longestCopy
           << " ms, longest working copy after its target " << longestTail << " ms; " << wall
           << " ms in all";
    Say(report.str());
    RecordProperty("copies", static_cast<int>(copies_.size()));
    RecordProperty("forwarded", static_cast<int>(counts[kForwarded]));
    RecordProperty("refused", static_cast<int>(counts[kNoWindow] + counts[kRefused]));
    RecordProperty("targets", static_cast<int>(logged.size()));
}

INSTANTIATE_TEST_SUITE_P(Seeds, KeyStressTest, ::testing::ValuesIn(StressSeeds()),
                         [](const ::testing::TestParamInfo<unsigned> &p) {
                             return "Seed" + std::to_string(p.param);
                         });
