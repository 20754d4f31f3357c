#include "testsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QMutex>
#include <QMutexLocker>

namespace {

QMutex g_mutex;
QList<QRegularExpression> g_expected;
QStringList g_unexpected;
QtMessageHandler g_previous = nullptr;

void guardHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg || type == QtCriticalMsg) {
        QMutexLocker locker(&g_mutex);
        bool expected = false;
        for (const QRegularExpression &re : qAsConst(g_expected)) {
            if (re.match(message).hasMatch()) {
                expected = true;
                break;
            }
        }
        if (!expected)
            g_unexpected.append(message);
    }
    if (g_previous)
        g_previous(type, context, message);
}

} // namespace

namespace TestSupport {

void installWarningGuard()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    g_previous = qInstallMessageHandler(guardHandler);
}

void expectWarning(const QRegularExpression &pattern)
{
    QMutexLocker locker(&g_mutex);
    g_expected.append(pattern);
}

QStringList takeUnexpectedWarnings()
{
    QMutexLocker locker(&g_mutex);
    const QStringList result = g_unexpected;
    g_unexpected.clear();
    g_expected.clear();
    return result;
}

QString scratchDir(const QString &name)
{
    QDir dir(QCoreApplication::applicationDirPath() + QStringLiteral("/scratch/") + name);
    dir.removeRecursively();
    dir.mkpath(QStringLiteral("."));
    return dir.absolutePath();
}

} // namespace TestSupport
