#include "OrginalFrm.h"

#include "catalogue/Indexer.h"
#include "gui/widgets/TextFit.h"
#include "support/Dialogs.h"
#include "support/Funky.h"
#include "support/ReadFile.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

namespace bw {
namespace {

// More images than this scroll in the list.
constexpr int kMaxListLines = 8;
// The squares of the checkerboard behind transparent pixels, in logical pixels.
constexpr int kCheckerSquare = 8;

// The picture over a checkerboard, with the window's device pixel ratio: above 1 it is scaled
// smoothly to its size in device pixels, so that it is not drawn with doubled pixels.
QPixmap shownPicture(const QImage& picture, qreal ratio)
{
    const QSize device(qRound(picture.width() * ratio), qRound(picture.height() * ratio));
    QImage board(device, QImage::Format_RGB32);
    const int square = std::max(1, qRound(kCheckerSquare * ratio));
    for (int y = 0; y < device.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(board.scanLine(y));
        for (int x = 0; x < device.width(); ++x)
            line[x] = (x / square + y / square) % 2 ? qRgb(204, 204, 204) : qRgb(255, 255, 255);
    }
    {
        QPainter painter(&board);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, ratio != 1);
        // Premultiplied, so that scaling does not bleed the colour of transparent pixels.
        painter.drawImage(QRect(QPoint(0, 0), device), picture.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    }
    QPixmap pixmap = QPixmap::fromImage(board);
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

} // namespace

TOrginalF::TOrginalF(QWidget* mainWindow)
    : SecondaryWindow(mainWindow, QStringLiteral("TOrginalF"), QStringLiteral("Orginalgröße"), {112, 80},
                      Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint, true)
    , Image1(new QLabel(this))
    , Gruppe(new QLabel(this))
    , Bilder(new QListWidget(this))
{
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->move(0, 0);
    Gruppe->setObjectName(QStringLiteral("Gruppe"));
    Gruppe->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Gruppe->hide();
    Bilder->setObjectName(QStringLiteral("Bilder"));
    Bilder->hide();
    connect(Bilder, &QListWidget::currentRowChanged, this, &TOrginalF::showImage);
}

QString imageLine(const IconImageInfo& image)
{
    QString line = QStringLiteral("%1 × %2, %3 Bit").arg(image.picture.width()).arg(image.picture.height()).arg(image.bitCount);
    if (image.png)
        line += QStringLiteral(", PNG");
    if (image.frame >= 0)
        line += QStringLiteral(", Bild %1").arg(image.frame + 1);
    if (image.language >= 0)
        line += QStringLiteral(", Sprache %1").arg(image.language);
    return line;
}

QString groupLine(const IconOrigin& origin)
{
    QString line;
    if (origin.groupNumber)
        line = QStringLiteral("Gruppe %1").arg(*origin.groupNumber);
    else if (origin.groupName)
        line = QStringLiteral("Gruppe „%1“").arg(*origin.groupName);
    else
        return line;
    if (!origin.languages.empty()) {
        QStringList languages;
        for (const std::uint32_t language : origin.languages)
            languages << QString::number(language);
        line
            += (languages.size() > 1 ? QStringLiteral(", Sprachen ") : QStringLiteral(", Sprache ")) + languages.join(QStringLiteral(", "));
    }
    return line;
}

void TOrginalF::loadPicture(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0)
        ::close(fd);
    if (fd < 0 || !std::filesystem::is_regular_file(std::filesystem::path(path)))
        throw CommandError(QStringLiteral("Datei ") + pathText(path) + QStringLiteral(" kann nicht geöffnet werden"));
    // Decoded by the program's own bitmap reader, with the alpha a bitmap declares.
    std::vector<IconImageInfo> images = iconImages(std::filesystem::path(path), 0);
    if (images.empty())
        throw CommandError(QStringLiteral("Bitmap ist ungültig"));
    loadImages(std::move(images), 0);
}

void TOrginalF::loadImages(std::vector<IconImageInfo> images, int shown, const QString& group)
{
    Gruppe->setText(group);
    Gruppe->setVisible(!group.isEmpty());
    const int groupHeight = group.isEmpty() ? 0 : Gruppe->sizeHint().height();
    m_images = std::move(images);
    const QSignalBlocker quiet(Bilder);
    Bilder->clear();
    for (const IconImageInfo& image : m_images)
        Bilder->addItem(imageLine(image));
    Bilder->setCurrentRow(shown);
    Bilder->setVisible(!m_images.empty());
    // Sized once, for the largest image of the entry, so that picking another size leaves the
    // window and its list where they are, under the mouse.
    QSize largest;
    for (const IconImageInfo& image : m_images)
        largest = largest.expandedTo(image.picture.size());
    // The list below the picture, as wide as its longest line and as high as its lines (up to a
    // limit, beyond which it scrolls).
    const int frame = 2 * Bilder->frameWidth();
    const int lines = std::min(Bilder->count(), kMaxListLines);
    const int listHeight = lines * Bilder->sizeHintForRow(0) + frame;
    const int listWidth = Bilder->sizeHintForColumn(0) + frame
        + (Bilder->count() > kMaxListLines ? Bilder->verticalScrollBar()->sizeHint().width() : 0) + 4;
    // The picture plus 25 pixels; a small picture leaves the caption and the lines room enough
    // to be read. A picture larger than the screen is cut at the screen's edge.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize room = screen ? screen->availableSize() : QSize(4096, 4096);
    const int groupWidth = group.isEmpty() ? 0 : Gruppe->sizeHint().width() + 4;
    const int width = std::min(std::max({largest.width() + 25, captionWidthNeeded(*this), listWidth, groupWidth}), room.width());
    const int height = std::min(largest.height() + 25 + groupHeight + listHeight, room.height());
    resize(width, height);
    Gruppe->setGeometry(2, height - listHeight - groupHeight, width - 2, groupHeight);
    Bilder->setGeometry(0, height - listHeight, width, listHeight);
    showImage(shown);
    centre();
}

void TOrginalF::showImage(int row)
{
    if (row < 0 || row >= static_cast<int>(m_images.size()))
        return;
    const QImage& picture = m_images[static_cast<std::size_t>(row)].picture;
    Image1->setPixmap(shownPicture(picture, devicePixelRatioF()));
    Image1->resize(picture.size());
}

void TOrginalF::centre()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    move(centeredPosition({0, 0}, screen ? screen->size() : size(), size(), 0, 0));
}

void showOriginalSize(TOrginalF& viewer, const std::string& path, int iconIndex)
{
    if (fileExtensionLower(path) == ".bmp") {
        viewer.loadPicture(path);
        viewer.exec();
        return;
    }
    std::vector<IconImageInfo> images = path.empty() ? std::vector<IconImageInfo>() : iconImages(std::filesystem::path(path), iconIndex);
    if (images.empty()) {
        dialogs().message(QStringLiteral("Orginalgröße nur bei BMP möglich."), kAppTitle);
        return;
    }
    // First the largest image, as the thumbnails show it.
    const auto largest = std::max_element(images.begin(), images.end(), [](const IconImageInfo& a, const IconImageInfo& b) {
        const qint64 areaA = qint64(a.picture.width()) * a.picture.height(), areaB = qint64(b.picture.width()) * b.picture.height();
        return areaA < areaB || (areaA == areaB && a.bitCount < b.bitCount);
    });
    const int shown = static_cast<int>(largest - images.begin());
    const std::optional<IconOrigin> origin = iconOrigin(std::filesystem::path(path), iconIndex);
    viewer.loadImages(std::move(images), shown, origin ? groupLine(*origin) : QString());
    viewer.exec();
}

} // namespace bw
