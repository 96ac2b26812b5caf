// How kestractl shows a state and a report to people.
#pragma once

#include "DeviceState.h"
#include "ReportDecoder.h"

#include <QJsonObject>
#include <QString>

// The state as an aligned table.
QString StateTable(const DeviceState& state);

// One decoded report: "gain mic3 position 20 (-10dB)"; and as a JSON object.
QString EventText(const ReportEvent& e);
QJsonObject EventJson(const ReportEvent& e);
