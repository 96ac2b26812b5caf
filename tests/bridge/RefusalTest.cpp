// Every method on every path gets an answer: the ones a path does not take
// are refused with their status and a body that says why, never left open
// or closed unanswered. (Each connection is handed to the server and freed
// again: the sanitiser builds see a leak or a late use.)
#include "BridgeFixture.h"

#include <gmock/gmock.h>

using Refusal = BridgeFixture;

TEST_F(Refusal, EveryMethodOnEveryPathIsAnswered)
{
    StartBridge();
    // takes: every other method is refused
    const struct { QByteArray path; std::vector<QByteArray> takes; int status; const char* says; } paths[] = {
        {"/", {"GET", "HEAD"}, 405, "/: only GET"},
        {"/app.js", {"GET", "HEAD"}, 405, "/app.js: only GET"},
        {"/metrics", {"GET", "HEAD"}, 405, "/metrics: only GET"},
        {"/api/health", {"GET", "HEAD"}, 405, "/api/health: method not allowed"},
        {"/api/state", {"GET", "HEAD", "PATCH"}, 405, "/api/state: method not allowed"},
        {"/api/ports", {"GET", "HEAD"}, 405, "/api/ports: method not allowed"},
        {"/api/presets/2/save", {"POST"}, 405, "/api/presets/2/save: method not allowed"},
        {"/api/live", {}, 404, "/api/live: no such endpoint"},  // a WebSocket only
        {"/api/nothing", {}, 404, "/api/nothing: no such endpoint"},
        {"/nothing.html", {}, 404, "not found"},
    };
    for (const auto& p : paths) {
        for (const QByteArray method : {"GET", "HEAD", "POST", "PUT", "PATCH", "DELETE", "OPTIONS", "TRACE", "CONNECT", "BREW"}) {
            SCOPED_TRACE((method + ' ' + p.path).toStdString());
            const auto answers = Exchange(Request(method + ' ' + p.path), 1, method == "HEAD");
            const auto [status, body] = answers.empty() ? std::pair<int, QByteArray>() : answers[0];
            if (std::find(p.takes.begin(), p.takes.end(), method) != p.takes.end()) {
                EXPECT_NE(status, 0) << "unanswered";
                EXPECT_LT(status, 405);
                continue;
            }
            EXPECT_EQ(status, p.status);
            EXPECT_THAT(body.toStdString(), testing::HasSubstr(method != "HEAD" ? p.says : ""));
        }
    }
}
