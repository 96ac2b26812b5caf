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
    {"line_gain_beyond_range_clamps_and_reads_0dB", Unfocused, "C2 C8 00",
     [](TfrmMain& w, const Recorded&) {
         EXPECT_EQ(w.tbLine->Position(), 79);
         EXPECT_EQ(w.pgbLine->value(), 0);
         EXPECT_EQ(w.edLine->text(), "0dB");
     }},
    {"line_gain_100_is_mute", Unfocused, "C2 64 00",
     [](TfrmMain& w, const Recorded&) { EXPECT_EQ(w.edLine->text(), "mute"); }},
    {"gain_for_unknown_channel_changes_nothing", Unfocused, "C2 0A 05",
     [](TfrmMain& w, const Recorded&) {
         EXPECT_EQ(w.tbLine->Position(), 0);
         EXPECT_EQ(w.pgbSubLeft->value(), 79);
     }},
    {"level_report_moves_bar_not_fader_and_polls", Unfocused, "C4 4F 13",
     [](TfrmMain& w, const Recorded& r) {
         EXPECT_EQ(w.pgbMic[4]->value(), 0);
         EXPECT_EQ(w.edMic[4]->text(), "mute");
         EXPECT_EQ(w.tbMic[4]->Position(), 0);
         ASSERT_EQ(r.sent.size(), 1u);
         EXPECT_EQ(r.sent[0], kPoll);
     }},
    {"level_report_for_bad_channel_still_polls", Unfocused, "C5 10 08",
     [](TfrmMain& w, const Recorded& r) {
         for (int n = 1; n <= 6; ++n) {
             EXPECT_EQ(w.pgbMic[n]->value(), 79);
         }
         EXPECT_EQ(r.sent, std::vector<std::string>{kPoll});
     }},
    {"line_source_lights_one_lamp", Unfocused, "C1 02",
     [](TfrmMain& w, const Recorded&) {
         for (int i = 0; i < 5; ++i) {
             EXPECT_EQ(w.LinePanel[i]->Color(), i == 1 ? clLime : clGreen) << i;
         }
     }},
    {"unknown_line_source_means_off", Unfocused, "C1 09",
     [](TfrmMain& w, const Recorded&) {
         EXPECT_EQ(w.LinePanel[4]->Color(), clLime);
         EXPECT_EQ(w.LinePanel[0]->Color(), clGreen);
     }},
    {"priority_on_darkens_lamp", [](TfrmMain& w) { w.panduck[3]->SetColor(clYellow); }, "C9 01 12",
     [](TfrmMain& w, const Recorded&) {
         EXPECT_TRUE(IsPressed(w.btnduck[3]));
         EXPECT_EQ(w.panduck[3]->Color(), clOlive);
     }},
    {"priority_off_while_ducking_lights_lamp",
     [](TfrmMain& w) {
         w.DuckingActive = true;
         SetPressed(w.btnduck[2], true);
     },
     "C9 00 11",
     [](TfrmMain& w, const Recorded&) {
         EXPECT_FALSE(IsPressed(w.btnduck[2]));
         EXPECT_EQ(w.panduck[2]->Color(), clYellow);
     }},
    {"priority_off_without_ducking_keeps_lamp", [](TfrmMain& w) { SetPressed(w.btnduck[2], true); }, "C9 00 11",
     [](TfrmMain& w, const Recorded&) { EXPECT_EQ(w.panduck[2]->Color(), clOlive); }},
    {"priority_for_bad_channel_does_nothing", Unfocused, "C9 01 16",
     [](TfrmMain& w, const Recorded&) {
         for (int n = 1; n <= 6; ++n) {
             EXPECT_FALSE(IsPressed(w.btnduck[n]));
         }
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
    {"unmute_mic_with_priority_is_not_ducked",
     [](TfrmMain& w) {
         w.DuckingActive = true;
         SetPressed(w.btnduck[2], true);
         w.tbMic[2]->SetPosition(33);
         w.tbAttenuation->SetPosition(10);
     },
     "CE 00 11", [](TfrmMain& w, const Recorded&) { EXPECT_EQ(w.pgbMic[2]->value(), 46); }},
    {"unmute_mic_writes_whole_decibels", [](TfrmMain& w) { w.tbMic[1]->SetPosition(1); }, "CE 00 10",
     [](TfrmMain& w, const Recorded&) { EXPECT_EQ(w.edMic[1]->text(), "0dB"); }},
    {"unmute_mic_fully_ducked_reads_mute",
     [](TfrmMain& w) {
         SetPressed(w.panMaunduck, true);
         w.tbMic[5]->SetPosition(70);
         w.tbAttenuation->SetPosition(20);
     },
     "CE 00 14",
     [](TfrmMain& w, const Recorded&) {
         EXPECT_EQ(w.pgbMic[5]->value(), 0);
         EXPECT_EQ(w.edMic[5]->text(), "mute");
     }},
    {"unmute_line_is_ducked_outputs_never",
     [](TfrmMain& w) {
         SetPressed(w.panMaunduck, true);
         w.tbAttenuation->SetPosition(9);
     },
     "CE 00 00", [](TfrmMain& w, const Recorded&) { EXPECT_EQ(w.pgbLine->value(), 70); }},
    {"unmute_output_not_ducked",
     [](TfrmMain& w) {
         SetPressed(w.panMaunduck, true);
         w.tbAttenuation->SetPosition(9);
         w.tbMasterLeft->SetPosition(25);
     },
     "CE 00 03",
     [](TfrmMain& w, const Recorded&) {
         EXPECT_EQ(w.pgbMasterLeft->value(), 54);
         EXPECT_EQ(w.edMasterLeft->text(), "-12dB");
     }},
    {"mute_sub_right", Unfocused, "CE 01 02",
     [](TfrmMain& w, const Recorded&) {
         EXPECT_TRUE(IsPressed(w.btnSubR));
         EXPECT_EQ(w.pgbSubRight->value(), 0);
         EXPECT_EQ(w.edSubRight->text(), "mute");
     }},
    {"mute_for_channel_between_ranges_does_nothing", Unfocused, "CE 01 08",
     [](TfrmMain& w, const Recorded&) {
         for (int n = 1; n <= 6; ++n) {
             EXPECT_FALSE(IsPressed(w.Panel[n]));
         }
         EXPECT_FALSE(IsPressed(w.btnLine));
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
    {"ungang_master_gives_right_the_left_state",
     [](TfrmMain& w) {
         w.MasterGanged = true;
         SetPressed(w.btnMasterGanged, true);
         w.btnMasterR->hide();
         w.tbMasterRight->setEnabled(false);
         SetPressed(w.btnMasterL, true);
     },
     "CA 00 02",
     [](TfrmMain& w, const Recorded&) {
         EXPECT_FALSE(w.MasterGanged);
         EXPECT_FALSE(IsPressed(w.btnMasterGanged));
         EXPECT_FALSE(w.btnMasterR->isHidden());
         EXPECT_TRUE(IsPressed(w.btnMasterR));
         EXPECT_TRUE(w.tbMasterRight->isEnabled());
         EXPECT_EQ(w.btnMasterL->x(), w.edMasterLeft->x());
     }},
    {"ganged_left_gain_refreshes_right_display",
     [](TfrmMain& w) {
         w.SubGanged = true;
         w.DuckingActive = true;
         w.tbAttenuation->SetPosition(5);
         w.tbSubRight->SetPosition(20);
     },
     "C2 0A 01",
     [](TfrmMain& w, const Recorded&) {
         EXPECT_EQ(w.pgbSubRight->value(), 54);
         EXPECT_EQ(w.edSubRight->text(), "-12.5dB");
     }},
    {"pair_levels_move_bars_not_faders", Unfocused, "CC 0A 14",
     [](TfrmMain& w, const Recorded&) {
         EXPECT_EQ(w.edSubLeft->text(), "-5dB");
         EXPECT_EQ(w.edSubRight->text(), "-10dB");
         EXPECT_EQ(w.pgbSubLeft->value(), 69);
         EXPECT_EQ(w.pgbSubRight->value(), 59);
         EXPECT_EQ(w.tbSubLeft->Position(), 0);
     }},
    {"threshold_byte_127_is_position_2", Unfocused, "D2 7F",
     [](TfrmMain& w, const Recorded&) { EXPECT_EQ(w.tbThreshold->Position(), 2); }},
    {"threshold_byte_0_clamps_to_127", [](TfrmMain& w) { w.tbThreshold->SetPosition(50); }, "D2 00",
     [](TfrmMain& w, const Recorded&) { EXPECT_EQ(w.tbThreshold->Position(), 127); }},
    {"hold_time_moves_fader", Unfocused, "D4 37",
     [](TfrmMain& w, const Recorded&) { EXPECT_EQ(w.tbHoldTime->Position(), 55); }},
    {"switch_on_low_two_bits", Unfocused, "D7 06",
     [](TfrmMain& w, const Recorded&) {
         EXPECT_TRUE(IsPressed(w.swPreset[2]));
         EXPECT_FALSE(IsPressed(w.swPreset[1]));
         EXPECT_FALSE(IsPressed(w.swPreset[3]));
         EXPECT_FALSE(IsPressed(w.swOff));
     }},
    {"switch_on_zero_presses_off", [](TfrmMain& w) { SetPressed(w.swOff, false); }, "D7 04",
     [](TfrmMain& w, const Recorded&) {
         EXPECT_TRUE(IsPressed(w.swOff));
         EXPECT_FALSE(IsPressed(w.swPreset[1]));
     }},
    {"busy_message", Unfocused, "E0",
     [](TfrmMain&, const Recorded& r) {
         EXPECT_EQ(r.messages, QStringList{"Wait, until KESTRA is ready"});
         EXPECT_TRUE(r.replyText.isEmpty());
     }},
    {"error_code_3", Unfocused, "E1 03",
     [](TfrmMain&, const Recorded& r) { EXPECT_EQ(r.messages, QStringList{"request ID unknown"}); }},
    {"error_code_9", Unfocused, "E1 09",
     [](TfrmMain&, const Recorded& r) { EXPECT_EQ(r.messages, QStringList{"EEPROM not yet programmed"}); }},
    {"error_code_10_has_no_text", Unfocused, "E1 0A",
     [](TfrmMain&, const Recorded& r) { EXPECT_EQ(r.messages, QStringList{QString()}); }},
    {"no_effect_report", Unfocused, "D8",
     [](TfrmMain&, const Recorded& r) {
         EXPECT_TRUE(r.replyText.isEmpty());
         EXPECT_TRUE(r.sent.empty());
     }},
    {"unrecognised_report", Unfocused, "CB 02 01",
     [](TfrmMain&, const Recorded& r) { EXPECT_EQ(r.replyText, "unknow command: CB"); }},
    {"unrecognised_counterpart_of_inquiry", Unfocused, "CF 01",
     [](TfrmMain&, const Recorded& r) { EXPECT_EQ(r.replyText, "unknow command: CF"); }},
    // Reports shorter than their layout are ignored rather than read past their end.
    {"short_gain_report_ignored", Unfocused, "C3 21",
     [](TfrmMain& w, const Recorded& r) {
         EXPECT_EQ(w.tbMic[1]->Position(), 0);
         EXPECT_EQ(w.edMic[1]->text(), "0dB ");
         EXPECT_TRUE(r.replyText.isEmpty());
     }},
    {"short_level_report_ignored_and_unanswered", Unfocused, "C4",
     [](TfrmMain&, const Recorded& r) { EXPECT_TRUE(r.sent.empty()); }},
    {"short_error_report_ignored", Unfocused, "E1",
     [](TfrmMain&, const Recorded& r) { EXPECT_TRUE(r.messages.isEmpty()); }},
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

TEST_F(DuckState, GermanMessagesFollowTheLanguage)
{
    SetLanguageFlag(kLanguageGerman);
    Apply("E1 01");
    SetLanguageFlag(kLanguageEnglish);
    EXPECT_EQ(rec_.messages, QStringList{"RS-232 Receive-Buffer Uberlauf"});
}

}  // namespace
