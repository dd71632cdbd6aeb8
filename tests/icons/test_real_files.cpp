// Real Windows files from Debian's nsis-common package, read independently by icoutils
// (wrestool, icotool): the counts and pictures must agree. Skipped where either is missing.

#include "icons/IconDirectory.h"
#include "icons/IconExtractor.h"
#include "support/TestUtil.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace {

const QString kNsis = QStringLiteral("/usr/share/nsis");

QByteArray run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(30000);
    return p.readAllStandardOutput();
}

bool toolsPresent()
{
    return QDir(kNsis).exists() && !QStandardPaths::findExecutable(QStringLiteral("wrestool")).isEmpty()
        && !QStandardPaths::findExecutable(QStringLiteral("icotool")).isEmpty();
}

// The picture icotool gives for the image our rules choose: icotool lists every image with its
// size and depth; the nearest to 32 x 32, then the deepest, then the largest, then the first.
QImage icotoolPicture(const QString& icoPath, const QString& work)
{
    const QList<QByteArray> lines = run(QStringLiteral("icotool"), {QStringLiteral("-l"), icoPath}).split('\n');
    int bestIndex = -1, bestDistance = 0, bestDepth = 0, bestArea = 0;
    for (const QByteArray& line : lines) {
        auto field = [&](const char* key) {
            const qsizetype at = line.indexOf(key);
            return at < 0 ? -1 : line.mid(at + static_cast<qsizetype>(qstrlen(key))).split(' ').first().toInt();
        };
        const int index = field("--index="), w = field("--width="), h = field("--height="), depth = field("--bit-depth=");
        if (index < 0)
            continue;
        const int distance = std::abs(w - 32) + std::abs(h - 32);
        if (bestIndex < 0 || distance < bestDistance
            || (distance == bestDistance && (depth > bestDepth || (depth == bestDepth && w * h > bestArea)))) {
            bestIndex = index;
            bestDistance = distance;
            bestDepth = depth;
            bestArea = w * h;
        }
    }
    if (bestIndex < 0)
        return {};
    const QString out = work + QStringLiteral("/chosen.png");
    QFile::remove(out);
    run(QStringLiteral("icotool"), {QStringLiteral("-x"), QStringLiteral("--index=%1").arg(bestIndex), QStringLiteral("-o"), out, icoPath});
    return bw::scaleToIconSize(QImage(out));
}

// Colour channels may differ by rounding where a picture was scaled.
bool closeEnough(const QImage& a, const QImage& b, int tolerance)
{
    if (a.size() != b.size())
        return false;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            if (qAlpha(p) == 0 && qAlpha(q) == 0)
                continue;
            if (std::abs(qAlpha(p) - qAlpha(q)) > tolerance || std::abs(qRed(p) - qRed(q)) > tolerance
                || std::abs(qGreen(p) - qGreen(q)) > tolerance || std::abs(qBlue(p) - qBlue(q)) > tolerance)
                return false;
        }
    return true;
}

} // namespace

TEST(RealFiles, IconFilesAgreeWithIcotool)
{
    if (!toolsPresent())
        GTEST_SKIP() << "nsis-common or icoutils not installed";
    QTemporaryDir work;
    int checked = 0;
    QDirIterator it(kNsis, {QStringLiteral("*.ico")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QImage ours = bw::extractIcon(std::filesystem::path(path.toStdString()), 0);
        const QImage theirs = icotoolPicture(path, work.path());
        if (theirs.isNull())
            continue; // icotool refuses a few of these files (a PNG entry whose size it disputes)
        EXPECT_TRUE(closeEnough(ours, theirs, 2)) << path.toStdString();
        ++checked;
    }
    EXPECT_GT(checked, 20);
}

TEST(RealFiles, ExecutablesAgreeWithWrestool)
{
    if (!toolsPresent())
        GTEST_SKIP() << "nsis-common or icoutils not installed";
    QTemporaryDir work;
    int checked = 0;
    QDirIterator it(kNsis + QStringLiteral("/Stubs"), QDir::Files);
    while (it.hasNext()) {
        const QString path = it.next();
        const std::filesystem::path file = path.toStdString();
        QFile head(path);
        if (!head.open(QIODevice::ReadOnly) || head.read(2) != "MZ")
            continue; // the uninstaller stub is a plain icon file
        // wrestool lists one line per group and language; the shell counts each group once.
        QSet<QByteArray> groups;
        for (const QByteArray& line :
             run(QStringLiteral("wrestool"), {QStringLiteral("-l"), QStringLiteral("--type=14"), path}).split('\n'))
            if (line.contains("--name="))
                groups.insert(line.mid(line.indexOf("--name=")).split(' ').first());
        ASSERT_EQ(bw::iconCount(file), groups.size()) << path.toStdString();
        if (groups.isEmpty())
            continue;
        // Our first icon against wrestool's group exported as an .ico file (numeric ids ascend;
        // these stubs have one group).
        const QString ico = work.path() + QStringLiteral("/group.ico");
        QFile::remove(ico);
        run(QStringLiteral("wrestool"), {QStringLiteral("-x"), QStringLiteral("--type=14"), QStringLiteral("-o"), ico, path});
        EXPECT_TRUE(closeEnough(bw::extractIcon(file, 0), icotoolPicture(ico, work.path()), 2)) << path.toStdString();
        // The group as stored is wrestool's file up to the group's sizes; what wrestool writes
        // beyond those (it sizes its file by the resources) is not part of the icon.
        const std::optional<bw::StoredIcon> stored = bw::storedIcon(file, 0);
        ASSERT_TRUE(stored) << path.toStdString();
        QFile theirs(ico);
        ASSERT_TRUE(theirs.open(QIODevice::ReadOnly));
        EXPECT_EQ(theirs.readAll().left(stored->bytes.size()), stored->bytes) << path.toStdString();
        ++checked;
    }
    EXPECT_GT(checked, 5);
}
