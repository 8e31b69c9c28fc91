#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// Helpers shared by the tests.
namespace testsupport {

// Reads a whole file; empty when it cannot be read.
QByteArray readFile(const QString &path);
// Writes a whole file, creating its folder; false on failure.
bool writeFile(const QString &path, const QByteArray &data);
// The program built beside the tests.
QString executable();
// Runs the event loop until condition holds; false when ms pass first.
bool waitUntil(const std::function<bool()> &condition, int ms);

// Root writes into folders whatever their permissions say, so tests of read-only folders run as
// an unprivileged user. runUnprivileged runs one row of a test function ("function:tag") again in
// a child of this test executable that drops to uid and gid 65534 before any test runs; it returns
// an empty text when that row passed, else what the child printed (sanitizer reports included).
// The child's own temporary folder belongs to that user.
QString runUnprivileged(const QString &functionAndTag);
// Called before any test runs (first in main or in initTestCase): in the child of runUnprivileged, drops the privileges (a failure
// ends the process). Does nothing elsewhere.
void dropPrivilegesIfAsked();
// Starts Xvfb with one screen of that size (WIDTHxHEIGHTxDEPTH) on a free display and points
// DISPLAY and the Qt platform at it; call it before the application is made. False when Xvfb is
// not installed or does not start. stopDesktop ends it.
bool startDesktop(const QString &screen = QStringLiteral("800x600x24"));
void stopDesktop();

} // namespace testsupport
