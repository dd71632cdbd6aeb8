#include "Funky.h"

#include "Names.h"

#include <QCoreApplication>
#include <QFile>

#include <chrono>
#include <cmath>
#include <system_error>
#include <thread>

namespace bw {

namespace {

ProgramPaths& paths()
{
    static ProgramPaths p;
    return p;
}

std::string subdirectoryOrSelf(const std::string& base, const char* name)
{
    std::error_code ec;
    const std::string candidate = base + name + "/";
    return std::filesystem::is_directory(candidate, ec) ? candidate : base;
}

// Where daten/, musik/ and beispiele/ live: beside the binary in the build tree, in ../share/bildwiesel/
// when the program is installed (bin/ and share/ side by side), else the program directory.
std::string dataBaseDirectory(const std::string& programDirectory)
{
    std::error_code ec;
    if (std::filesystem::is_directory(programDirectory + "daten", ec) || std::filesystem::is_directory(programDirectory + "musik", ec))
        return programDirectory;
    const std::filesystem::path installed = std::filesystem::path(programDirectory).parent_path().parent_path() / "share" / "bildwiesel";
    if (std::filesystem::is_directory(installed, ec))
        return withTrailingSlash(installed.lexically_normal().string());
    return programDirectory;
}

} // namespace

const ProgramPaths& programPaths() { return paths(); }

void InitPaths(const std::filesystem::path& programFile)
{
    std::error_code ec;
    std::filesystem::path file = programFile;
    if (file.empty())
        file = std::filesystem::read_symlink("/proc/self/exe", ec);
    ProgramPaths& p = paths();
    p.programDirectory = withTrailingSlash(file.parent_path().string());
    p.shareDirectory = dataBaseDirectory(p.programDirectory);
    p.dataDirectory = subdirectoryOrSelf(p.shareDirectory, "daten");
    p.musicDirectory = subdirectoryOrSelf(p.shareDirectory, "musik");
}

namespace {
std::int64_t steadyMilliseconds()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
std::int64_t (*tickSource)() = steadyMilliseconds;
} // namespace

std::int64_t tickCount() { return tickSource(); }

void setTickSource(std::int64_t (*source)()) { tickSource = source ? source : steadyMilliseconds; }

QPoint centeredPosition(QPoint origin, QSize area, QSize window, int dx, int dy)
{
    return {origin.x() + (area.width() - window.width()) / 2 + dx, origin.y() + (area.height() - window.height()) / 2 + dy};
}

void PumpMessages() { QCoreApplication::processEvents(); }

QString ElapsedText(double seconds)
{
    const auto t = static_cast<long long>(std::nearbyint(seconds)); // default rounding: half to even
    const auto two = [](long long v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    return two(t / 3600) + QLatin1Char(':') + two((t % 3600) / 60) + QLatin1Char(':') + two(t % 60);
}

void WaitSeconds(bool noPump, float duration)
{
    const std::int64_t start = tickCount();
    while (static_cast<double>(tickCount() - start) / 1000.0 < duration) {
        if (noPump)
            std::this_thread::sleep_for(std::chrono::milliseconds(5)); // no events, but no busy loop either
        else
            PumpMessages();
    }
}

QString RoundToText(double value, int n)
{
    const double v = std::fabs(value) + 5.0 / std::pow(10.0, n + 1);
    QString s = QString::number(v, 'g', 15);
    s.replace(QLatin1Char('.'), QLatin1Char(','));
    const qsizetype comma = s.indexOf(QLatin1Char(','));
    if (comma >= 0) {
        s.truncate(comma + 1 + std::max(n, 0));
        if (s.endsWith(QLatin1Char(',')))
            s += QLatin1Char('0');
    }
    return s;
}

QString RepeatText(int count, const QString& text) { return count <= 0 ? QString() : text.repeated(count); }

QString pathText(std::string_view bytes)
{
    if (isPlainName(bytes, NonUtf8::Escape)) // most names: no copy before the conversion
        return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    return QString::fromStdString(quotedName(bytes, NonUtf8::Escape));
}

std::string withTrailingSlash(std::string path)
{
    if (path.empty() || path.back() != '/')
        path += '/';
    return path;
}

} // namespace bw
