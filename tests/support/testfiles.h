#pragma once

// Files for the tests that move them about: contents made up from a seed,
// written and read back whole.

#include <QByteArray>
#include <QString>

namespace vantrel::test {

// `size` bytes that look random and are the same for the same seed.
QByteArray RandomBytes(qsizetype size, quint32 seed);

// Writes `bytes` to `path`, making its folder first; returns the path. A
// file that cannot be written fails the test.
QString WriteFile(const QString &path, const QByteArray &bytes);
QString WriteFile(const QString &folder, const QString &name, const QByteArray &bytes);

// The whole file, or "<missing>" when it cannot be read.
QByteArray ReadFile(const QString &path);

} // namespace vantrel::test
