// SPDX-License-Identifier: MIT
#include "SingleInstance.h"
#include "TestSupport.h"
#include "WidgetTestSupport.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace paddock;
using namespace paddock::test;

class tst_SingleInstance final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void secondPaddock_asksTheFirstForwardAndExits();
    void staleSocket_doesNotBlockANewPaddock();
};

void tst_SingleInstance::secondPaddock_asksTheFirstForwardAndExits()
{
    SingleInstance first;
    QVERIFY(!SingleInstance::defaultPath().isEmpty());
    QVERIFY(first.claim());
    QSignalSpy asked(&first, &SingleInstance::activationRequested);

    // The real program, in the same private runtime folder (the environment is inherited).
    QProcess second;
    second.start(QStringLiteral(PADDOCK_PATH), {});
    QVERIFY(second.waitForFinished(20000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(asked.count(), 1, 10000);
}

void tst_SingleInstance::staleSocket_doesNotBlockANewPaddock()
{
    // A socket file no one listens on, as a crashed Paddock leaves it.
    const QByteArray path = QFile::encodeName(SingleInstance::defaultPath());
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        ::close(fd);
    }
    SingleInstance paddock;
    QVERIFY(paddock.claim());
    SingleInstance later;
    QSignalSpy asked(&paddock, &SingleInstance::activationRequested);
    QVERIFY(!later.claim());
    QTRY_COMPARE_WITH_TIMEOUT(asked.count(), 1, 10000);
}

PADDOCK_WIDGETS_TEST_MAIN(tst_SingleInstance)
#include "tst_singleinstance.moc"
