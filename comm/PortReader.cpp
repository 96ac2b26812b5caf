#include "PortReader.h"

#include "EventHandoff.h"
#include "MakeTransport.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <utility>

#if defined(Q_OS_UNIX)
#include <unistd.h>
#endif

namespace comm {

// A request from another thread, run by the context on the reader thread.
// A posted event belongs to the receiving thread once sent, so nothing is
// shared with the sender afterwards.
class RequestEvent : public QEvent {
public:
    explicit RequestEvent(std::function<void(PortReader::Context*)> fn) : QEvent(Type()), fn_(std::move(fn)) {}
    static QEvent::Type Type()
    {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    void Run(PortReader::Context* context) { fn_(context); }

private:
    std::function<void(PortReader::Context*)> fn_;
};

// Lives on the reader thread; everything in it runs there.
class PortReader::Context : public QObject {
public:
    Context(PortReader* reader, Transport* port) : reader_(reader), port_(port)
    {
        silence_.setTimerType(Qt::PreciseTimer);
        silence_.setSingleShot(true);
        connect(&silence_, &QTimer::timeout, this, [this] { OnSilenceTimer(); });
        port_->onReadyRead = [this] {
            reader_->MarkActivity();
            Drain();
        };
        port_->onBytesWritten = [this] { SettleWrites(); };
        port_->onFailure = [this](int code) {
            if (!ended_) {
                End(code);
            }
        };
        reader_->MarkActivity();
        silence_.start(reader_->settings_.silenceLimitMs);
    }
    ~Context() override
    {
        port_->onReadyRead = nullptr;
        port_->onBytesWritten = nullptr;
        port_->onFailure = nullptr;
    }

    // flush: write now rather than when the port signals room. Not after a
    // direct write found the port full: forcing the write then fails.
    void Transmit(const ByteVector& bytes, bool flush)
    {
        if (ended_) {
            return;
        }
        port_->write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
        if (flush) {
            port_->flush();
        }
        reader_->MarkActivity();
        ++owedWrites_;
        SettleWrites();
    }

    void Release()
    {
        if (!ended_) {
            Drain();
        }
    }

    bool SetBaudRate(int rate)
    {
        if (ended_) {
            return false;
        }
        // A refused setting is an answer here, not a reason to end the thread.
        return rate > 0 && port_->SetLine(LineSettings::At(rate));
    }

    bool event(QEvent* e) override
    {
        AcquireEvent(e);
        if (e->type() == RequestEvent::Type()) {
            static_cast<RequestEvent*>(e)->Run(this);
            return true;
        }
        return QObject::event(e);
    }

    void Stop()
    {
        ended_ = true;
        silence_.stop();
        reader_->exit(0);
    }

private:
    void Drain()
    {
        bool held = reader_->Held();
        while (!ended_ && port_->bytesAvailable() > 0) {
            if (held && !reader_->ParkData()) {
                return;
            }
            char c = 0;
            const qint64 n = port_->read(&c, 1);
            if (n != 1) {
                if (n < 0) {
                    reader_->ReportError(kErrReadRefused, false);
                }
                return;
            }
            held = reader_->DeliverByte(static_cast<std::uint8_t>(c));
        }
    }

    // While a reply is with the owner the limit rests; otherwise it counts
    // from the last activity, so nothing on the busy path restarts a timer.
    void OnSilenceTimer()
    {
        const int limit = reader_->settings_.silenceLimitMs;
        if (reader_->Held()) {
            silence_.start(limit);
            return;
        }
        const qint64 idle = reader_->IdleMs();
        if (idle < limit) {
            silence_.start(static_cast<int>(limit - idle));
            return;
        }
        End(kErrSilence);
    }

    // Queued writes count as pending until the port has sent them all, so a
    // direct write cannot overtake them.
    void SettleWrites()
    {
        if (owedWrites_ > 0 && port_->bytesToWrite() == 0) {
            std::lock_guard lock(reader_->writeMutex_);
            reader_->queuedWrites_ -= owedWrites_;
            owedWrites_ = 0;
        }
    }

    // Closes the port at the first fatal condition, so that a vanished peer
    // gives one report and no storm of errors, and ends the thread.
    void End(int code)
    {
        if (ended_) {
            return;
        }
        ended_ = true;
        silence_.stop();
        reader_->StopDirectWrites();
        port_->close();
        reader_->ReportError(code, true);
        reader_->exit(0);
    }

