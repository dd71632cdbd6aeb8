#include "Indexer.h"

#include "support/Funky.h"

#include <algorithm>
#include <string>

namespace bw {
namespace {

void refreshCheck(const Catalogue& catalogue, IndexerHost& host)
{
    if (!host.countRefresh.due(host.tickCount()))
        return;
    host.setCountPanel(QStringLiteral("Icon(s) ") + QString::number(catalogue.entryCount()));
    host.pumpMessages();
    host.countRefresh.refreshed(host.tickCount());
}

} // namespace

std::string fileExtensionLower(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return {};
    std::string ext(name.substr(dot));
    for (char& c : ext)
        c = asciiLower(c);
    return ext;
}

bool isCataloguedByName(std::string_view path)
{
    // Asked of every file a read finds: compared in place, without a lower-case copy.
    const auto endsWith = [path](std::string_view ext) {
        if (path.size() < ext.size())
            return false;
        const std::string_view tail = path.substr(path.size() - ext.size());
        return std::equal(tail.begin(), tail.end(), ext.begin(), [](char a, char b) { return asciiLower(a) == b; });
    };
    return endsWith(".ico") || endsWith(".cur");
}

QString catalogueFullText(std::int32_t capacity)
{
    return QStringLiteral("Die Maximale Symbolzahl von ") + QString::number(capacity) + QStringLiteral(" ist erreicht !") + kLineBreak
        + QStringLiteral("By By Baby !");
}

namespace {

template <typename CountIcons> void index(Catalogue& catalogue, std::string_view path, IndexerHost& host, CountIcons countIcons)
{
    if (catalogue.entryCount() == 0)
        host.blankPage();
    if (catalogue.isFull()) {
        host.reportCatalogueFull();
        return;
    }
    if (isCataloguedByName(path)) {
        catalogue.appendEntry(path, 0);
    } else {
        const int count = std::min(countIcons(), kMaxIconsPerFile);
        for (int i = 0; i < count; ++i) {
            if (catalogue.isFull()) {
                host.reportCatalogueFull();
                break;
            }
            catalogue.appendEntry(path, static_cast<std::uint16_t>(i));
            refreshCheck(catalogue, host);
        }
    }
    refreshCheck(catalogue, host);
    host.computePageGeometry();
}

} // namespace

void indexFile(Catalogue& catalogue, std::string_view path, IndexerHost& host)
{
    index(catalogue, path, host, [&] { return host.iconCountOf(path); });
}

void indexCountedFile(Catalogue& catalogue, std::string_view path, int icons, IndexerHost& host)
{
    index(catalogue, path, host, [=] { return icons; });
}

} // namespace bw
