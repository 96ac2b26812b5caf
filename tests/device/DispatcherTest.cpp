// Reports in, control states out: the dispatcher against a real window, with
// the message hook recorded.
#include "Dispatcher.h"
#include "Hex.h"
#include "Language.h"
#include "PanelFixture.h"
#include "PanelText.h"

#include <functional>

namespace {

class Dispatch : public PanelFixture {
protected:
    void SetUp() override
    {
        PanelFixture::SetUp();
        SetLanguageFlag(kLanguageEnglish);
        Fresh();
    }
    // A new window, shown and active, its controls enabled as after a connection.
    void Fresh()
    {
        dispatcher_.reset();
        BuildWindow();
        ASSERT_NO_FATAL_FAILURE(Show());
        w_->EnablePanelControls();
        dispatcher_ = std::make_unique<ReportDispatcher>(
            *w_, [this](const QString& text) { effects_ += "message " + text.toStdString() + ";"; },
            [this](bool master, bool ganged) { w_->ShowPairGanged(master, ganged, false); });
    }
    void TearDown() override
    {
        dispatcher_.reset();
        PanelFixture::TearDown();
    }
    // The report as it comes off the line; what it did besides the controls.
    std::string Apply(const std::string& subAndPayload)
    {
        effects_.clear();
        QString reply;
        dispatcher_->DispatchReport(DecodeReport(Parsed(subAndPayload)), reply);
        return effects_ + (reply.isEmpty() ? "" : "reply " + reply.toStdString() + ";");
    }
    std::unique_ptr<ReportDispatcher> dispatcher_;
    std::string effects_;
};

TEST_F(Dispatch, EachReportSetsItsControls)
{
    using Probe = std::function<std::string(TfrmMain&)>;
    const auto strip = [](int channel) { return [channel](TfrmMain& w) { return StripText(w, channel); }; };
    const Probe duck = [](TfrmMain& w) {
        return Lamps(w.panduck, 1, 6) + " " + Lamps(&w.palActDuck, 0, 0) + (IsPressed(w.panMaunduck) ? " pressed" : "");
    };
    const struct { const char* report; std::function<void(TfrmMain&)> before; Probe probe; const char* shown, *effects; } cases[] = {
        // The fader the user holds keeps its place; bar and text follow.
        {"C2 0A 01", [](TfrmMain& w) { w.tbSubLeft->setFocus(); },
         [](TfrmMain& w) { return (w.tbSubLeft->hasFocus() ? "held " : "") + StripText(w, 1); }, "held 0 69 -5dB", ""},
        {"C4 4F 13", {}, strip(8), "0 0 mute", ""},
        {"CC 0A 14", {}, [](TfrmMain& w) { return StripText(w, 1) + ", " + StripText(w, 2); }, "0 69 -5dB, 0 59 -10dB", ""},
        {"C9 01 12", [](TfrmMain& w) { w.panduck[3]->SetColor(clYellow); },
         [](TfrmMain& w) { return (IsPressed(w.btnduck[3]) ? "down " : "up ") + Lamps(w.panduck, 3, 3); }, "down o", ""},
        // Unmuted while ducked: the bar shows the attenuated level.
        {"CE 00 11",
         [](TfrmMain& w) { w.DuckingActive = true; SetPressed(w.Panel[2], true);
                           w.tbMic[2]->SetPosition(33); w.tbAttenuation->SetPosition(10); },
         strip(6), "33 36 -27dB", ""},
        // Ganged with the right side muted: both sides muted (texts untouched), the right one hidden.
        {"CA 01 01",
         [](TfrmMain& w) { SetPressed(w.btnSubR, true); w.tbSubLeft->SetPosition(10); w.tbSubRight->SetPosition(20); },
         [](TfrmMain& w) {
             return StripText(w, 1) + ", " + StripText(w, 2) + (w.SubGanged && IsPressed(w.btnSubGanged) ? " ganged" : "") +
                    (w.btnSubR->isHidden() && w.btnSubL->x() == w.btnSubGanged->x() ? " right hidden" : "") +
                    (w.tbSubRight->isEnabled() ? "" : " right fixed") + " offset " + std::to_string(w.SubGangedOffset);
         },
         "10 0 0dB  muted, 20 0 0dB  muted ganged right hidden right fixed offset -10", ""},
        // Ducking state: lamps lit for microphones without priority while active; manual ducking pressed.
        {"C8 01", [](TfrmMain& w) { SetPressed(w.btnduck[2], true); }, duck, "YoYYYY Y", ""},
        {"C8 03", {}, duck, "YYYYYY Y pressed", ""},
        {"C8 02", [](TfrmMain& w) { w.panduck[1]->SetColor(clYellow); }, duck, "oooooo o pressed", ""},
        {"E1 03", {}, {}, "", "message request ID unknown;"},
        // Shorter than its layout: ignored, not read past its end.
        {"C3 21", {}, strip(5), "0 79 0dB ", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.report);
        Fresh();
        if (c.before) {
            c.before(*w_);
        }
        EXPECT_EQ(Apply(c.report), c.effects);
        EXPECT_EQ(c.probe ? c.probe(*w_) : "", c.shown);
    }
}

}  // namespace
