// A function run on the thread of another object, as a posted event that
// ThreadSanitizer sees handed over (EventHandoff.h): the core and its link
// talk only this way.
#pragma once

#include <QEvent>

#include <functional>

class QObject;

void PostCall(QObject* receiver, std::function<void()> call);
// For the receiver's event(): runs the call and returns true if `e` is one.
bool RunPostedCall(QEvent* e);
