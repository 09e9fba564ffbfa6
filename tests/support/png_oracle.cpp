#include "support/png_oracle.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

namespace cvtest {

namespace {

bool Run(const QString& program, const QStringList& arguments, QByteArray& output, int& exitCode)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(10000) || !process.waitForFinished(30000))
        return false;
    output = process.readAllStandardOutput() + process.readAllStandardError();
    exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return true;
}

} // namespace

TPngOracleResult CheckPngWithOracles(const QString& fileName)
{
    TPngOracleResult result;
    const QString pngcheck = QStandardPaths::findExecutable(QStringLiteral("pngcheck"));
    const QString python = QStringLiteral("/usr/bin/python3");
    if (pngcheck.isEmpty() || !QFile::exists(python)) {
        result.message = QStringLiteral("pngcheck or /usr/bin/python3 is missing");
        return result;
    }
    QByteArray output;
    int exitCode = -1;
    if (!Run(pngcheck, {QStringLiteral("-v"), fileName}, output, exitCode)) {
        result.message = QStringLiteral("pngcheck did not run");
        return result;
    }
    result.message = QString::fromUtf8(output);
    result.pngcheckOk = exitCode == 0;

    static const char* script =
        "import sys\n"
        "from PIL import Image\n"
        "im = Image.open(sys.argv[1])\n"
        "im.load()\n"
        "rgb = im.convert('RGB')\n"
        "sys.stdout.write('%d %d\\n' % rgb.size)\n"
        "sys.stdout.flush()\n"
        "sys.stdout.buffer.write(rgb.tobytes())\n";
    QByteArray pixels;
    if (!Run(python, {QStringLiteral("-c"), QString::fromLatin1(script), fileName}, pixels, exitCode) || exitCode != 0) {
        if (pixels.contains("No module named")) {
            result.message = QStringLiteral("Pillow is missing: ") + QString::fromUtf8(pixels);
        } else {
            // Pillow could not read the file: a failure, not a missing tool.
            result.available = true;
            result.pngcheckOk = false;
            result.message += QString::fromUtf8(pixels);
        }
        return result;
    }
    result.available = true;
    const qsizetype lineEnd = pixels.indexOf('\n');
    const QList<QByteArray> size = pixels.left(lineEnd).split(' ');
    if (size.size() != 2)
        return result;
    result.width = size[0].toInt();
    result.height = size[1].toInt();
    const QByteArray rgb = pixels.mid(lineEnd + 1);
    for (qsizetype i = 0; i + 2 < rgb.size(); i += 3)
        result.pixels.push_back(uint32_t(uint8_t(rgb[i])) << 16 | uint32_t(uint8_t(rgb[i + 1])) << 8 |
                                uint32_t(uint8_t(rgb[i + 2])));
    return result;
}

} // namespace cvtest
