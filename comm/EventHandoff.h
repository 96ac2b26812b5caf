// Hand-over of a posted event between threads, made visible to
// ThreadSanitizer.
//
// Qt passes a posted event to the receiving thread under its own mutex,
// which a sanitised build cannot see when Qt itself is not sanitised: every
// event we post would look like a data race. The sender marks the event as
// released before posting it and the receiver acquires it before reading
// it. Outside ThreadSanitizer builds all of this compiles to nothing.
#pragma once

class QEvent;

namespace comm {

#if defined(__SANITIZE_THREAD__)
void ReleaseEvent(const QEvent* e);
void AcquireEvent(const QEvent* e);
// Makes the main thread acquire every event before any handler reads it
// (installed once, on first use from the main thread).
void WatchMainThreadEvents();
#else
inline void ReleaseEvent(const QEvent*) {}
inline void AcquireEvent(const QEvent*) {}
inline void WatchMainThreadEvents() {}
#endif

}  // namespace comm
