// Report 0xC8: the lamps show the report's net effect at once, and every
// report gets an answering poll of its own.
#include "Colors.h"
#include "Dispatcher.h"
#include "Fmain.h"
#include "Hex.h"
#include "Lcomm.h"
#include "Panel.h"
#include "WaitFor.h"

#include <gtest/gtest.h>

namespace {

LCmd DuckReport(int state)
{
    return LCmd(Hex("10 02 01 02 C8 0" + std::to_string(state) + " 10 03 00"));
}

TEST(DuckAnswer, LampsShowTheNetEffectAndEachReportIsAnswered)
{
    LComm::SetPortOverride(QStringLiteral("/dev/kestra-test-no-such-port"));
    TfrmMain w;
    int polls = 0;
    ReportDispatcher dispatcher(w, [&](const LCmd& c, std::uint8_t) { polls += c.Sub() == 0x05; }, {});
    SetPressed(w.btnduck[2], true);  // mic 2 has priority
    struct Case {
        int state;
        TColor withoutPriority;
    };
    const Case cases[] = {{0, clOlive}, {1, clYellow}, {2, clOlive}, {3, clYellow}, {0, clOlive}};
    QString text;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state);
        dispatcher.DispatchReport(DuckReport(c.state), text);
        EXPECT_EQ(w.panduck[1]->Color(), c.withoutPriority);
        EXPECT_EQ(w.panduck[2]->Color(), clOlive);
    }
    // The reports came within one pause: each still gets its answer.
    EXPECT_TRUE(WaitFor([&] { return polls == static_cast<int>(std::size(cases)); }, 2000)) << polls;
}

}  // namespace
