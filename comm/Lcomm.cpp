#include "Lcomm.h"

#include "CommEvents.h"
#include "EventHandoff.h"
#include "PortName.h"
#include "PortReader.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

namespace {
quint64 NextId()
{
    static std::atomic<quint64> next{1};
    return next.fetch_add(1);
}
}  // namespace

LComm::LComm(QObject* owner) : owner_(owner), id_(NextId())
{
    comm::WatchMainThreadEvents();
}

void LComm::Post(QEvent* e) const
{
    if (owner_ == nullptr) {
        delete e;
        return;
    }
    comm::ReleaseEvent(e);
    QCoreApplication::postEvent(owner_, e);
}

LComm::~LComm()
{
    LComm::Close();
}

bool LComm::Open(int portNumber, int baudRate, int dataBits, int parity, int stopBits)
{
    return Start(portNumber, baudRate, dataBits, parity, stopBits, false);
}

bool LComm::OpenInBackground(int portNumber, int baudRate, int dataBits, int parity, int stopBits)
{
    return Start(portNumber, baudRate, dataBits, parity, stopBits, true);
}

bool LComm::Start(int portNumber, int baudRate, int dataBits, int parity, int stopBits, bool background)
{
    if (flags_.open.load()) {
        return false;
    }
    if (reader_) {
        // The last reader ended on an error; join it and forget its replies.
        LComm::Close();
    }
    comm::PortSettings settings;
    settings.path = ignoreOverride_ ? portName_ : comm::ResolvePortName(portNumber, portName_);
    settings.line = {baudRate, dataBits, parity, stopBits};
    settings.silenceLimitMs = silenceLimitMs_;

    flags_.holdRequested.store(false);
    flags_.dataWaiting.store(false);
    // Set first: a reader that fails at once must be able to clear it.
    flags_.open.store(true);
    auto reader = std::make_unique<comm::PortReader>(this, flags_, std::move(settings));
    lastOpenFailure_ = {};
    if (background) {
        reader->StartInBackground();
        reader_ = std::move(reader);
        return true;
    }
    if (!reader->StartAndOpen()) {
        lastOpenFailure_ = reader->Failure();
        flags_.open.store(false);
        return false;
    }
    reader_ = std::move(reader);
    return true;
}

void LComm::Close()
{
    if (reader_) {
        std::unique_ptr<comm::PortReader> reader = std::move(reader_);
        reader->RequestStop();
        // A reader still connecting (a network port that does not answer)
        // is not waited for: it sees the stop once it is through.
        const bool opening = reader->Opening();
        if (opening || !reader->wait(QDeadlineTimer(kCloseWaitMs, Qt::PreciseTimer))) {
            if (!opening) {
                OnError(kErrCloseTimeout);
            }
            // A QThread must not be destroyed while it runs: cut it off from
            // this object and let it delete itself once it ends.
            reader->Detach();
            comm::PortReader* abandoned = reader.release();
            QObject::connect(abandoned, &QThread::finished, abandoned, &QObject::deleteLater);
            if (abandoned->isFinished()) {
                abandoned->deleteLater();
            }
        }
        id_.store(NextId());
    }
    flags_.open.store(false);
}

bool LComm::Write(const std::uint8_t* bytes, std::size_t length)
{
    if (!Ready() || length > kTransmitCapacity || (bytes == nullptr && length > 0)) {
        return false;
    }
    reader_->Transmit(ByteVector(bytes, bytes + length));
    return true;
}

bool LComm::Write(const ByteVector& buffer)
{
    return LComm::Write(buffer.data(), buffer.size());
}

bool LComm::SetBaudRate(int rate)
{
    return flags_.open.load() && reader_ && reader_->SetBaudRate(rate);
}

bool LComm::Ready() const
{
    return flags_.open.load() && reader_ && !reader_->Opening();
}

bool LComm::ReaderRunning() const
{
    return reader_ && !reader_->isFinished();
}

void LComm::ReleaseReception()
{
    flags_.holdRequested.store(false);
    if (reader_) {
        reader_->MarkActivity();
        // Pairs with PortReader::ParkData: exactly one side takes the flag.
        if (flags_.dataWaiting.exchange(false)) {
            reader_->ReleaseReception();
        }
    }
}

void LComm::OnRxChar(std::uint8_t byte)
{
    Post(new RxCharEvent(byte, Id()));
}

void LComm::OnError(int code)
{
    Post(new CommErrEvent(code, Id()));
}

void LComm::OnOpened(bool ok, const comm::OpenFailure& failure)
{
    Post(new OpenedEvent(ok, failure, Id()));
}

QString LComm::PortName(int portNumber)
{
    return comm::DefaultPortName(portNumber);
}

void LComm::SetPortOverride(const QString& path)
{
    comm::SetPortOverride(path);
}

QString LComm::PortOverride()
{
    return comm::PortOverride();
}
