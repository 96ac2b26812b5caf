// Reports in, control states out: the dispatcher against a real window, with
// the command sender and the message hook recorded.
#include "Dispatcher.h"
#include "Fmain.h"
#include "Hex.h"
#include "Language.h"
#include "Lcomm.h"
#include "Panel.h"
#include "Rhtrack.h"
#include "WaitFor.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

struct Recorded {
    std::vector<std::string> sent;  // framed, hex
    QStringList messages;
    QString replyText;
};

struct DispatchCase {
    const char* name;
    std::function<void(TfrmMain&)> before;
    const char* report;  // sub byte and payload, hex
    std::function<void(TfrmMain&, const Recorded&)> check;
};

void PrintTo(const DispatchCase& c, std::ostream* os)
{
    *os << c.name;
}

LCmd Report(const char* subAndPayload)
{
    ByteVector bytes = Hex(subAndPayload);
    class Built : public LCmd {
    public:
        explicit Built(const ByteVector& b) : LCmd(0x01, b.empty() ? 0 : b[0])
        {
            payload_.assign(b.begin() + (b.empty() ? 0 : 1), b.end());
        }
    };
    // Through the line format and back, as a received report would come.
    return LCmd(Built(bytes).MakeFrame(1));
}

const char* kPoll = "10 02 01 01 05 10 03 04";

void Unfocused(TfrmMain&) {}

class Dispatch : public testing::TestWithParam<DispatchCase> {
protected:
    static void SetUpTestSuite()
    {
        LComm::SetPortOverride(QStringLiteral("/dev/kestra-test-no-such-port"));
        SetLanguageFlag(kLanguageEnglish);
    }

    void SetUp() override
    {
        w_ = std::make_unique<TfrmMain>();
        w_->show();
        w_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w_.get()));
        // As after a connection: every control can take the focus.
        w_->EnablePanelControls();
        dispatcher_ = std::make_unique<ReportDispatcher>(
            *w_, [this](const LCmd& c, std::uint8_t) { rec_.sent.push_back(ToHex(c.MakeFrame(1))); },
            [this](const QString& text) { rec_.messages << text; });
    }

    void TearDown() override
    {
        dispatcher_.reset();
        w_.reset();
    }

    void Apply(const char* report)
    {
        rec_.replyText.clear();
        dispatcher_->DispatchReport(Report(report), rec_.replyText);
    }

    std::unique_ptr<TfrmMain> w_;
    std::unique_ptr<ReportDispatcher> dispatcher_;
    Recorded rec_;
};

TEST_P(Dispatch, Report)
{
    const auto& c = GetParam();
    c.before(*w_);
    Apply(c.report);
    c.check(*w_, rec_);
}