    PortReader* reader_;
    Transport* port_;
    QTimer silence_;
    int owedWrites_ = 0;        // queued writes whose bytes the port has not sent yet
    bool ended_ = false;
};

PortReader::PortReader(LinkEvents* link, LinkFlags& flags, PortSettings settings)
    : settings_(std::move(settings)), link_(link), flags_(&flags)
{
    // The system thread's name, so that the reader shows in a debugger or ps.
    setObjectName(QString::fromLatin1(kThreadName));
}

PortReader::~PortReader()
{
    // Only a finished thread is ever destroyed (LComm joins or abandons it).
    wait();
    std::lock_guard lock(endMutex_);
}

bool PortReader::StartAndOpen()
{
    std::future<bool> opened = opened_.get_future();
    start();
    if (!isRunning() && !isFinished()) {
        return false;
    }
    const bool ok = opened.get();
    if (!ok) {
        wait();
    }
    return ok;
}

void PortReader::StartInBackground()
{
    announce_ = true;
    start();
}

void PortReader::run()
{
    // Declared first, so it runs last: whoever joins this thread takes the
    // same lock, and everything the thread did is ordered before the join.
    struct MarkEnded {
        PortReader* reader;
        ~MarkEnded()
        {
            std::lock_guard lock(reader->endMutex_);
            reader->ended_ = true;
        }
    } markEnded{this};

    // The transport is made here, so that its notifiers live on this thread.
    std::unique_ptr<Transport> transport = MakeTransport(settings_.path, &openFailure_);
    if (!transport || !transport->Open(settings_.line)) {
        if (transport) {
            openFailure_ = transport->Failure();
        }
        opening_.store(false);
        if (announce_) {
            ReportOpened(false);
        } else {
            opened_.set_value(false);
        }
        return;
    }
    Transport& port = *transport;
    {
        Context context(this, &port);
        {
            std::lock_guard lock(contextMutex_);
            context_ = &context;
        }
#if defined(Q_OS_UNIX)
        {
            // The descriptor is non-blocking, so a write from the owner never
            // waits; see Transmit.
            std::lock_guard lock(writeMutex_);
            directFd_ = port.DirectWriteHandle();
        }
#endif
        opening_.store(false);
        if (announce_) {
            ReportOpened(true);
        } else {
            opened_.set_value(true);
        }
        if (!stopRequested_.load()) {
            exec();
        }
        StopDirectWrites();
        {
            std::lock_guard lock(contextMutex_);
            context_ = nullptr;
        }
        // Requests that came too late still run, against the ended context,
        // so that each is answered (a baud rate request gets its "no").
        QCoreApplication::sendPostedEvents(&context, RequestEvent::Type());
    }
    port.close();
}

template <class Fn>
bool PortReader::Post(Fn&& fn)
{
    std::lock_guard lock(contextMutex_);
    if (context_ == nullptr) {
        return false;
    }
    // Requests that are still queued when the context goes are dropped with it.
    auto* request = new RequestEvent(std::forward<Fn>(fn));
    ReleaseEvent(request);
    QCoreApplication::postEvent(context_, request);
    return true;
}

void PortReader::Transmit(ByteVector bytes)
{
    bool flush = true;
    {
        std::lock_guard lock(writeMutex_);
        flush = directFd_ < 0;
        if (directFd_ >= 0 && queuedWrites_ == 0) {
            std::size_t done = 0;
#if defined(Q_OS_UNIX)
            while (done < bytes.size()) {
                const ssize_t n = ::write(directFd_, bytes.data() + done, bytes.size() - done);
                if (n > 0) {
                    done += static_cast<std::size_t>(n);
                } else if (n < 0 && errno == EINTR) {
                    continue;
                } else {
                    break;  // full or failing: the reader writes the rest and sees any error
                }
            }
#endif
            MarkActivity();
            if (done == bytes.size()) {
                return;
            }
            bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(done));
        }
        ++queuedWrites_;
    }
    Post([bytes = std::move(bytes), flush](Context* context) { context->Transmit(bytes, flush); });
}

void PortReader::ReleaseReception()
{
    Post([](Context* context) { context->Release(); });
}

bool PortReader::SetBaudRate(int rate)
{
    // The request owns the promise: if it is dropped unrun because the
    // thread ended, the promise dies with it and the wait ends with "no".
    auto answer = std::make_shared<std::promise<bool>>();
    std::future<bool> result = answer->get_future();
    if (!Post([answer, rate](Context* context) { answer->set_value(context->SetBaudRate(rate)); })) {
        return false;
    }
    try {
        return result.get();
    } catch (const std::future_error&) {
        return false;
    }
}

void PortReader::RequestStop()
{
    stopRequested_.store(true);
    Post([](Context* context) { context->Stop(); });
}

void PortReader::Detach()
{
    std::lock_guard lock(linkMutex_);
    link_ = nullptr;
    flags_ = nullptr;
}

bool PortReader::DeliverByte(std::uint8_t byte)
{
    std::lock_guard lock(linkMutex_);
    if (link_ == nullptr) {
        return true;
    }
    link_->OnRxChar(byte);
    return flags_->holdRequested.load();
}

bool PortReader::Held()
{
    std::lock_guard lock(linkMutex_);
    return link_ == nullptr || flags_->holdRequested.load();
}

bool PortReader::ParkData()
{
    std::lock_guard lock(linkMutex_);
    if (link_ == nullptr) {
        return false;
    }
    // Pairs with LComm::ReleaseReception: flag first, then look again, so
    // that a release between the two cannot leave the bytes unread.
    flags_->dataWaiting.store(true);
    if (flags_->holdRequested.load()) {
        return false;
    }
    return flags_->dataWaiting.exchange(false);
}

void PortReader::StopDirectWrites()
{
    std::lock_guard lock(writeMutex_);
    directFd_ = -1;
}

void PortReader::MarkActivity()
{
    activityNs_.store(std::chrono::duration_cast<std::chrono::nanoseconds>(
                          std::chrono::steady_clock::now().time_since_epoch())
                          .count());
}

qint64 PortReader::IdleMs() const
{
    const qint64 now =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    return (now - activityNs_.load()) / 1000000;
}

void PortReader::ReportOpened(bool ok)
{
    std::lock_guard lock(linkMutex_);
    if (link_ == nullptr) {
        return;
    }
    if (!ok) {
        flags_->open.store(false);
    }
    link_->OnOpened(ok, openFailure_);
}

void PortReader::ReportError(int code, bool ending)
{
    std::lock_guard lock(linkMutex_);
    if (link_ == nullptr) {
        return;
    }
    if (ending) {
        flags_->open.store(false);
    }
    link_->OnError(code);
}

}  // namespace comm
