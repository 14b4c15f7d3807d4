// SPDX-License-Identifier: MIT
#pragma once

#include <QJsonObject>
#include <QLocalServer>
#include <QObject>
#include <QString>

#include <functional>
#include <variant>

namespace paddock {

/// Keeps one Paddock per user: the first listens on a socket in the user's private runtime
/// folder; a later one asks it there to come forward instead of starting. Programs (the
/// command line's `paddock status`) ask it there too.
///
/// What goes over the socket, a line at a time: "activate" brings the window forward and is
/// not answered. A request is a JSON object on one line, {"version": 1, "request": VERB, ...
/// its arguments}; its answer one line, {"version": 1, "answer": {...}} or {"version": 1,
/// "error": SENTENCE[, "code": CODE]}, after which the connection is closed. A verb this Paddock
/// does not know is answered with an error. An answer may come later than the request (a stop is
/// answered once the server has ended): the asker keeps a deadline of its own.
class SingleInstance final : public QObject {
    Q_OBJECT
public:
    /// Uses paddock.socket in the private runtime folder (see privateSocketPath()); when there
    /// is none, claim() lets this Paddock run and problem() says why.
    explicit SingleInstance(QObject *parent = nullptr);
    /// Uses the socket at path, with its lock file beside it (path + ".lock").
    explicit SingleInstance(QString path, QObject *parent = nullptr);
    Q_DISABLE_COPY_MOVE(SingleInstance)
    ~SingleInstance() override = default;

    /// True if this process is the user's Paddock now (also when it cannot make sure, so
    /// Paddock still starts); false once another Paddock has been asked forward. Of several
    /// Paddocks claiming at once, exactly one gets true.
    bool claim();

    /// Why this Paddock cannot keep a later one from starting beside it (no socket, no lock,
    /// no listener), as a sentence for the window; empty when it can.
    QString problem() const { return m_problem; }

    /// The default socket's path, its private folder made if missing; empty if none can be had.
    static QString defaultPath();

    /// The version of the requests this Paddock answers.
    static constexpr int ProtocolVersion = 1;
    /// Why a request is not answered: the sentence, and for a refusal a client acts on, a
    /// code ("unknownWorld": the request names no world this Paddock keeps).
    struct RequestError {
        QString sentence;
        QString code;
    };
    using Answer = std::variant<QJsonObject, RequestError>;
    /// Sends the answer to one request, now or later; only the first call counts, and one
    /// after the asker has gone does nothing.
    using Respond = std::function<void(const Answer &answer)>;
    /// Answers one request: its verb and the whole request object, through respond.
    using RequestHandler =
        std::function<void(const QString &verb, const QJsonObject &request, Respond respond)>;
    /// Sets who answers requests; without one, every request is answered with an error.
    void setRequestHandler(RequestHandler handler) { m_handler = std::move(handler); }
    /// The answer line for answer (without its line end), as this Paddock sends it.
    static QByteArray answerLine(const Answer &answer);

Q_SIGNALS:
    /// A later Paddock asked this one to bring its window to the front.
    void activationRequested();

private:
    bool askRunningPaddock();
    void serve(class QLocalSocket *peer);
    void handle(const QByteArray &requestLine, const Respond &respond);

    QString m_path;
    QString m_problem;
    QLocalServer m_server;
    RequestHandler m_handler;
};

} // namespace paddock
