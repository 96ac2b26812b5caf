// Merging on a slow line: while the device has not answered, a burst of
// fader moves leaves only its latest position waiting, and a source choice
// made in the middle of the burst is never lost.
#include "ActionsFixture.h"

#include "LCommProc.h"
#include "Panel.h"
#include "Rhtrack.h"

#include <QPushButton>
#include <QTest>

namespace {

class Merge : public ActionsFixture {
protected:
    void SetUp() override
    {
        ActionsFixture::SetUp();
        sim::SimOptions options;
        options.wireSpeed = true;  // 9600 baud: about 20 ms per exchange
        Connect({}, options);
    }
};

TEST_F(Merge, BurstLeavesOnlyTheLastPositionAndKeepsTheSourceChoice)
{
    TrhTrackBar* fader = w_->tbMic[3];
    Focus(fader);
    // The first move goes out at once; the reply takes a wire round trip,
    // during which everything else is submitted.
    fader->SetPosition(21);
    ASSERT_TRUE(w_->Comm->IsBusy());
    for (int p = 22; p <= 60; ++p) {
        fader->SetPosition(p);
        if (p == 40) {
            w_->btnCD->click();
        }
    }
    EXPECT_EQ(w_->Comm->QueueLength(), 2u) << "one merged position, then the source";
    EXPECT_EQ(Sent(), (Strings{Frame(0xA3, {21, 0x12}), Frame(0xA3, {60, 0x12}), Frame(0xA1, {3})}));
    EXPECT_EQ(device_->State().live.micGain[2], 60);
    EXPECT_EQ(device_->State().live.lineSource, 3);
}

// Two clicks while the line is busy: a button whose command merges leaves
// only the second waiting, one whose command is queued sends both.
TEST_F(Merge, SecondClickWhileBusyMergesOrQueuesAsTheButtonRequires)
{
    const struct {
        QWidget* button;
        Strings sent;  // after the source choice that keeps the line busy
    } cases[] = {
        {w_->btnSubGanged, {Frame(0xAA, {0, 0x01})}},
        {w_->btnMasterGanged, {Frame(0xAA, {0, 0x02})}},
        {w_->btnCD, {Frame(0xA1, {3}), Frame(0xA1, {3})}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button->objectName().toStdString());
        w_->btnTuner->click();
        ASSERT_TRUE(w_->Comm->IsBusy());
        QTest::mouseClick(c.button, Qt::LeftButton);
        QTest::mouseClick(c.button, Qt::LeftButton);
        Strings expected = {Frame(0xA1, {1})};
        expected.insert(expected.end(), c.sent.begin(), c.sent.end());
        EXPECT_EQ(Sent(), expected);
    }
}

}  // namespace