const DispatchCase kCases[] = {
    {"mic_gain_moves_fader_bar_text", Unfocused, "C3 21 12",
     [](TfrmMain& w, const Recorded& r) {
         EXPECT_EQ(w.tbMic[3]->Position(), 33);
         EXPECT_EQ(w.pgbMic[3]->value(), 46);
         EXPECT_EQ(w.edMic[3]->text(), "-17dB");
         EXPECT_TRUE(r.sent.empty());
         EXPECT_TRUE(r.replyText.isEmpty());
     }},
    {"focused_fader_keeps_its_place", [](TfrmMain& w) { w.tbSubLeft->setFocus(); }, "C2 0A 01",
     [](TfrmMain& w, const Recorded& r) {
         ASSERT_TRUE(w.tbSubLeft->hasFocus());
         EXPECT_EQ(w.tbSubLeft->Position(), 0);
         EXPECT_EQ(w.pgbSubLeft->value(), 69);
         EXPECT_EQ(w.edSubLeft->text(), "-5dB");
         EXPECT_TRUE(r.sent.empty());
     }},
    {"level_report_moves_bar_not_fader_and_polls", Unfocused, "C4 4F 13",
     [](TfrmMain& w, const Recorded& r) {
         EXPECT_EQ(w.pgbMic[4]->value(), 0);
         EXPECT_EQ(w.edMic[4]->text(), "mute");
         EXPECT_EQ(w.tbMic[4]->Position(), 0);
         ASSERT_EQ(r.sent.size(), 1u);
         EXPECT_EQ(r.sent[0], kPoll);
     }},
    {"line_source_lights_one_lamp", Unfocused, "C1 02",
     [](TfrmMain& w, const Recorded&) {
         for (int i = 0; i < 5; ++i) {
             EXPECT_EQ(w.LinePanel[i]->Color(), i == 1 ? clLime : clGreen) << i;
         }
     }},
    {"priority_on_darkens_lamp", [](TfrmMain& w) { w.panduck[3]->SetColor(clYellow); }, "C9 01 12",
     [](TfrmMain& w, const Recorded&) {
         EXPECT_TRUE(IsPressed(w.btnduck[3]));
         EXPECT_EQ(w.panduck[3]->Color(), clOlive);
     }},
    {"mute_mic", Unfocused, "CE 01 10",
     [](TfrmMain& w, const Recorded&) {
         EXPECT_TRUE(IsPressed(w.Panel[1]));
         EXPECT_EQ(w.pgbMic[1]->value(), 0);
         EXPECT_EQ(w.edMic[1]->text(), "mute");
     }},
    {"unmute_mic_ducked",
     [](TfrmMain& w) {
         w.DuckingActive = true;
         w.tbMic[2]->SetPosition(33);
         w.tbAttenuation->SetPosition(10);
         SetPressed(w.Panel[2], true);
     },
     "CE 00 11",
     [](TfrmMain& w, const Recorded&) {
         EXPECT_FALSE(IsPressed(w.Panel[2]));
         EXPECT_EQ(w.pgbMic[2]->value(), 36);
         EXPECT_EQ(w.edMic[2]->text(), "-27dB");
     }},
    {"mute_sub_right", Unfocused, "CE 01 02",
     [](TfrmMain& w, const Recorded&) {
         EXPECT_TRUE(IsPressed(w.btnSubR));
         EXPECT_EQ(w.pgbSubRight->value(), 0);
         EXPECT_EQ(w.edSubRight->text(), "mute");
     }},
    {"gang_sub_with_right_muted",
     [](TfrmMain& w) {
         SetPressed(w.btnSubR, true);
         w.tbSubLeft->SetPosition(10);
         w.tbSubRight->SetPosition(20);
     },
     "CA 01 01",
     [](TfrmMain& w, const Recorded&) {
         EXPECT_TRUE(w.SubGanged);
         EXPECT_TRUE(IsPressed(w.btnSubGanged));
         EXPECT_TRUE(IsPressed(w.btnSubL));
         EXPECT_TRUE(IsPressed(w.btnSubR));
         EXPECT_EQ(w.pgbSubLeft->value(), 0);
         EXPECT_EQ(w.pgbSubRight->value(), 0);
         EXPECT_TRUE(w.btnSubR->isHidden());
         EXPECT_EQ(w.btnSubL->x(), w.btnSubGanged->x());
         EXPECT_FALSE(w.tbSubRight->isEnabled());
         EXPECT_EQ(w.SubGangedOffset, -10);
     }},
    {"pair_levels_move_bars_not_faders", Unfocused, "CC 0A 14",
     [](TfrmMain& w, const Recorded&) {
         EXPECT_EQ(w.edSubLeft->text(), "-5dB");
         EXPECT_EQ(w.edSubRight->text(), "-10dB");
         EXPECT_EQ(w.pgbSubLeft->value(), 69);
         EXPECT_EQ(w.pgbSubRight->value(), 59);
         EXPECT_EQ(w.tbSubLeft->Position(), 0);
     }},
    {"switch_on_low_two_bits", Unfocused, "D7 06",
     [](TfrmMain& w, const Recorded&) {
         EXPECT_TRUE(IsPressed(w.swPreset[2]));
         EXPECT_FALSE(IsPressed(w.swPreset[1]));
         EXPECT_FALSE(IsPressed(w.swPreset[3]));
         EXPECT_FALSE(IsPressed(w.swOff));
     }},
    {"busy_message", Unfocused, "E0",
     [](TfrmMain&, const Recorded& r) {
         EXPECT_EQ(r.messages, QStringList{"Wait, until KESTRA is ready"});
         EXPECT_TRUE(r.replyText.isEmpty());
     }},
    {"error_code_3", Unfocused, "E1 03",
     [](TfrmMain&, const Recorded& r) { EXPECT_EQ(r.messages, QStringList{"request ID unknown"}); }},
    {"unrecognised_report", Unfocused, "CB 02 01",
     [](TfrmMain&, const Recorded& r) { EXPECT_EQ(r.replyText, "unknow command: CB"); }},
    // Reports shorter than their layout are ignored rather than read past their end.
    {"short_gain_report_ignored", Unfocused, "C3 21",
     [](TfrmMain& w, const Recorded& r) {
         EXPECT_EQ(w.tbMic[1]->Position(), 0);
         EXPECT_EQ(w.edMic[1]->text(), "0dB ");
         EXPECT_TRUE(r.replyText.isEmpty());
     }},
};

INSTANTIATE_TEST_SUITE_P(Reports, Dispatch, testing::ValuesIn(kCases),
    [](const auto& info) { return std::string(info.param.name); });

class DuckState : public Dispatch {};

TEST_F(DuckState, ActiveWithManualLightsLampsOfMicsWithoutPriority)
{
    SetPressed(w_->btnduck[4], true);
    Apply("C8 03");
    EXPECT_EQ(w_->palActDuck->Color(), clYellow);
    EXPECT_TRUE(w_->DuckingActive);
    EXPECT_TRUE(IsPressed(w_->panMaunduck));
    // After the blink the lamps stay as they are while ducking is active,
    // and the poll goes out.
    ASSERT_TRUE(WaitFor([&] { return !rec_.sent.empty(); }, 1000));
    EXPECT_EQ(rec_.sent, std::vector<std::string>{kPoll});
    for (int n = 1; n <= 6; ++n) {
        EXPECT_EQ(w_->panduck[n]->Color(), n == 4 ? clOlive : clYellow) << n;
    }
}

TEST_F(DuckState, InactiveBlinksThenSettlesDark)
{
    SetPressed(w_->panMaunduck, true);
    Apply("C8 00");
    EXPECT_EQ(w_->palActDuck->Color(), clOlive);
    EXPECT_FALSE(w_->DuckingActive);
    EXPECT_FALSE(IsPressed(w_->panMaunduck));
    EXPECT_EQ(w_->panduck[1]->Color(), clOlive) << "no blink";
    EXPECT_TRUE(rec_.sent.empty()) << "the poll follows the blink";
    ASSERT_TRUE(WaitFor([&] { return !rec_.sent.empty(); }, 1000));
    for (int n = 1; n <= 6; ++n) {
        EXPECT_EQ(w_->panduck[n]->Color(), clOlive) << n;
    }
}

}  // namespace
