#pragma once
// Python's standard library as an independent oracle for the crash-report
// core's byte formats (hashlib, base64, binascii, zipfile, xml).

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace cvtest {

// True when a python3 interpreter is on the PATH.
bool havePython();
// Runs a python3 script with the arguments and the bytes on its standard
// input; its standard output, or an empty array (and the error text) when
// it fails.
QByteArray runPython(const QString& script, const QStringList& args = {}, const QByteArray& input = {},
                     QString* error = nullptr);

} // namespace cvtest
