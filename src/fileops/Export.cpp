#include "Export.h"

#include "catalogue/Indexer.h"
#include "fileops/BitmapExport.h"
#include "fileops/IconFileWriter.h"
#include "icons/IconExtractor.h"
#include "support/Dialogs.h"
#include "support/Funky.h"
#include "support/SafeFile.h"

#include <dirent.h>

#include <filesystem>
#include <memory>

namespace bw {

ExportWay exportWayFor(std::string_view sourcePath, std::string_view targetExtension)
{
    const std::string source = fileExtensionLower(sourcePath);
    const bool iconSource = source == ".ico" || source == ".cur";
    const bool iconTarget = targetExtension == ".ico" || targetExtension == ".cur";
    if (iconSource && iconTarget)
        return ExportWay::PlainCopy;
    if (source == ".bmp" && targetExtension == ".ico")
        return ExportWay::IconFromBitmap;
    return ExportWay::ExtractedIcon;
}

std::string exportBaseName(std::int32_t entryNumber, std::string_view sourcePath, std::uint16_t iconIndex)
{
    const std::size_t slash = sourcePath.rfind('/');
    const std::string_view fileName = slash == std::string_view::npos ? sourcePath : sourcePath.substr(slash + 1);
    const std::string_view base = fileName.size() > 4 ? fileName.substr(0, fileName.size() - 4) : std::string_view();
    std::string name = std::to_string(entryNumber) + "_" + std::string(base);
    if (iconIndex > 0)
        name += "_" + std::to_string(iconIndex);
    return name;
}

void ReportLines::addPathLine(const QString& before, std::string_view path, const QString& after)
{
    addLine(before + pathText(path) + after);
}

namespace {

// "Nr: n..path..message", with the path's bytes kept for those who write bytes.
void reportEntry(ReportLines& report, std::int32_t n, std::string_view path, const QString& message)
{
    report.addPathLine(QStringLiteral("Nr: ") + QString::number(n) + QStringLiteral(".."), path, message);
}

} // namespace

ExportDirectory::ExportDirectory(std::string directory)
    : m_directory(withTrailingSlash(std::move(directory)))
{
}

void ExportDirectory::learnExistingNames()
{
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(m_directory.c_str()), ::closedir);
    if (!dir)
        return; // nothing known: every name is tried on the disk
    while (const dirent* e = ::readdir(dir.get()))
        m_taken.insert(e->d_name);
}

std::string ExportDirectory::candidate(const std::string& base, std::string_view extension, std::uint64_t k) const
{
    std::string name = k == 0 ? base : base + "_" + std::to_string(k);
    name += extension;
    return name;
}

namespace {

using Outcome = ExportDirectory::Outcome;

CommandError cannotCreate(const std::string& target)
{
    return CommandError(QStringLiteral("Datei "), target, QStringLiteral(" kann nicht erstellt werden"));
}

// Writes bytes under the first free name; the file system's answer decides.
struct NewFileWriter {
    const QByteArray& bytes;
    WriteResult result = WriteResult::Ok;
    Outcome operator()(const std::string& path)
    {
        result = writeNewFile(std::filesystem::path(path), bytes);
        if (result == WriteResult::AlreadyExists)
            return Outcome::Taken;
        return result == WriteResult::Ok ? Outcome::Created : Outcome::Refused;
    }
};

} // namespace

ExportOutcome exportEntry(const Catalogue& catalogue, std::int32_t n, std::string_view extension, ExportDirectory& directory,
                          ReportLines& report, ExportScratch& scratch)
{
    const IconEntry& entry = catalogue[n];
    const std::string_view source = entry.path();
    const std::string base = exportBaseName(n, source, entry.iconIndex);
    const std::filesystem::path sourcePath{std::string(source)};
    ExportOutcome outcome;

    switch (exportWayFor(source, extension)) {
    case ExportWay::PlainCopy: {
        CopyResult result = CopyResult::Ok;
        const std::string target = directory.createUnique(base, extension, [&](const std::string& path) {
            result = copyToNewFile(sourcePath, std::filesystem::path(path));
            if (result == CopyResult::AlreadyExists)
                return Outcome::Taken;
            return result == CopyResult::Ok ? Outcome::Created : Outcome::Refused;
        });
        if (result != CopyResult::Ok) {
            reportEntry(report, n, source, kNotCopied);
            return outcome;
        }
        return {true, target};
    }
    case ExportWay::IconFromBitmap: {
        scratch.icon = extractIcon(sourcePath, entry.iconIndex);
        const std::optional<QByteArray> bytes = encodeIcon16(scratch.icon);
        if (!bytes) {
            reportEntry(report, n, source, kNotCopied);
            return outcome;
        }
        NewFileWriter writer{*bytes};
        const std::string target = directory.createUnique(base, extension, writer);
        if (writer.result != WriteResult::Ok) {
            reportEntry(report, n, source, kNotCopied);
            return outcome;
        }
        return {true, target};
    }
    case ExportWay::ExtractedIcon: break;
    }

    scratch.icon = extractIcon(sourcePath, entry.iconIndex);
    if (scratch.icon.isNull()) {
        reportEntry(report, n, source, kNotLoaded);
        return outcome;
    }
    std::optional<QByteArray> bytes;
    if (extension == ".bmp") {
        scratch.bitmap = renderOnTemplate(scratch.icon);
        bytes = encodeTemplateBitmap(scratch.bitmap);
        if (!bytes)
            throw cannotCreate(directory.path() + base + std::string(extension));
    } else {
        bytes = encodeIcon16(scratch.icon);
        if (!bytes) {
            reportEntry(report, n, source, kNotSaved);
            return outcome;
        }
    }
    NewFileWriter writer{*bytes};
    const std::string target = directory.createUnique(base, extension, writer);
    if (writer.result != WriteResult::Ok)
        throw cannotCreate(target);
    return {true, target};
}

} // namespace bw
