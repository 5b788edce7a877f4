// The repeat-count and about boxes: what they show and what their answers do.
#include "engine/winconst.h"
#include "test_app_util.h"
#include <regex>

namespace {

class BoxesTest : public AppTest {
  protected:
    // Shows the repeat-count box; the user leaves `typed` in the field (or
    // touches nothing when null) and answers with `button`.
    void RepeatBox(const char *typed, int button) {
        if (typed) g_fake.repeatTyped.push_back(typed);
        g_fake.boxAnswers.push_back(button);
        Command(ID_REPEAT_COUNT);
    }
};

TEST_F(BoxesTest, RepeatCountBoxShowsTheCurrentCount) {
    g_app.repeatCount = 4;
    RepeatBox(nullptr, IDCANCEL);
    FakeCall box = TheOnly("repeatbox");
    EXPECT_EQ(box.title, "Playback Repeats");
    EXPECT_EQ(box.text, "Number of Playback Loops:\t\n\n\n\n\n");
    EXPECT_EQ(box.a, 0x40021);
    EXPECT_EQ(TheOnly("repeatfield").text, "4");
    // A count below 1 (an unpatched standalone field) is offered as 1.
    for (int32_t below : {0, -5}) {
        FakeClearLog();
        g_app.repeatCount = below;
        RepeatBox(nullptr, IDCANCEL);
        EXPECT_EQ(TheOnly("repeatfield").text, "1");
        EXPECT_EQ(g_app.repeatCount, below); // cancelled: untouched
    }
}

// OK takes the typed count (at least 1) and turns continuous play off;
// Cancel changes nothing, whatever was typed.
TEST_F(BoxesTest, RepeatCountConfirmedOrCancelled) {
    const struct {
        const char *typed;
        int button;
        int32_t count;
        uint8_t continuous;
    } cases[] = {
        {"", IDOK, 1, 0},
        {"0", IDOK, 1, 0},
        {"7", IDOK, 7, 0},
        {"0012", IDOK, 12, 0},
        {"99999999999999999999", IDOK, 2147483647, 0},
        {"7", IDCANCEL, 3, 1},
    };
    for (auto &c : cases) {
        g_app.repeatCount = 3;
        g_app.continuous = 1;
        RepeatBox(c.typed, c.button);
        EXPECT_EQ(g_app.repeatCount, c.count) << '"' << c.typed << '"';
        EXPECT_EQ(g_app.continuous, c.continuous) << '"' << c.typed << '"';
        if (c.button == IDOK) {
            EXPECT_STREQ(g_app.repeatText, c.typed);
        }
    }
    // OK with the field untouched keeps the count (a field that was never
    // placed behaves the same).
    g_app.repeatCount = -2;
    RepeatBox(nullptr, IDOK);
    EXPECT_EQ(g_app.repeatCount, 1);
    g_app.repeatCount = 9;
    RepeatBox(nullptr, IDOK);
    EXPECT_EQ(g_app.repeatCount, 9);
}

// The other rate and the pause length are typed into boxes of the repeat
// box's kind that take a decimal point. OK with a good number sets it; a
// bad one is said so and changes nothing; Cancel changes nothing.
TEST_F(BoxesTest, RateAndPauseLengthBoxes) {
    const struct {
        uint32_t command;
        const char *typed;
        int button;
        int32_t rate, limit, pauseLimit; // after: rate, max pause, the length kept
        bool refused;
    } cases[] = {
        {ID_RATE_OTHER, "1.5", IDOK, 150, 0, 2000, false},
        {ID_RATE_OTHER, "0.1", IDOK, 10, 0, 2000, false},
        {ID_RATE_OTHER, "10", IDOK, 1000, 0, 2000, false},
        {ID_RATE_OTHER, "3x", IDOK, 300, 0, 2000, false},
        {ID_RATE_OTHER, "0.05", IDOK, 100, 0, 2000, true},
        {ID_RATE_OTHER, "12", IDOK, 100, 0, 2000, true},
        {ID_RATE_OTHER, "", IDOK, 100, 0, 2000, true},
        {ID_RATE_OTHER, "1..5", IDOK, 100, 0, 2000, true},
        {ID_RATE_OTHER, "3", IDCANCEL, 100, 0, 2000, false},
        {ID_PAUSE_LENGTH, "1.5", IDOK, 100, 1500, 1500, false},
        {ID_PAUSE_LENGTH, "0", IDOK, 100, 0, 2000, false},
        {ID_PAUSE_LENGTH, "86400", IDOK, 100, 86400000, 86400000, false},
        {ID_PAUSE_LENGTH, "86401", IDOK, 100, 0, 2000, true},
        {ID_PAUSE_LENGTH, ".", IDOK, 100, 0, 2000, true},
        {ID_PAUSE_LENGTH, "5", IDCANCEL, 100, 0, 2000, false},
    };
    for (auto &c : cases) {
        FakeReset();
        g_app.speed = 1;
        g_fake.repeatTyped.push_back(c.typed);
        g_fake.boxAnswers.push_back(c.button);
        Command(c.command);
        EXPECT_EQ(g_app.ratePercent, c.rate) << c.typed;
        EXPECT_EQ(g_app.maxPauseMs, c.limit) << c.typed;
        EXPECT_EQ(g_app.pauseLimitMs, c.pauseLimit) << c.typed;
        // A rate typed in plays at normal speed.
        bool rateSet = c.command == ID_RATE_OTHER && c.button == IDOK && !c.refused;
        EXPECT_EQ(g_app.speed, rateSet ? 0 : 1) << c.typed;
        FakeCall box = TheOnly("numberbox");
        EXPECT_EQ(box.title, c.command == ID_RATE_OTHER ? "Playback Rate" : "Longest Pause");
        EXPECT_EQ(box.a, 0x40021);
        EXPECT_EQ(box.text.substr(box.text.size() - 6), "\t\n\n\n\n\n") << "room for the field";
        auto refusals = FakeLogOf("box");
        EXPECT_EQ(refusals.size(), c.refused ? 1u : 0u) << c.typed;
        // The search timer that places the field is gone with the box.
        EXPECT_EQ(g_fake.timers.count(TIMER_REPEAT_DECORATE), 0u);
    }
    // The field opens with the value in force.
    FakeReset();
    g_app.ratePercent = 125;
    g_app.pauseLimitMs = 1250;
    g_fake.boxAnswers = {IDCANCEL, IDCANCEL};
    Command(ID_RATE_OTHER);
    Command(ID_PAUSE_LENGTH);
    auto fields = FakeLogOf("repeatfield");
    ASSERT_EQ(fields.size(), 2u);
    EXPECT_EQ(fields[0].text, "1.25");
    EXPECT_EQ(fields[1].text, "1.25");
}

// The search timer runs inside the box's loop, stops once the field is in,
// and is killed again when the box returns, whether or not it was found.
TEST_F(BoxesTest, DecorationTimerLivesOnlyWhileTheBoxIsOpen) {
    AppWindowProc(MSG_CREATE, 0, 0);
    g_fake.onModal = [](const std::string &) { FakeRunFor(35); };
    Command(ID_REPEAT_COUNT);
    std::vector<std::string> seq;
    for (auto &c : g_fake.log)
        if ((c.what == "settimer" || c.what == "killtimer" || c.what == "decorate") &&
            c.a == TIMER_REPEAT_DECORATE)
            seq.push_back(c.what + "@" + std::to_string(c.tick - 1000));
        else if (c.what == "repeatbox" || c.what == "repeatfield")
            seq.push_back(c.what);
    EXPECT_EQ(seq, (std::vector<std::string>{"settimer@0", "repeatbox", "repeatfield",
                                             "decorate@10", "killtimer@10", "killtimer@35"}));
    EXPECT_EQ(FakeLogOf("settimer")[1].b, 10); // [0] is the poll
    EXPECT_EQ(g_fake.timers.count(TIMER_REPEAT_DECORATE), 0u);
    EXPECT_EQ(g_fake.timers.count(TIMER_POLL), 1u);
}

TEST_F(BoxesTest, AboutBoxTextAndLink) {
    Command(ID_ABOUT);
    FakeCall about = TheOnly("about");
    EXPECT_EQ(about.title, "About Quorvane");
    EXPECT_EQ(about.a, 0x52080);
    EXPECT_EQ(TheOnly("aboutlink").text, "Quorvane documentation");
    std::regex shape("\n\n\nQuorvane  1\\.50\n\n"
                     "[^\n]*Copyright[^\n]*\n"
                     "Build:  (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [1-9][0-9]? "
                     "[0-9]{4} [0-2][0-9]:[0-5][0-9]:[0-5][0-9]"
                     "\n\nIf you like this program, please consider donating at our "
                     "website\\.\t\nThank you!\n\n");
    EXPECT_TRUE(std::regex_match(about.text, shape)) << about.text;
    EXPECT_EQ(TheOnly("settimer").a, TIMER_ABOUT_DECORATE);
    EXPECT_EQ(TheOnly("settimer").b, 10);
    EXPECT_EQ(TheOnly("killtimer").a, TIMER_ABOUT_DECORATE);
}

TEST_F(BoxesTest, BuildStampDropsTheDaysPadding) {
    char out[32];
    FormatBuildStamp("Dec  8 2026", "21:46:33", out);
    EXPECT_STREQ(out, "Dec 8 2026 21:46:33");
    FormatBuildStamp("Nov 18 2026", "09:05:00", out);
    EXPECT_STREQ(out, "Nov 18 2026 09:05:00");
}

// A click on the link while the about box is open opens the documentation;
// the box's loop runs the posted command and the box stays.
TEST_F(BoxesTest, LinkClickInsideTheAboutBoxOpensTheDocumentation) {
    PutFile(scratch / "README.html", "<html>");
    std::snprintf(g_app.ownPath, sizeof g_app.ownPath, "%s", exe.c_str());
    g_fake.onModal = [](const std::string &title) {
        if (title != "About Quorvane") return;
        PlatPostCommand(ID_WEBSITE, 1);
        FakeRunPending();
    };
    Command(ID_ABOUT);
    EXPECT_EQ(TheOnly("url").text, scratch / "README.html");
    size_t urlAt = 0, killAt = 0;
    for (size_t i = 0; i < g_fake.log.size(); i++) {
        if (g_fake.log[i].what == "url") urlAt = i;
        if (g_fake.log[i].what == "killtimer") killAt = i;
    }
    EXPECT_LT(urlAt, killAt);
}

} // namespace
