#include "OscBridge.h"

#include "OscWire.h"

#include <QCryptographicHash>
#include <QNetworkDatagram>
#include <QRandomGenerator>

#include <QtEndian>

#include <algorithm>

OscBridge::OscBridge(BridgeCalls calls, int subscriptionMs, QObject* parent)
    : QObject(parent), calls_(std::move(calls)), subscriptionMs_(subscriptionMs)
{
    connect(&socket_, &QUdpSocket::readyRead, this, &OscBridge::Read);
    expiry_.setInterval(std::min(1000, subscriptionMs_));
    connect(&expiry_, &QTimer::timeout, this, &OscBridge::DropExpired);
    secret_.resize(32);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(secret_.data()), secret_.size() / 4);
    clock_.start();
}

qint64 OscBridge::Nonce(const Peer& peer, qint64 minute) const
{
    QCryptographicHash h(QCryptographicHash::Sha256);
    h.addData(secret_);
    const Q_IPV6ADDR a = peer.first.toIPv6Address();
    h.addData(QByteArrayView(reinterpret_cast<const char*>(a.c), sizeof a.c));
    h.addData(QByteArray::number(peer.second) + ' ' + QByteArray::number(minute));
    const QByteArray d = h.result();
    return qFromBigEndian<quint32>(d.constData()) & 0x7fffffff;
}

bool OscBridge::Subscribed(const Peer& peer) const
{
    return std::any_of(subscribers_.begin(), subscribers_.end(),
                       [&](const Subscriber& s) { return s.peer == peer && !s.until.hasExpired(); });
}

bool OscBridge::Listen(const QHostAddress& address, quint16 port, QString* error)
{
    if (!socket_.bind(address, port)) {
        if (error != nullptr) {
            *error = QStringLiteral("OSC port %1: %2").arg(port).arg(socket_.errorString());
        }
        return false;
    }
    expiry_.start();
    return true;
}

void OscBridge::Read()
{
    while (socket_.hasPendingDatagrams()) {
        const QNetworkDatagram d = socket_.receiveDatagram();
        Handle(d.data(), {d.senderAddress(), static_cast<quint16>(d.senderPort())});
    }
}

void OscBridge::Handle(const QByteArray& bytes, const Peer& from)
{
    auto decoded = DecodeOsc(bytes);
    if (auto* e = std::get_if<QString>(&decoded)) {
        Reject(from, *e);
        return;
    }
    const OscDatagram& d = std::get<OscDatagram>(decoded);
    auto parsed = ParseOscMessage(d.address, d.args);
    if (auto* e = std::get_if<QString>(&parsed)) {
        Reject(from, *e);
        return;
    }
    const OscRequest& r = std::get<OscRequest>(parsed);
    const qint64 minute = clock_.elapsed() / 60000;
    const bool proven = r.kind == OscRequest::Subscribe && r.nonce >= 0 &&
                        (r.nonce == Nonce(from, minute) || r.nonce == Nonce(from, minute - 1));
    if ((r.kind == OscRequest::Query && !Subscribed(from)) || (r.kind == OscRequest::Subscribe && !proven)) {
        const QByteArray challenge = EncodeOsc({QStringLiteral("/kestra/nonce"), OscArg{'i', double(Nonce(from, minute)), {}}});
        if (challenge.size() <= bytes.size()) {
            socket_.writeDatagram(challenge, from.first, from.second);
        }
        return;
    }
    if (r.kind == OscRequest::Query) {
        Send(from, OscAnswer(r.path, calls_.state()));
        return;
    }
    if (r.kind == OscRequest::Subscribe) {
        auto it = std::find_if(subscribers_.begin(), subscribers_.end(), [&](const Subscriber& s) { return s.peer == from; });
        if (it != subscribers_.end()) {
            it->until = QDeadlineTimer(subscriptionMs_);
        } else if (DropExpired(), subscribers_.size() >= kMaxSubscribers) {
            Reject(from, QStringLiteral("/kestra/subscribe: %1 subscribers already").arg(kMaxSubscribers));
        } else {
            subscribers_.push_back({from, QDeadlineTimer(subscriptionMs_)});  // a new surface starts from the whole state
            for (const OscMessage& m : OscMessagesFor(calls_.state())) {
                Send(from, m);
            }
        }
        return;
    }
    if (calls_.readOnly) {
        Reject(from, d.address + QStringLiteral(": read-only bridge, changes are refused"));
        return;
    }
    const QString address = d.address;
    auto done = [this, from, address](int status, const QString& error, const QJsonObject&) {
        if (!BridgeCalls::Succeeded(status)) {
            Reject(from, address + QStringLiteral(": ") + error);
        }
    };
    if (r.kind == OscRequest::LoadPreset) {
        calls_.loadPreset(r.preset, done);
    } else if (r.kind == OscRequest::SavePreset) {
        calls_.savePreset(r.preset, done);
    } else if (auto e = calls_.validate(r.patch)) {
        Reject(from, address + QStringLiteral(": ") + *e);
    } else {
        calls_.applyPatch(r.patch, done);
    }
}

void OscBridge::Reject(const Peer& from, const QString& why)
{
    const QString line = QStringLiteral("osc: from %1:%2: %3").arg(from.first.toString()).arg(from.second).arg(why);
    log_.Write(line);
    emit rejected(line);
}

void OscBridge::Send(const Peer& to, const OscMessage& message)
{
    if (!message.address.isEmpty()) {
        socket_.writeDatagram(EncodeOsc(message), to.first, to.second);
    }
}

void OscBridge::OnStateChanged(const QJsonObject& mergePatch)
{
    DropExpired();
    if (subscribers_.empty()) {
        return;
    }
    const std::vector<OscMessage> messages = OscMessagesFor(mergePatch);
    for (const Subscriber& s : subscribers_) {
        for (const OscMessage& m : messages) {
            Send(s.peer, m);
        }
    }
}

void OscBridge::DropExpired()
{
    std::erase_if(subscribers_, [](const Subscriber& s) { return s.until.hasExpired(); });
}
