#include "PortReader.h"

#include "EventHandoff.h"
#include "Lcomm.h"
#include "Transport.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

#include <functional>
#include <memory>
#include <utility>

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
        silence_.setInterval(reader_->settings_.silenceLimitMs);
        connect(&silence_, &QTimer::timeout, this, [this] { End(kErrSilence); });
        port_->onReadyRead = [this] {
            if (!held_) {
                silence_.start();
                Drain();
            }
        };
        port_->onFailure = [this](int code) {
            if (!ended_) {
                End(code);
            }
        };
        silence_.start();
    }
    ~Context() override
    {
        port_->onReadyRead = nullptr;
        port_->onFailure = nullptr;
    }

    void Transmit(const ByteVector& bytes)
    {
        if (ended_) {
            return;
        }
        port_->write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
        port_->flush();
        if (!held_) {
            silence_.start();
        }
    }

    void Release()
    {
        if (ended_) {
            return;
        }
        held_ = false;
        silence_.start();
        Drain();
    }

    bool SetBaudRate(int rate)
    {
        if (ended_) {
            return false;
        }
        // A refused setting is an answer here, not a reason to end the thread.
        LineSettings line;
        line.baudRate = rate;
        return rate > 0 && port_->SetLine(line);
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
        while (!held_ && !ended_ && port_->bytesAvailable() > 0) {
            char c = 0;
            const qint64 n = port_->read(&c, 1);
            if (n != 1) {
                if (n < 0) {
                    reader_->ReportError(kErrReadRefused, false);
                }
                return;
            }
            if (reader_->DeliverByte(static_cast<std::uint8_t>(c))) {
                held_ = true;
                silence_.stop();
            }
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
        port_->close();
        reader_->ReportError(code, true);
        reader_->exit(0);
    }

    PortReader* reader_;
    Transport* port_;
    QTimer silence_;
    bool held_ = false;         // a reply is with the owner: read nothing, no silence limit
    bool ended_ = false;
};

PortReader::PortReader(LComm* link, PortSettings settings) : settings_(std::move(settings)), link_(link)
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
    std::unique_ptr<Transport> transport = MakeTransport(settings_.path, &openError_);
    LineSettings line{settings_.baudRate, settings_.dataBits, settings_.parity, settings_.stopBits};
    if (!transport || !transport->Open(line)) {
        if (transport) {
            openError_ = transport->ErrorText();
        }
        opened_.set_value(false);
        return;
    }
    Transport& port = *transport;
    {
        Context context(this, &port);
        {
            std::lock_guard lock(contextMutex_);
            context_ = &context;
        }
        opened_.set_value(true);
        if (!stopRequested_.load()) {
            exec();
        }
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
    Post([bytes = std::move(bytes)](Context* context) { context->Transmit(bytes); });
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
}

bool PortReader::DeliverByte(std::uint8_t byte)
{
    std::lock_guard lock(linkMutex_);
    if (link_ == nullptr) {
        return false;
    }
    link_->OnRxChar(byte);
    return link_->holdRequested_.exchange(false);
}

void PortReader::ReportError(int code, bool ending)
{
    std::lock_guard lock(linkMutex_);
    if (link_ == nullptr) {
        return;
    }
    if (ending) {
        link_->open_.store(false);
    }
    link_->OnError(code);
}

}  // namespace comm
