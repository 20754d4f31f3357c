#pragma once

#include <QRegularExpression>
#include <QStringList>

// A Qt warning is a fault, not noise: every test program installs a message
// handler that collects warnings nobody announced, and each test function
// checks in cleanup() that none arrived.
namespace TestSupport {

// Installs the handler (once); call from initTestCase().
void installWarningGuard();
// Announces a warning the current test expects; it is then not reported.
void expectWarning(const QRegularExpression &pattern);
// Unexpected warnings since the last call, and forgets the announced ones.
QStringList takeUnexpectedWarnings();

// A directory under the build tree that a test may fill and that is emptied
// before use.
QString scratchDir(const QString &name);

} // namespace TestSupport

// Use in each test's cleanup().
#define VERIFY_NO_UNEXPECTED_WARNINGS()                                                      \
    do {                                                                                     \
        const QStringList unexpected_ = TestSupport::takeUnexpectedWarnings();              \
        QVERIFY2(unexpected_.isEmpty(), qPrintable(unexpected_.join(QLatin1Char('\n'))));   \
    } while (false)
