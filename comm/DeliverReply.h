// The owner's side of reply delivery, in one call for its event():
//
//   bool TfrmMain::event(QEvent* e)
//   {
//       if (DeliverReply(e, [this] { return connection_; },
//                        [this](const RecCompleteEvent& r) { OnRecComplete(r); })) {
//           return true;
//       }
//       ...
//   }
//
// For an event of type kRecCompleteEvent it
//   1. drops the reply unless it comes from the current connection (same
//      driver id): replies still in flight from a closed or replaced driver
//      never reach the handler;
//   2. runs handle(reply);
//   3. asks currentConnection() again and calls Advance() only if the same
//      driver is still the current connection and open, so the next frame
//      goes out after the reply was handled, with frames submitted during
//      the handling behind it in order.
// The handler may run a modal dialog (a nested event loop: the driver holds
// its next reply and its silence limit meanwhile), close the connection, or
// destroy the driver and create another: the old pointer is never touched
// after handle returns. currentConnection may return nullptr.
//
// Returns true when the event was a reply (handled or dropped), false for
// any other event, which the caller passes on.
#pragma once

#include "CommEvents.h"

#include <functional>

class LCommProc;
class QEvent;

bool DeliverReply(QEvent* e, const std::function<LCommProc*()>& currentConnection,
                  const std::function<void(const RecCompleteEvent&)>& handle);
